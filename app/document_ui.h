// What a test document asks of its windows. The desktop program answers with
// dialogs and message boxes, the command line from its flags, tests from a
// script.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CPortSettings;
struct sNmeaOutputSettings;

// Thread rules: called on the user-interface thread only.
class IDocumentUi {
public:
    virtual ~IDocumentUi() = default;

    // Shows the port settings dialog for this model; true when it was closed
    // with Open (the model then holds the results).
    virtual bool ShowPortSettings(CPortSettings& settings) = 0;
    // The serial devices the dialog offers.
    virtual std::vector<std::string> SerialDevices() = 0;
    virtual bool AskYesNo(const std::string& question) = 0;
    virtual void ShowInformation(const std::string& text) = 0;
    // The save-as dialog of the log file; nothing when the user cancels.
    virtual std::optional<std::string> AskSaveFileName(const std::string& initialPath, const char* extension,
                                                       const char* filter) = 0;
    // The child frame's timers (7: the statistics summary every 10 s).
    virtual void StartTimer(unsigned id, unsigned periodMs) = 0;
    virtual void StopTimer(unsigned id) = 0;
    // The child frame's "Reset Statistics" beyond the document's own part
    // (the performance chart starts again).
    virtual void ResetStatisticsViews() = 0;
    // Pane 1 of the main window's status bar: the simulation status.
    virtual void SetStatusPane(const std::string& text) = 0;
    virtual void SetMainCaption(const std::string& text) = 0;
    // The document's title, shown in the captions of its windows.
    virtual void SetDocumentTitle(const std::string& title) = 0;
    // One step of a command that waits for a device: a port opening, an
    // identity or radio reply, the pause after a break. what says what is
    // awaited ("Waiting for the identity of /dev/ttyUSB0"). The steps of a
    // command run one after another in its order, and between them the
    // command goes on here (questions, messages, the title). The step may
    // touch ports, decoders and radio handlers, never this interface. The
    // desktop runs it off its user-interface thread and keeps its windows
    // painting, with its commands disabled, until the step is over; a front
    // end without windows runs it in place.
    virtual void RunWaitingStep(const std::string& what, const std::function<void()>& step)
    {
        (void)what;
        step();
    }
    // The NMEA output dialog on output; true when closed with OK (output then
    // holds the choice). A front end without it changes nothing.
    virtual bool ShowNmeaOutputConfig(sNmeaOutputSettings& /*output*/) { return false; }
};
