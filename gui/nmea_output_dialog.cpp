#include "gui/nmea_output_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/qt_text.h"

namespace gui {

CNmeaOutputDialog::CNmeaOutputDialog(const sNmeaOutputSettings& output, QWidget* parent)
    : QDialog(parent),
      enable(new QCheckBox(QStringLiteral("Enable NMEA Output"), this)),
      live(new QRadioButton(QStringLiteral("Live from \"Common Source\""), this)),
      canned(new QRadioButton(QStringLiteral("Canned"), this)),
      cannedText(new QLineEdit(this)),
      note(new QLabel(QString::fromLatin1(kNote), this))
{
    setWindowTitle(QStringLiteral("NMEA Output Config"));
    enable->setChecked(output.enabled);
    live->setChecked(output.live);
    canned->setChecked(!output.live);
    cannedText->setText(ToQt(output.canned));
    // Wide enough for the default sentence without scrolling.
    cannedText->setMinimumWidth(cannedText->fontMetrics().horizontalAdvance(cannedText->text()) + 16);
    note->setWordWrap(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(enable);
    layout->addWidget(live);
    layout->addWidget(canned);
    layout->addWidget(cannedText);
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(enable, &QCheckBox::toggled, this, &CNmeaOutputDialog::UpdateControls);
    connect(live, &QRadioButton::toggled, this, &CNmeaOutputDialog::UpdateControls);
    UpdateControls();
}

sNmeaOutputSettings CNmeaOutputDialog::Output() const
{
    sNmeaOutputSettings output;
    output.enabled = enable->isChecked();
    output.live = live->isChecked();
    output.canned = FromQt(cannedText->text());
    return output;
}

void CNmeaOutputDialog::UpdateControls()
{
    const sNmeaOutputSettings output = Output();
    live->setEnabled(output.SourceChoosable());
    canned->setEnabled(output.SourceChoosable());
    cannedText->setEnabled(output.CannedEditable());
}

bool AskNmeaOutput(sNmeaOutputSettings& output, QWidget* parent)
{
    CNmeaOutputDialog dialog(output, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    output = dialog.Output();
    return true;
}

}  // namespace gui
