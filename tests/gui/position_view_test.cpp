// The position window as a user meets it: opened beside a test, it shows the
// test's positions, counts CMR frames, and guards an open position log.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Before Qt: the connection settings have a field named like a Qt keyword.
#include "app/memory_settings_store.h"
#include "app/tolvar_test_suite_doc.h"
#include "scripted_document_ui.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMdiArea>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "gui/fixed_size_mdi_child_window.h"
#include "gui/position_view.h"
#include "gui/qt_text.h"
#include "nmea_sentence.h"
#include "temp_folder.h"
#include "wait_until.h"

namespace {

class PositionViewTest : public ::testing::Test {
protected:
    PositionViewTest() { area.resize(900, 700); }

    gui::CPositionView& OpenWindow()
    {
        frame = gui::OpenPositionWindow(area, document, commonNmea, settings);
        return *static_cast<gui::CPositionView*>(frame->widget());
    }
    // What the window shows now.
    QString Shown(gui::CPositionView& view)
    {
        view.grab();
        return view.StatusText();
    }
    void SendToListener(const std::string& sentence)
    {
        document.ListenerNmea().OnBytes(reinterpret_cast<const std::uint8_t*>(sentence.data()),
                                        std::uint32_t(sentence.size()), 0, TolvarRT::TimeStampNow());
    }
    // Answers the next message box with button, keeping its text.
    void AnswerNextQuestion(QMessageBox::StandardButton button)
    {
        QTimer::singleShot(0, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            question = box->text();
            defaultButton = box->standardButton(box->defaultButton());
            box->button(button)->click();
        });
    }
    bool FrameGone()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return frame.isNull();
    }

    CMemorySettingsStore settings;
    TolvarRT::testing::ScriptedUi ui;
    CTolvarTestSuiteDoc document{settings, ui};
    TolvarRT::CNMEAInputHandler commonNmea;
    QMdiArea area;
    QPointer<gui::CFixedSizeMDIChildWindow> frame;
    QString question;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    TolvarRT::testing::TempFolder folder;
};

TEST_F(PositionViewTest, TheWindowShowsNoPositionUntilTheListenerSendsOne)
{
    gui::CPositionView& view = OpenWindow();
    EXPECT_EQ(document.PositionView(), &view);
    EXPECT_TRUE(Shown(view).startsWith("Old or No Position\n ***** LOG FILE CLOSED *****"));

    SendToListener(TolvarRT::testing::NmeaSentence("GPGGA,123456.00,5230.0000,N,00115.0000,W,1,8,1.2,100.5,M,,M,,"));
    const QString shown = Shown(view);
    EXPECT_TRUE(shown.startsWith(QString("Position: Lat:    52") + QChar(0xBA) +
                                 " 30.00000' Altitude: 100.500 meters \n"
                                 "(primary) Long:   -1" +
                                 QChar(0xBA) + " 15.00000'"))
        << gui::FromQt(shown);
    EXPECT_TRUE(shown.contains("\n$GPGGA,123456.00,5230.0000,N"));
}

TEST_F(PositionViewTest, TheFrameKeepsTheViewsMinimumAndClosesFreelyWithoutALog)
{
    OpenWindow();
    EXPECT_EQ(frame->minimumSize(), QSize(350, 195));
    EXPECT_GE(frame->height(), 195);
    frame->close();
    EXPECT_TRUE(question.isEmpty());
    EXPECT_TRUE(FrameGone());
    EXPECT_EQ(document.PositionView(), nullptr) << "the window has unregistered";
}

TEST_F(PositionViewTest, ClosingWithALogOpenAsksAndDefaultsToNo)
{
    gui::CPositionView& view = OpenWindow();
    const std::string path = folder.File("positions.txt");
    std::string offered = "none";
    view.SetSaveFileAsker([&](const std::string& initial) {
        offered = initial;
        return std::optional<std::string>(path);
    });
    view.OpenLogAction()->trigger();
    EXPECT_EQ(offered, "");
    EXPECT_EQ(settings.ReadProfileText("Settings", "PositionLogPath", ""), path);
    EXPECT_FALSE(view.OpenLogAction()->isEnabled());
    EXPECT_TRUE(view.CloseLogAction()->isEnabled());
    EXPECT_TRUE(Shown(view).endsWith("\n LOGGING TO FILE"));

    AnswerNextQuestion(QMessageBox::No);
    frame->close();
    EXPECT_EQ(question,
              "WARNING: Closing the Position Performance View will close your log file\n\n"
              "Do you want to close the view");
    EXPECT_EQ(defaultButton, QMessageBox::No);
    EXPECT_FALSE(FrameGone());

    AnswerNextQuestion(QMessageBox::Yes);
    frame->close();
    EXPECT_TRUE(FrameGone());
}

TEST_F(PositionViewTest, TheFirstCountedCmrSpeedsTheTickAndTheCommandsFollowTheState)
{
    gui::CPositionView& view = OpenWindow();
    EXPECT_EQ(view.TickInterval(), 2000);
    const std::uint8_t frameData[6] = {0x02, 0x00, 0, 0, 0, 0};
    document.ListenerCmr().PublishCMRFrame(0, frameData, sizeof frameData, 0, TolvarRT::TimeStampNow());
    QCoreApplication::processEvents();
    EXPECT_EQ(view.TickInterval(), 1000);
    EXPECT_TRUE(view.Monitor().IsCounting());

    EXPECT_FALSE(view.SoundAction()->isChecked());
    view.SoundAction()->trigger();
    EXPECT_TRUE(view.SoundAction()->isChecked());
    view.SoundAction()->trigger();
    EXPECT_FALSE(view.SoundAction()->isChecked());

    view.ResetAction()->trigger();
    EXPECT_FALSE(view.Monitor().IsCounting());
    EXPECT_FALSE(view.CloseLogAction()->isEnabled());
}

// Records what the sound thread would have played, in order.
class RecordingPlayer : public gui::ISoundPlayer {
public:
    void Play(int resourceId) override
    {
        std::lock_guard<std::mutex> guard(lock);
        played.push_back(resourceId);
    }
    void Stop() override {}
    std::vector<int> Played()
    {
        std::lock_guard<std::mutex> guard(lock);
        return played;
    }

private:
    std::mutex lock;
    std::vector<int> played;
};

TEST_F(PositionViewTest, WithTheSoundOnEveryCountedCmrAsksForTheSound)
{
    gui::CPositionView& view = OpenWindow();
    auto* player = new RecordingPlayer;
    gui::CSoundWorkerThread* thread = nullptr;
    view.SetSoundThreadMaker([&] {
        auto made = std::make_unique<gui::CSoundWorkerThread>(std::unique_ptr<gui::ISoundPlayer>(player));
        thread = made.get();
        return made;
    });
    const std::uint8_t cmr[6] = {0x02, 0x00, 0, 0, 0, 0};
    const std::uint8_t cmrPlus[6] = {0x02, 0x20, 0, 0, 0, 0};
    auto send = [&](const std::uint8_t* data, std::uint8_t type) {
        document.ListenerCmr().PublishCMRFrame(type, data, 6, 0, TolvarRT::TimeStampNow());
    };
    // A sound of another id marks the end of what the frames asked for.
    constexpr int kEnd = 1;
    long ends = 0;
    auto heard = [&] {
        thread->PostSound(kEnd);
        ++ends;
        EXPECT_TRUE(TolvarRT::testing::WaitUntil([&] {
            const auto played = player->Played();
            return std::count(played.begin(), played.end(), kEnd) == ends;
        }));
        // A request that came while another waited took its place.
        const auto played = player->Played();
        return std::count(played.begin(), played.end(), gui::CSoundWorkerThread::kCmrSound) +
               long(thread->DroppedSounds());
    };

    send(cmr, 0);
    view.SoundAction()->trigger();
    ASSERT_NE(thread, nullptr);
    for (int i = 0; i < 10; ++i)
        send(cmr, 0);
    send(cmrPlus, 1);
    EXPECT_EQ(heard(), 10);

    view.SoundAction()->trigger();
    send(cmr, 0);
    EXPECT_EQ(heard(), 10) << "switched off";
    view.SoundAction()->trigger();
    send(cmr, 0);
    EXPECT_EQ(heard(), 11) << "the same thread again";
}

}  // namespace

namespace {

TEST_F(PositionViewTest, TheTitleFitsItsStripAtEveryWidthDownToTheMinimum)
{
    gui::CPositionView& view = OpenWindow();
    const QString full = QStringLiteral("Position & Performance Chart (instant average of last 60 s )");
    for (int width : {1200, 900, 650, 500, 400, 350, 200}) {
        frame->resize(width, 260);
        view.grab();
        const gui::CPositionView::sFittedTitle& title = view.ShownTitle();
        EXPECT_LE(QFontMetrics(title.font).horizontalAdvance(title.text), view.width() - 4) << width;
        EXPECT_GE(title.font.pixelSize(), gui::CPositionView::kSmallestTitlePixels);
        // Its start is never lost; what is cut is in the tool tip.
        EXPECT_TRUE(title.text.startsWith(QStringLiteral("Position"))) << title.text.toStdString();
        EXPECT_EQ(title.cut, title.text != full);
        EXPECT_EQ(view.toolTip(), title.cut ? full : QString()) << width;
        if (width == 1200) {
            EXPECT_FALSE(title.cut) << "room enough for all of it";
        }
    }
    const gui::CPositionView::sFittedTitle narrow = gui::CPositionView::FitTitle(view.ShownTitle().font, 120);
    EXPECT_TRUE(narrow.cut);
    EXPECT_EQ(narrow.font.pixelSize(), gui::CPositionView::kSmallestTitlePixels) << "smaller first, then cut";
}

// Regression test for the chart drawn under the lock that every CMR frame
// of the Listener's reader thread needs.
TEST_F(PositionViewTest, TheChartIsDrawnWithoutTheLockTheFramesNeed)
{
    gui::CPositionView& view = OpenWindow();
    std::thread reader;
    std::atomic<bool> delivered{false};
    bool deliveredWhileDrawing = false;
    view.SetChartDrawingProbe([&] {
        if (reader.joinable())
            return;
        reader = std::thread([&] {
            const std::uint8_t cmr[6] = {0x02, 0x00, 0, 0, 0, 0};
            document.ListenerCmr().PublishCMRFrame(0, cmr, 6, 0, TolvarRT::TimeStampNow());
            delivered = true;
        });
        deliveredWhileDrawing = TolvarRT::testing::WaitUntil([&] { return delivered.load(); }, std::chrono::seconds(5));
    });
    view.grab();
    ASSERT_TRUE(reader.joinable());
    reader.join();
    EXPECT_TRUE(deliveredWhileDrawing);
    EXPECT_TRUE(view.Monitor().IsCounting());
}

TEST_F(PositionViewTest, APositionLogNamedInCyrillicAndChineseIsCreatedUnderThatName)
{
    TolvarRT::testing::TempFolder folder;
    const QString name = QString::fromStdString(folder.Path().string()) +
                         QStringLiteral("/\u041f\u043e\u0437\u0438\u0446\u0438\u044f \u4f4d\u7f6e.txt");
    gui::CPositionView& view = OpenWindow();
    QTimer::singleShot(0, [name] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(name);
        static_cast<QDialog*>(dialog)->accept();  // as the Save button does
    });
    view.OpenPositionLog();
    EXPECT_TRUE(QFileInfo::exists(name)) << name.toStdString();
    view.ClosePositionLog();
}

}  // namespace
