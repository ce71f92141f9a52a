// "NMEA Output Config": whether the test sends NMEA to its Listener, and
// whether that is the common source's sentences as they arrive or the
// canned text every ten seconds.
#pragma once

#include <QDialog>

#include "app/nmea_output.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace gui {

// Thread rules: the user-interface thread only.
class CNmeaOutputDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kNote =
        "If and only if the canned string begins with \"$GPGGA\" and ends with \"*\",\n"
        "the current PC time will be inserted and the correct NMEA checksum will be appended";

    explicit CNmeaOutputDialog(const sNmeaOutputSettings& output, QWidget* parent = nullptr);

    // The choice as the controls show it now.
    sNmeaOutputSettings Output() const;

    QCheckBox& EnableBox() { return *enable; }
    QRadioButton& LiveChoice() { return *live; }
    QRadioButton& CannedChoice() { return *canned; }
    QLineEdit& CannedText() { return *cannedText; }
    QLabel& Note() { return *note; }

private:
    // The controls follow the choice's rules.
    void UpdateControls();

    QCheckBox* enable;
    QRadioButton* live;
    QRadioButton* canned;
    QLineEdit* cannedText;
    QLabel* note;
};

// Shows the dialog modally; true when closed with OK (output then holds the
// choice).
bool AskNmeaOutput(sNmeaOutputSettings& output, QWidget* parent);

}  // namespace gui
