// The connection dialog driven as a user drives it: what it shows on a first
// start, what its controls hand the connection settings when "&Open" is
// clicked, and a recent connection chosen with one click. Which keys the
// settings store and how the recent list moves are the settings' own rules,
// pinned in tests/app/port_settings_test.cpp; here only the routing between
// the controls and the settings is checked.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "app/memory_settings_store.h"
#include "app/port_settings.h"
#include "gui/port_settings_dialog.h"
#include "stored_recent_ports.h"

namespace {

const std::vector<std::string> kDevices = {"/dev/ttyS0", "/dev/ttyUSB0"};

using TolvarRT::testing::StoreRecent;

void ChooseText(QComboBox* box, const QString& text)
{
    const int index = box->findText(text, Qt::MatchStartsWith);
    ASSERT_GE(index, 0) << text.toStdString();
    box->setCurrentIndex(index);
}

TEST(PortSettingsDialogTest, TheGeneratorsAreOneChoice)
{
    CMemorySettingsStore store;
    CPortSettings settings(store, "GPS Source", true, false, kDevices);
    settings.offerFakeCmr = settings.offerFakeAts = settings.offerFakeRtcm3 = true;
    gui::CPortSettingsDialog dialog(settings);
    dialog.show();
    EXPECT_TRUE(dialog.FakeRtcm3Box()->isVisible());
    EXPECT_EQ(dialog.FakeRtcm3Box()->text(), "Generate Fake RTCM v3");
    ASSERT_TRUE(dialog.FakeCmrBox()->isChecked());
    dialog.FakeRtcm3Box()->setChecked(true);
    EXPECT_FALSE(dialog.FakeCmrBox()->isChecked());
    dialog.FakeAtsBox()->setChecked(true);
    EXPECT_FALSE(dialog.FakeRtcm3Box()->isChecked());
    dialog.FakeRtcm3Box()->setChecked(true);
    dialog.FakeRtcm3Box()->setChecked(false);
    EXPECT_FALSE(dialog.FakeCmrBox()->isChecked() || dialog.FakeAtsBox()->isChecked()) << "none at all is a choice";
    dialog.FakeRtcm3Box()->setChecked(true);
    dialog.OpenButton()->click();
    EXPECT_TRUE(settings.fakeRtcm3);
    EXPECT_FALSE(settings.fakeCmr || settings.fakeAts);
}

TEST(PortSettingsDialogTest, FirstStartShowsTheDefaultsAndTheOfferedControls)
{
    CMemorySettingsStore store;
    CPortSettings settings(store, "GPS Source", true, false, kDevices);
    settings.offerFakeCmr = true;
    settings.helpTextId = 59395;
    gui::CPortSettingsDialog dialog(settings);
    dialog.show();

    EXPECT_EQ(dialog.windowTitle(), "GPS Source Port Properties");
    EXPECT_EQ(dialog.ModeList()->currentText(), "Serial Port");
    EXPECT_EQ(dialog.ModeList()->count(), 6) << "no CAN for the Source";
    EXPECT_TRUE(dialog.SerialPortList()->currentText().startsWith("COM1"));
    EXPECT_EQ(dialog.DataRateList()->currentText(), "38400");
    EXPECT_EQ(dialog.ParityList()->currentText(), "None");
    EXPECT_TRUE(dialog.SerialPortList()->isVisible());
    EXPECT_FALSE(dialog.NetworkAddress()->isVisible());
    EXPECT_FALSE(dialog.CanRateList()->isVisible());
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_FALSE(dialog.RecentButton(slot)->isVisible()) << slot;
    EXPECT_TRUE(dialog.FakeCmrBox()->isVisible());
    EXPECT_TRUE(dialog.FakeCmrBox()->isChecked());
    EXPECT_FALSE(dialog.FakeAtsBox()->isVisible());
    EXPECT_TRUE(dialog.HelpBox()->isVisible());
    EXPECT_FALSE(dialog.HelpBox()->toPlainText().isEmpty());
    EXPECT_EQ(dialog.OpenButton()->text(), "&Open");
    EXPECT_EQ(dialog.CancelButton()->text(), "Ca&ncel");

    // Choosing a network mode shows the address instead of the serial lists.
    ChooseText(dialog.ModeList(), "TCP");
    EXPECT_TRUE(dialog.NetworkAddress()->isVisible());
    EXPECT_FALSE(dialog.SerialPortList()->isVisible());
}

TEST(PortSettingsDialogTest, TheNmeaDialogHasOnlyTheModesAndNoHelp)
{
    CMemorySettingsStore store;
    StoreRecent(store, "NMEA", 0, {"CAN0", "250k", ""});
    CPortSettings nmea(store, "NMEA", true, false, kDevices);
    gui::CPortSettingsDialog dialog(nmea);
    dialog.show();
    EXPECT_FALSE(dialog.HelpBox()->isVisible());
    EXPECT_EQ(dialog.ModeList()->findText("CAN"), -1);
    EXPECT_FALSE(dialog.RecentButton(0)->isVisible()) << "a CAN entry without the CAN mode";

    CPortSettings serialOnly(store, "NMEA", false, false, kDevices);
    gui::CPortSettingsDialog serialDialog(serialOnly);
    EXPECT_FALSE(serialDialog.ModeList()->isEnabled());
}

TEST(PortSettingsDialogTest, OpenHandsOnTheNetworkChoiceWhichIsOfferedNextTime)
{
    CMemorySettingsStore store;
    CPortSettings settings(store, "Listener", true, false, kDevices);
    gui::CPortSettingsDialog dialog(settings);
    dialog.show();
    ChooseText(dialog.ModeList(), "TCP");
    QTest::keyClicks(dialog.NetworkAddress(), "10.0.0.5:5017");
    QTest::mouseClick(dialog.OpenButton(), Qt::LeftButton);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(settings.IsOpened());
    EXPECT_EQ(settings.Mode(), kTcpMode);
    EXPECT_EQ(settings.networkAddress, "10.0.0.5:5017");
    EXPECT_EQ(settings.PortName(), "TCP:10.0.0.5:5017");

    // The next time it opens, the connection is offered as a button.
    CPortSettings again(store, "Listener", true, false, kDevices);
    gui::CPortSettingsDialog next(again);
    next.show();
    EXPECT_TRUE(next.RecentButton(0)->isVisible());
    EXPECT_EQ(next.RecentButton(0)->text(), "TCP:10.0.0.5:5017");
    EXPECT_EQ(next.ModeList()->currentText(), "TCP");
    EXPECT_EQ(next.NetworkAddress()->text(), "10.0.0.5:5017");
}

TEST(PortSettingsDialogTest, SerialChoiceAndTheFakeCmrBoxReachTheSettings)
{
    CMemorySettingsStore store;
    CPortSettings settings(store, "GPS Source", true, false, kDevices);
    settings.offerFakeCmr = true;
    gui::CPortSettingsDialog dialog(settings);
    dialog.show();
    ChooseText(dialog.SerialPortList(), "/dev/ttyUSB0");
    ChooseText(dialog.DataRateList(), "115200");
    ChooseText(dialog.ParityList(), "Even");
    QTest::mouseClick(dialog.FakeCmrBox(), Qt::LeftButton);
    QTest::mouseClick(dialog.OpenButton(), Qt::LeftButton);

    EXPECT_EQ(settings.PortName(), "/dev/ttyUSB0");
    EXPECT_EQ(settings.DataRate(), 115200u);
    EXPECT_EQ(settings.Parity(), 2);
    EXPECT_FALSE(settings.fakeCmr);
    EXPECT_TRUE(settings.IsOpened());
}

TEST(PortSettingsDialogTest, CancelStoresNothing)
{
    CMemorySettingsStore store;
    CPortSettings settings(store, "Listener", true, false, kDevices);
    gui::CPortSettingsDialog dialog(settings);
    dialog.show();
    ChooseText(dialog.ModeList(), "UDP SP");
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(settings.IsOpened());
    EXPECT_EQ(store.ReadInt("Settings", "ListenerMode", -1), -1);
}

TEST(PortSettingsDialogTest, ARecentConnectionOpensWithOneClick)
{
    CMemorySettingsStore store;
    const sRecentPort entries[] = {{"COM1", "38400", "None"},
                                   {"TCP:host:1", "", ""},
                                   {"/dev/ttyUSB0", "9600", "Odd"},
                                   {"UDP:10.1.1.1:5018", "", ""},
                                   {"COM2", "4800", "Even"}};
    for (int slot = 0; slot < 5; ++slot)
        StoreRecent(store, "Listener", slot, entries[slot]);
    CPortSettings settings(store, "Listener", true, false, kDevices);
    gui::CPortSettingsDialog dialog(settings);
    dialog.show();
    EXPECT_EQ(dialog.RecentButton(2)->text(), "/dev/ttyUSB0, 9600 bps, Parity Odd");
    EXPECT_EQ(dialog.RecentButton(3)->text(), "UDP:10.1.1.1:5018");
    EXPECT_FALSE(dialog.RecentButton(5)->isVisible());

    QTest::mouseClick(dialog.RecentButton(3), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.PortName(), "UDP:10.1.1.1:5018");
    EXPECT_EQ(settings.Mode(), kUdpSpMode);
    EXPECT_EQ(settings.networkAddress, "10.1.1.1:5018");
    EXPECT_FALSE(dialog.isVisible());
}

TEST(PortSettingsDialogTest, AnNtripCasterIsTypedInItsOwnFieldsAndItsPasswordHidden)
{
    CMemorySettingsStore store;
    CPortSettings settings(store, "Listener", true, false, kDevices);
    gui::CPortSettingsDialog dialog(settings);
    dialog.show();
    EXPECT_FALSE(dialog.NtripHost()->isVisible());
    ChooseText(dialog.ModeList(), "NTRIP");
    EXPECT_TRUE(dialog.NtripHost()->isVisible());
    EXPECT_TRUE(dialog.NtripPassword()->isVisible());
    EXPECT_FALSE(dialog.NetworkAddress()->isVisible());
    EXPECT_FALSE(dialog.SerialPortList()->isVisible());
    EXPECT_EQ(dialog.NtripPassword()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.NtripPort()->text(), "2101");
    QTest::keyClicks(dialog.NtripHost(), "dialog-caster.example");
    QTest::keyClicks(dialog.NtripMountpoint(), "RTCM3");
    QTest::keyClicks(dialog.NtripUser(), "carol");
    QTest::keyClicks(dialog.NtripPassword(), "hunter2");
    QTest::mouseClick(dialog.OpenButton(), Qt::LeftButton);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.PortName(), "NTRIP:carol:hunter2@dialog-caster.example:2101/RTCM3");

    // Reopened in the same run: the caster is offered without its password,
    // which is filled in for this run only.
    CPortSettings again(store, "Listener", true, false, kDevices);
    gui::CPortSettingsDialog next(again);
    next.show();
    EXPECT_EQ(next.RecentButton(0)->text(), "NTRIP:carol@dialog-caster.example:2101/RTCM3");
    EXPECT_EQ(next.ModeList()->currentText(), "NTRIP");
    EXPECT_EQ(next.NtripPassword()->text(), "hunter2");
}

TEST(PortSettingsDialogTest, ARecentCasterFromAnEarlierRunAsksForThePassword)
{
    CMemorySettingsStore store;
    StoreRecent(store, "Listener", 0, {"NTRIP:dave@old-run.example:2101/MNT", "", ""});
    CPortSettings settings(store, "Listener", true, false, kDevices);
    gui::CPortSettingsDialog dialog(settings);
    dialog.show();
    QTest::mouseClick(dialog.RecentButton(0), Qt::LeftButton);

    EXPECT_TRUE(dialog.isVisible()) << "no password: the dialog stays open";
    EXPECT_EQ(dialog.ModeList()->currentText(), "NTRIP");
    EXPECT_EQ(dialog.NtripHost()->text(), "old-run.example");
    EXPECT_EQ(dialog.NtripUser()->text(), "dave");
    EXPECT_EQ(dialog.NtripMountpoint()->text(), "MNT");
    QTest::keyClicks(dialog.NtripPassword(), "s3cret");
    QTest::mouseClick(dialog.OpenButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.PortName(), "NTRIP:dave:s3cret@old-run.example:2101/MNT");
}

TEST(PortSettingsDialogTest, TcpServerAndFileModesShowTheirOwnField)
{
    CMemorySettingsStore store;
    CPortSettings settings(store, "GPS Source", true, false, kDevices);
    gui::CPortSettingsDialog dialog(settings);
    dialog.show();
    ChooseText(dialog.ModeList(), "TCP Server");
    EXPECT_TRUE(dialog.ServerPort()->isVisible());
    EXPECT_FALSE(dialog.FilePath()->isVisible());
    ChooseText(dialog.ModeList(), "File");
    EXPECT_FALSE(dialog.ServerPort()->isVisible());
    EXPECT_TRUE(dialog.FilePath()->isVisible());
    QTest::keyClicks(dialog.FilePath(), "/tmp/base.bin");
    QTest::mouseClick(dialog.OpenButton(), Qt::LeftButton);
    EXPECT_EQ(settings.Mode(), kFileMode);
    EXPECT_EQ(settings.filePath, "/tmp/base.bin");
    EXPECT_EQ(settings.PortName(), "FILE:/tmp/base.bin");
}

// A caster's stream and a file have no device to probe: the box is offered
// for the other modes only, and kept with the connection's settings.
TEST(PortSettingsDialogTest, TheProbeBoxIsOfferedWhereADeviceCanAnswerAndRemembered)
{
    CMemorySettingsStore store;
    {
        CPortSettings settings(store, "Listener", true, false, kDevices);
        gui::CPortSettingsDialog dialog(settings);
        dialog.show();
        EXPECT_EQ(dialog.ProbeBox()->text(), "Probe the device (identity, radio mode)");
        EXPECT_TRUE(dialog.ProbeBox()->isVisible());
        EXPECT_TRUE(dialog.ProbeBox()->isChecked());
        QTest::mouseClick(dialog.ProbeBox(), Qt::LeftButton);
        for (const char* mode : {"NTRIP", "File"}) {
            ChooseText(dialog.ModeList(), mode);
            EXPECT_FALSE(dialog.ProbeBox()->isVisible()) << mode;
        }
        ChooseText(dialog.ModeList(), "TCP");
        EXPECT_TRUE(dialog.ProbeBox()->isVisible());
        QTest::keyClicks(dialog.NetworkAddress(), "10.0.0.7:5017");
        QTest::mouseClick(dialog.OpenButton(), Qt::LeftButton);
        EXPECT_FALSE(settings.Probes());
        EXPECT_EQ(settings.MakePortRequest(3).identityTries, 0u);
    }
    CPortSettings again(store, "Listener", true, false, kDevices);
    gui::CPortSettingsDialog dialog(again);
    dialog.show();
    EXPECT_TRUE(dialog.ProbeBox()->isVisible());
    EXPECT_FALSE(dialog.ProbeBox()->isChecked()) << "remembered";

    CPortSettings nmea(store, "Listener", true, false, kDevices);
    nmea.offerProbe = false;
    gui::CPortSettingsDialog nmeaDialog(nmea);
    nmeaDialog.show();
    EXPECT_FALSE(nmeaDialog.ProbeBox()->isVisible()) << "an NMEA receiver is never probed";
}

}  // namespace
