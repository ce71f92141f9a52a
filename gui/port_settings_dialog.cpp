#include "gui/port_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "gui/qt_text.h"

namespace gui {
namespace {

namespace Labels = PortSettingsLabels;

constexpr unsigned kListenerHelp = 59394;
constexpr unsigned kSourceHelp = 59395;

// What the device is, for a list entry: the system's description of the
// device present, if any.
QString DeviceDescription(const std::string& port, const QList<QSerialPortInfo>& present)
{
    const QString name = ToQt(port);
    for (const QSerialPortInfo& info : present) {
        if ((info.systemLocation() == name || info.portName() == name) && !info.description().isEmpty())
            return info.description();
    }
    return {};
}

void FillList(QComboBox* box, const CChoiceList& list)
{
    // Filling is not the user choosing.
    const QSignalBlocker quiet(box);
    box->clear();
    for (const sChoice& entry : list.Entries())
        box->addItem(ToQt(entry.text), QVariant::fromValue(entry.value));
    box->setCurrentIndex(list.Selection());
}

void TakeSelection(const QComboBox* box, CChoiceList& list)
{
    if (box->currentIndex() >= 0)
        list.Select(box->currentIndex());
}

}  // namespace

std::vector<std::string> SerialDevicesPresent()
{
    std::vector<std::string> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices.push_back(FromQt(info.systemLocation()));
    return devices;
}

QString PortSettingsHelpText(unsigned helpTextId)
{
    switch (helpTextId) {
    case kListenerHelp:
        return QStringLiteral(
            "Connect to the rover side of the link: the GPS receiver with its radio, or the radio itself.\n"
            "Choose the serial port with the rate and parity of the device, the network address of a "
            "TCP server or of a UDP link peer (host:port), or an NTRIP caster and its mountpoint.");
    case kSourceHelp:
        return QStringLiteral(
            "Connect to the base side of the link: the correction output of the base receiver that feeds the "
            "base radio.\n"
            "Tick \"Generate Fake CMRs\" to send generated CMR traffic to the base radio instead, when no base "
            "receiver is at hand.\n"
            "Tick \"Generate Fake RTCM v3\" to send generated MSM observations with the station messages instead.");
    default: return {};
    }
}

CPortSettingsDialog::CPortSettingsDialog(CPortSettings& model, QWidget* parent) : QDialog(parent), settings(model)
{
    settings.Load();
    setWindowTitle(ToQt(settings.WindowTitle()));

    auto* recentGroup = new QGroupBox(QString::fromLatin1(Labels::kRecentGroup), this);
    auto* recentLayout = new QGridLayout(recentGroup);
    for (int slot = 0; slot < CPortSettings::kRecentButtons; ++slot) {
        auto* button = new QPushButton(recentGroup);
        button->setObjectName(QStringLiteral("RUP%1").arg(slot + 1));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, slot] { OnRecent(slot); });
        recentLayout->addWidget(button, slot / 2, slot % 2);
        recentButtons[std::size_t(slot)] = button;
    }

    auto* settingsGroup = new QGroupBox(QString::fromLatin1(Labels::kSettingsGroup), this);
    form = new QFormLayout(settingsGroup);
    modeList = new QComboBox(settingsGroup);
    serialPorts = new QComboBox(settingsGroup);
    baudRates = new QComboBox(settingsGroup);
    parities = new QComboBox(settingsGroup);
    networkAddress = new QLineEdit(settingsGroup);
    canInterfaces = new QComboBox(settingsGroup);
    canRates = new QComboBox(settingsGroup);
    form->addRow(QString::fromLatin1(Labels::kMode), modeList);
    form->addRow(QString::fromLatin1(Labels::kSerialPort), serialPorts);
    form->addRow(QString::fromLatin1(Labels::kDataRate), baudRates);
    form->addRow(QString::fromLatin1(Labels::kParity), parities);
    form->addRow(QString::fromLatin1(Labels::kNetworkAddress), networkAddress);
    form->addRow(QString::fromLatin1(Labels::kCanInterface), canInterfaces);
    form->addRow(QString::fromLatin1(Labels::kCanDataRate), canRates);
    const auto addLine = [&](const char* label) {
        auto* edit = new QLineEdit(settingsGroup);
        form->addRow(QString::fromLatin1(label), edit);
        return edit;
    };
    ntripHost = addLine(Labels::kNtripHost);
    ntripPort = addLine(Labels::kNtripPort);
    ntripMountpoint = addLine(Labels::kNtripMountpoint);
    ntripUser = addLine(Labels::kNtripUser);
    ntripPassword = addLine(Labels::kNtripPassword);
    ntripPassword->setEchoMode(QLineEdit::Password);
    serverPort = addLine(Labels::kServerPort);
    filePath = addLine(Labels::kFile);

    fakeCmr = new QCheckBox(QString::fromLatin1(Labels::kFakeCmr), this);
    fakeAts = new QCheckBox(QString::fromLatin1(Labels::kFakeAts), this);
    fakeRtcm3 = new QCheckBox(QString::fromLatin1(Labels::kFakeRtcm3), this);
    // One generator feeds the base radio: ticking one unticks the others.
    for (QCheckBox* box : {fakeCmr, fakeAts, fakeRtcm3})
        connect(box, &QCheckBox::toggled, this, [this, box](bool checked) {
            if (!checked)
                return;
            for (QCheckBox* other : {fakeCmr, fakeAts, fakeRtcm3})
                if (other != box)
                    other->setChecked(false);
        });
    probe = new QCheckBox(QString::fromLatin1(Labels::kProbe), this);

    auto* buttons = new QDialogButtonBox(this);
    openButton = buttons->addButton(QString::fromLatin1(Labels::kOpen), QDialogButtonBox::AcceptRole);
    cancelButton = buttons->addButton(QString::fromLatin1(Labels::kCancel), QDialogButtonBox::RejectRole);
    openButton->setDefault(true);
    connect(openButton, &QPushButton::clicked, this, &CPortSettingsDialog::OnOpen);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    helpBox = new QPlainTextEdit(this);
    helpBox->setReadOnly(true);
    helpBox->setMaximumHeight(fontMetrics().lineSpacing() * 6);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(recentGroup);
    layout->addWidget(settingsGroup);
    layout->addWidget(fakeCmr);
    layout->addWidget(fakeRtcm3);
    layout->addWidget(fakeAts);
    layout->addWidget(probe);
    layout->addWidget(buttons);
    layout->addWidget(helpBox);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    FillFromModel();
    connect(modeList, &QComboBox::currentIndexChanged, this, &CPortSettingsDialog::OnModeChosen);
}

QPushButton* CPortSettingsDialog::RecentButton(int slot) const
{
    return slot >= 0 && slot < CPortSettings::kRecentButtons ? recentButtons[std::size_t(slot)] : nullptr;
}

void CPortSettingsDialog::FillFromModel()
{
    // Without a help text the dialog ends where the help box would begin.
    helpBox->setPlainText(PortSettingsHelpText(settings.helpTextId));
    helpBox->setVisible(settings.ShowsHelpText() && !helpBox->toPlainText().isEmpty());
    fakeCmr->setVisible(settings.offerFakeCmr);
    fakeAts->setVisible(settings.offerFakeAts);
    fakeRtcm3->setVisible(settings.offerFakeRtcm3);
    fakeCmr->setChecked(settings.fakeCmr);
    fakeAts->setChecked(settings.fakeAts);
    fakeRtcm3->setChecked(settings.fakeRtcm3);
    probe->setChecked(settings.probe);

    FillList(serialPorts, settings.serialPorts);
    const QList<QSerialPortInfo> present = QSerialPortInfo::availablePorts();
    for (int i = 0; i < serialPorts->count(); ++i) {
        const QString description = DeviceDescription(settings.serialPorts.Entries()[std::size_t(i)].text, present);
        if (!description.isEmpty()) {
            serialPorts->setItemText(
                i, serialPorts->itemText(i) + QStringLiteral("  (") + description + QStringLiteral(")"));
            serialPorts->setItemData(i, description, Qt::ToolTipRole);
        }
    }
    FillList(baudRates, settings.baudRates);
    FillList(parities, settings.parities);
    FillList(canInterfaces, settings.canInterfaces);
    FillList(canRates, settings.canRates);
    networkAddress->setText(ToQt(settings.networkAddress));
    ntripHost->setText(ToQt(settings.ntripHost));
    ntripPort->setText(ToQt(settings.ntripPort));
    ntripMountpoint->setText(ToQt(settings.ntripMountpoint));
    ntripUser->setText(ToQt(settings.ntripUser));
    ntripPassword->setText(ToQt(settings.ntripPassword));
    serverPort->setText(ToQt(settings.serverPort));
    filePath->setText(ToQt(settings.filePath));

    FillList(modeList, settings.ModeList());
    modeList->setEnabled(settings.ModeListEnabled());

    for (int slot = 0; slot < CPortSettings::kRecentButtons; ++slot) {
        const sRecentButton button = settings.RecentButton(slot);
        recentButtons[std::size_t(slot)]->setText(ToQt(button.caption));
        recentButtons[std::size_t(slot)]->setVisible(button.visible);
    }
    ShowModeControls();
}

void CPortSettingsDialog::ShowModeControls()
{
    const bool serial = settings.ShowsSerialControls();
    const bool network = settings.ShowsNetworkAddress();
    const bool can = settings.ShowsCanControls();
    form->setRowVisible(serialPorts, serial);
    form->setRowVisible(baudRates, serial);
    form->setRowVisible(parities, serial);
    form->setRowVisible(networkAddress, network);
    form->setRowVisible(canInterfaces, can);
    form->setRowVisible(canRates, can);
    for (QLineEdit* edit : {ntripHost, ntripPort, ntripMountpoint, ntripUser, ntripPassword})
        form->setRowVisible(edit, settings.ShowsNtripControls());
    form->setRowVisible(serverPort, settings.ShowsServerPort());
    form->setRowVisible(filePath, settings.ShowsFile());
    // A caster's stream or a file has no device to probe.
    probe->setVisible(settings.OffersProbe());
}

void CPortSettingsDialog::OnModeChosen(int index)
{
    if (index < 0)
        return;
    settings.SelectMode(int(modeList->itemData(index).toUInt()));
    ShowModeControls();
}

void CPortSettingsDialog::WriteBack()
{
    TakeSelection(serialPorts, settings.serialPorts);
    TakeSelection(baudRates, settings.baudRates);
    TakeSelection(parities, settings.parities);
    TakeSelection(canInterfaces, settings.canInterfaces);
    TakeSelection(canRates, settings.canRates);
    settings.networkAddress = FromQt(networkAddress->text());
    settings.ntripHost = FromQt(ntripHost->text());
    settings.ntripPort = FromQt(ntripPort->text());
    settings.ntripMountpoint = FromQt(ntripMountpoint->text());
    settings.ntripUser = FromQt(ntripUser->text());
    settings.ntripPassword = FromQt(ntripPassword->text());
    settings.serverPort = FromQt(serverPort->text());
    settings.filePath = FromQt(filePath->text());
    settings.fakeCmr = fakeCmr->isChecked();
    settings.fakeAts = fakeAts->isChecked();
    settings.fakeRtcm3 = fakeRtcm3->isChecked();
    settings.probe = probe->isChecked();
}

void CPortSettingsDialog::OnOpen()
{
    WriteBack();
    settings.Open();
    accept();
}

void CPortSettingsDialog::OnRecent(int slot)
{
    WriteBack();
    if (!settings.OpenRecent(slot)) {
        // An NTRIP connection whose password this run has not seen waits
        // for the user to type it.
        FillFromModel();
        if (settings.ShowsNtripControls())
            ntripPassword->setFocus();
        return;
    }
    // The controls show what was opened while the dialog closes.
    FillFromModel();
    accept();
}

bool ShowPortSettingsDialog(CPortSettings& settings, QWidget* parent)
{
    CPortSettingsDialog dialog(settings, parent);
    return dialog.exec() == QDialog::Accepted && settings.IsOpened();
}

}  // namespace gui
