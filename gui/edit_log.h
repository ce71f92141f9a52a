// The log pane of a test window: the document's log texts, coloured by level,
// moved in from the writing threads in batches so the window stays responsive
// however fast the ports log.
#pragma once

#include <QTextEdit>

#include "app/log_view_queue.h"

class CTolvarTestSuiteDoc;
class ISettingsStore;

namespace gui {

// Thread rules: a QWidget, used on the user-interface thread; the texts come
// from any thread through the queue, which posts the showing to this thread.
class CEditLog : public QTextEdit, private ILogViewSurface {
    Q_OBJECT
public:
    // The pane's level comes from the settings ("Settings"/"LogLevel").
    CEditLog(CTolvarTestSuiteDoc& document, ISettingsStore& settings, QWidget* parent = nullptr);
    ~CEditLog() override;

    // Sets the pane and the document's log file to level (0..3), keeps both
    // in the settings and announces the change in the pane.
    void SetLogLevel(unsigned level);
    unsigned LogLevel() const;

    // While paused, texts wait (without limit) and show when unpaused.
    void SetPaused(bool paused);
    bool IsPaused() const;

    void ClearText();
    // The selection as plain text, and as formatted text for editors that
    // take it.
    void CopyAsText();
    void CopyAsRichText();

    // The texts waiting to be shown, for the window's own checks.
    const CLogViewQueue& Queue() const { return queue; }

signals:
    void LogLevelChanged(unsigned level);
    void PausedChanged(bool paused);

protected:
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // ILogViewSurface
    void PostShowPending() override;
    void BeginPass() override;
    void EndPass() override;
    void PauseBeforeBatch() override;
    void AppendRun(const sLogRun& run) override;

    ISettingsStore& settings;
    CLogViewQueue queue;
    bool attached = false;
    int appendDepth = 0;
};

}  // namespace gui
