// What a fixed-size frame asks of the view it holds: how small it may get and
// whether it may close now.
#pragma once

#include <QSize>

namespace gui {

class CFixedSizeView {
public:
    virtual ~CFixedSizeView() = default;

    // True when the view has set minimum; the frame then uses it.
    virtual bool FillMinTrackSize(QSize& minimum) = 0;
    // False keeps the frame open.
    virtual bool CanCloseFrame() = 0;
};

}  // namespace gui
