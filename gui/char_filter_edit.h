// A single-line edit that lets through only chosen classes of typed
// characters, can force upper case and limits the length; made for the
// station call sign of a radio.
#pragma once

#include <QLineEdit>
#include <cstdint>

#include "position/char_filter.h"

namespace gui {

// A rejected character is reported by the CharacterRejected signal, emitted
// directly (receivers must live on this thread), with the field's control id
// and an answer the receiver may set: kSilent keeps the beep from sounding,
// as a dialog does that shows its own message.
//
// Thread rules: user-interface thread only.
class CharFilterEdit : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kSilent = -1;

    explicit CharFilterEdit(int maxLength, QWidget* parent = nullptr);

    // Until this is called the field takes whatever is typed.
    void SetFilter(int controlId, std::uint16_t allowedClasses, bool forceUpperCase);
    int ControlId() const { return controlId; }
    const TolvarRT::CCharFilter& Filter() const { return filter; }

signals:
    // *answer starts at 0; a receiver sets it to kSilent to stop the beep.
    void CharacterRejected(int controlId, QChar character, int* answer);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Tells the parent and beeps unless it answers kSilent.
    virtual void Reject(QChar character);
    // The simple system beep; a seam for tests.
    virtual void Beep();

private:
    TolvarRT::CCharFilter filter;
    int controlId = 0;
    bool filtering = false;
};

}  // namespace gui
