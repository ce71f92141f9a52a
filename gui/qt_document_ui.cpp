#include "gui/qt_document_ui.h"

#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSerialPortInfo>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/port_settings.h"
#include "gui/command_table.h"
#include "gui/nmea_output_dialog.h"
#include "gui/qt_text.h"

namespace gui {
namespace {

const QString kBoxTitle = QStringLiteral("TolvarTestSuite");

}  // namespace

CQtDocumentUi::CQtDocumentUi(QObject* parent) : QObject(parent), nmeaOutputDialog(AskNmeaOutput) {}

CQtDocumentUi::~CQtDocumentUi() = default;

void CQtDocumentUi::PresetPortChoice(const std::string& caption, PortChoice choice)
{
    presets[caption] = std::move(choice);
}

bool CQtDocumentUi::ShowPortSettings(CPortSettings& settings)
{
    const auto preset = presets.find(settings.SettingsPrefix());
    if (preset != presets.end()) {
        const PortChoice choice = std::move(preset->second);
        presets.erase(preset);
        choice(settings);
        settings.Open();
        return true;
    }
    return portDialog && portDialog(settings, dialogParent);
}

std::vector<std::string> CQtDocumentUi::SerialDevices()
{
    std::vector<std::string> devices;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        devices.push_back(FromQt(port.systemLocation()));
    return devices;
}

bool CQtDocumentUi::AskYesNo(const std::string& question)
{
    return QMessageBox::question(dialogParent, kBoxTitle, ToQt(question), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void CQtDocumentUi::ShowInformation(const std::string& text)
{
    QMessageBox::information(dialogParent, kBoxTitle, ToQt(text));
}

std::optional<std::string> CQtDocumentUi::AskSaveFileName(const std::string& initialPath, const char* extension,
                                                          const char* filter)
{
    QFileDialog dialog(dialogParent, QString(), ToQt(initialPath), QtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QString::fromLatin1(extension));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FromQt(dialog.selectedFiles().first());
}

void CQtDocumentUi::StartTimer(unsigned id, unsigned periodMs)
{
    QTimer*& timer = timers[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] {
            if (onTimer)
                onTimer(id);
        });
    }
    timer->start(int(periodMs));
}

void CQtDocumentUi::StopTimer(unsigned id)
{
    const auto timer = timers.find(id);
    if (timer != timers.end())
        timer->second->stop();
}

bool CQtDocumentUi::IsTimerActive(unsigned id) const
{
    const auto timer = timers.find(id);
    return timer != timers.end() && timer->second->isActive();
}

int CQtDocumentUi::TimerInterval(unsigned id) const
{
    const auto timer = timers.find(id);
    return timer == timers.end() ? 0 : timer->second->interval();
}

void CQtDocumentUi::ResetStatisticsViews()
{
    if (onResetStatisticsViews)
        onResetStatisticsViews();
}

void CQtDocumentUi::SetStatusPane(const std::string& text)
{
    if (onStatusPane)
        onStatusPane(text);
}

void CQtDocumentUi::SetMainCaption(const std::string& text)
{
    if (onMainCaption)
        onMainCaption(text);
}

void CQtDocumentUi::SetDocumentTitle(const std::string& title)
{
    if (onDocumentTitle)
        onDocumentTitle(title);
}

void CQtDocumentUi::RunWaitingStep(const std::string& what, const std::function<void()>& step)
{
    // A step is never nested in another; should one be, or be asked for off
    // this thread, it is already off the event loop's way.
    if (waiting || stepsInPlace || QThread::currentThread() != thread()) {
        step();
        return;
    }
    waiting = true;
    if (onWaitingStep)
        onWaitingStep(what);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        step();
        done.store(true);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Another loop's quit may end this one early: it runs until the step is
    // over.
    while (!done.load())
        loop.exec();
    worker.join();
    QGuiApplication::restoreOverrideCursor();
    waiting = false;
    if (onWaitingStep)
        onWaitingStep({});
}

bool CQtDocumentUi::ShowNmeaOutputConfig(sNmeaOutputSettings& output)
{
    return nmeaOutputDialog && nmeaOutputDialog(output, dialogParent);
}

}  // namespace gui
