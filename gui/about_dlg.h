// The About box: the version with the build's date and time, and the notice
// on who may receive the program.
#pragma once

#include <QDialog>

namespace gui {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kNotice =
        "This program is for the use of Vendra staff and of the dealers and customers they give it to.";

    explicit CAboutDlg(QWidget* parent = nullptr);

    QString VersionText() const;
    QString NoticeText() const;
};

}  // namespace gui
