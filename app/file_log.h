// The log file of a test document: a plain text file that receives the texts
// of the document's log pipe up to its own level, exactly as they come.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "app/log_levels.h"
#include "core/log_pipe.h"

// Thread rules: Write and GetLogLevel may be called from any thread (the log
// pipe calls them from port readers, generators and the user-interface thread);
// each text goes to the file whole, never interleaved with another. OpenFile,
// CloseFile and SetLogLevel may also be called from any thread and are
// serialised among themselves; OpenFailure may be read from any thread. The
// shared lock guards the file and the failure text and is held only while
// reading, writing or swapping them, never while joining or leaving the pipe,
// so closing never waits on a Write that waits on it.
class CFileLog : public TolvarRT::TSubscriber<ILogPipe> {
public:
    static constexpr int kDefaultLevel = 1;  // Basic
    static constexpr char kDefaultExtension[] = "txt";
    static constexpr char kDialogFilter[] = "Text Files(*.txt)|*.txt|All Files (*.*)|*.*||";

    // Texts come from pipe once a file is open; level is the stored file
    // level ("FileLogLevel").
    explicit CFileLog(CLogPipe& pipe, int level = kDefaultLevel);
    ~CFileLog() override;

    // Writes the text's bytes as they are: no terminator, no filtering. The
    // bytes go straight to the operating system, so a crash of the program
    // loses nothing already written.
    void Write(const char* text, unsigned level) override;
    unsigned GetLogLevel() override;

    // Creates or truncates the file at path and starts taking texts; closes
    // any file open before. False (and closed) when the file cannot be
    // created, or when another log is writing into it. Only a regular file is
    // truncated: a device such as a terminal takes the texts as they come.
    bool OpenFile(const std::string& path);
    // Why the last OpenFile failed ("No such file or directory", "another log
    // is writing into it"); empty after a successful one.
    std::string OpenFailure() const;
    // Stops taking texts and closes the file; false when none was open.
    bool CloseFile();
    bool IsOpen() const;

    // Sets the level (0..3), announces it in the open file and returns the
    // value to store as "FileLogLevel".
    int SetLogLevel(int level);

    // Writes that failed (disk full, I/O error) since the file was opened.
    unsigned FailedWrites() const { return failedWrites.load(std::memory_order_relaxed); }

private:
    bool CloseLocked();
    // Opens and subscribes; empty, or why not.
    std::string OpenLocked(const std::string& path);
    void WriteLocked(const char* text, std::size_t length);

    CLogPipe& pipe;
    std::atomic<int> logLevel;
    std::atomic<unsigned> failedWrites{0};
    // Serialises OpenFile, CloseFile and SetLogLevel.
    std::mutex commandLock;
    int file = -1;            // under the shared lock
    std::string openFailure;  // under the shared lock
};
