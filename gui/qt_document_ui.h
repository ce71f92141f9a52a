// What a test document asks of its windows, answered with Qt: the port
// settings dialog, message boxes, the save-as dialog, the child frame's
// timers, the status pane and the captions.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/document_ui.h"

class QTimer;
class QWidget;

namespace gui {

// The windows that show what the document reports set the hooks they answer
// for; a hook not set drops the report.
//
// Thread rules: the user-interface thread only.
class CQtDocumentUi : public QObject, public IDocumentUi {
    Q_OBJECT
public:
    using PortDialog = std::function<bool(CPortSettings& settings, QWidget* parent)>;
    using PortChoice = std::function<void(CPortSettings& settings)>;
    using NmeaOutputDialog = std::function<bool(sNmeaOutputSettings& output, QWidget* parent)>;

    explicit CQtDocumentUi(QObject* parent = nullptr);
    ~CQtDocumentUi() override;

    // The owner of the dialogs and message boxes.
    void SetDialogParent(QWidget* widget) { dialogParent = widget; }
    void SetPortDialog(PortDialog dialog) { portDialog = std::move(dialog); }
    // The "NMEA Output Config" dialog; the modal dialog unless set.
    void SetNmeaOutputDialog(NmeaOutputDialog dialog) { nmeaOutputDialog = std::move(dialog); }
    // The next port settings dialog for this caption ("Listener", "GPS
    // Source", "NMEA") is answered by choice and Open without showing.
    void PresetPortChoice(const std::string& caption, PortChoice choice);

    std::function<void(unsigned id)> onTimer;
    std::function<void()> onResetStatisticsViews;
    std::function<void(const std::string&)> onStatusPane;
    std::function<void(const std::string&)> onMainCaption;
    std::function<void(const std::string&)> onDocumentTitle;
    // A waiting step begins (what it awaits) or is over (empty text).
    std::function<void(const std::string&)> onWaitingStep;

    // While a waiting step runs: the windows paint, but no command may start.
    bool IsWaiting() const { return waiting; }
    // From now on steps run in place on the calling thread: the windows are
    // going, and no event may reach one that is half destroyed.
    void RunStepsInPlace() { stepsInPlace = true; }

    bool IsTimerActive(unsigned id) const;
    int TimerInterval(unsigned id) const;

    // IDocumentUi
    bool ShowPortSettings(CPortSettings& settings) override;
    std::vector<std::string> SerialDevices() override;
    bool AskYesNo(const std::string& question) override;
    void ShowInformation(const std::string& text) override;
    std::optional<std::string> AskSaveFileName(const std::string& initialPath, const char* extension,
                                               const char* filter) override;
    void StartTimer(unsigned id, unsigned periodMs) override;
    void StopTimer(unsigned id) override;
    void ResetStatisticsViews() override;
    void SetStatusPane(const std::string& text) override;
    void SetMainCaption(const std::string& text) override;
    void SetDocumentTitle(const std::string& title) override;
    // The step runs on a thread of its own while this thread's event loop
    // goes on, with the wait cursor shown.
    void RunWaitingStep(const std::string& what, const std::function<void()>& step) override;
    bool ShowNmeaOutputConfig(sNmeaOutputSettings& output) override;

private:
    QPointer<QWidget> dialogParent;
    PortDialog portDialog;
    NmeaOutputDialog nmeaOutputDialog;
    std::map<std::string, PortChoice> presets;
    std::map<unsigned, QTimer*> timers;
    bool waiting = false;
    bool stepsInPlace = false;
};

}  // namespace gui
