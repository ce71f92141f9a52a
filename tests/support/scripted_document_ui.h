// A user interface for test documents that answers from a script and
// records what the document asked of it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/document_ui.h"
#include "app/port_settings.h"

namespace TolvarRT::testing {

// choose fills the port settings dialog and presses Open; without it the
// dialog is cancelled. Yes/No questions get `answer`, the save-as dialog
// `saveAs`.
class ScriptedUi : public IDocumentUi {
public:
    bool ShowPortSettings(CPortSettings& dialog) override
    {
        captions.push_back(dialog.SettingsPrefix());
        if (!choose)
            return false;
        choose(dialog);
        dialog.Open();
        return true;
    }
    std::vector<std::string> SerialDevices() override { return {}; }
    bool AskYesNo(const std::string& question) override
    {
        questions.push_back(question);
        return answer;
    }
    void ShowInformation(const std::string& text) override { information.push_back(text); }
    std::optional<std::string> AskSaveFileName(const std::string&, const char*, const char*) override { return saveAs; }
    void StartTimer(unsigned id, unsigned) override { timers.push_back("start " + std::to_string(id)); }
    void StopTimer(unsigned id) override { timers.push_back("stop " + std::to_string(id)); }
    void ResetStatisticsViews() override {}
    void SetStatusPane(const std::string& text) override { statusPane = text; }
    void SetMainCaption(const std::string& text) override { caption = text; }
    void SetDocumentTitle(const std::string& text) override { title = text; }
    void RunWaitingStep(const std::string& what, const std::function<void()>& step) override
    {
        steps.push_back(what);
        step();
    }

    std::function<void(CPortSettings&)> choose;
    bool answer = false;
    std::optional<std::string> saveAs;
    std::vector<std::string> captions, questions, information, timers, steps;
    std::string statusPane, caption, title;
};

}  // namespace TolvarRT::testing
