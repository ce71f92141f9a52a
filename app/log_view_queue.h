// The log pane without its widget: texts queued from any thread and shown in
// batches of one-colour runs on the user-interface thread, and the pane's
// level, which also sets the log file's.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "app/file_log.h"
#include "app/log_levels.h"
#include "core/log_pipe.h"

// The colour of a text in the pane, by its level.
enum class LogColour { Automatic, DarkBlue, Grey };

LogColour LogColourOf(unsigned level);

// How a run is formatted: the automatic colour changes only the colour; the
// others set the colour and a size, where 0 keeps the size found at the end of
// the text (so after a grey run every later run stays at 8 points).
struct sRunFormat {
    bool automaticColour;
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    int sizeTwips;
};

sRunFormat RunFormatOf(LogColour colour);

// Consecutive texts of one colour, appended to the pane in one operation.
struct sLogRun {
    LogColour colour;
    std::string text;
};

// What the pane's widget does for the queue.
class ILogViewSurface {
public:
    // Any thread, under the queue's lock: have ShowPending run on the
    // user-interface thread soon. Must not call back into the queue.
    virtual void PostShowPending() = 0;
    // User-interface thread: a pass of batches begins (stop painting) and ends
    // (repaint at once).
    virtual void BeginPass() = 0;
    virtual void EndPass() = 0;
    // User-interface thread: waits kBatchPause before each batch, so that
    // writers fill the next one.
    virtual void PauseBeforeBatch() = 0;
    // User-interface thread: appends one run at the end of the pane.
    virtual void AppendRun(const sLogRun& run) = 0;

protected:
    ~ILogViewSurface() = default;
};

// The pane's level for both sinks, as the document stores them ("LogLevel",
// "FileLogLevel").
struct sLogLevels {
    int paneLevel;
    int fileLevel;
};

// Thread rules: Write and GetLogLevel may be called from any thread at any
// time. The shared lock guards the queue, the pause flag and the surface, and
// is never held while joining or leaving the pipe. SetLogLevel, SetPaused,
// SetSurface and ShowPending belong to the user-interface thread; ShowPending
// releases the lock around every AppendRun.
class CLogViewQueue : public TolvarRT::TSubscriber<ILogPipe> {
public:
    static constexpr int kDefaultLevel = 2;  // Most
    // With this many strings (marker and text each count) waiting when a pass
    // starts, the whole pass is in the automatic colour, to catch up faster.
    static constexpr std::size_t kColouringLimit = 100;
    static constexpr std::size_t kBatchTexts = 101;
    static constexpr std::chrono::milliseconds kBatchPause{10};
    // A pass that has run this long hands the user-interface thread back to
    // its event loop and posts itself again: writers that never stop would
    // otherwise keep one pass, and the whole window, busy for good.
    static constexpr std::chrono::milliseconds kPassLimit{30};

    // pipe is the document's; fileLog (may be null) follows the pane's level.
    CLogViewQueue(CLogPipe& pipe, CFileLog* fileLog, int level = kDefaultLevel);
    ~CLogViewQueue() override;

    // Queues the level marker "$%x" and the text; posts one ShowPending when
    // the queue was empty and the pane is not paused.
    void Write(const char* text, unsigned level) override;
    unsigned GetLogLevel() override;

    // The surface to post to and append on; null before the widget exists and
    // after it is gone.
    void SetSurface(ILogViewSurface* surface);
    // Joins the document's pipe (the pane's first showing) and leaves it.
    bool AttachToPipe();
    void DetachFromPipe();

    // Sets the pane and the log file to level (0..3), announces it in the
    // pane and returns the values to store.
    sLogLevels SetLogLevel(int level);

    // While paused, texts are queued without limit but not shown; unpausing
    // shows them at once, oldest first.
    void SetPaused(bool paused);
    bool IsPaused() const;

    // Moves the queued texts to the surface in batches of runs, until the
    // queue is empty or the pass has run kPassLimit; then, with texts left
    // and the pane not paused, it posts the next pass.
    void ShowPending();

    // The string queued before each text: "$" and the level in lower-case
    // hexadecimal.
    static std::string LevelMarker(unsigned level);

    // Strings waiting: a marker and a text for each text.
    std::size_t PendingStrings() const;

private:
    // Takes up to kBatchTexts texts from the head into runs; under the lock.
    bool TakeRun(bool colouring, std::size_t& taken, sLogRun& run);

    CLogPipe& pipe;
    CFileLog* fileLog;
    std::atomic<int> logLevel;
    bool paused = false;                   // under the shared lock
    std::deque<std::string> pendingTexts;  // marker, text, marker, text ...
    ILogViewSurface* surface = nullptr;    // under the shared lock
};
