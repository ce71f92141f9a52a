// The log pipe: every diagnostic and traffic text of a test document, stamped
// with the time of day and the seconds since start, offered to every sink
// (the log pane, the log file) whose level wants it.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>

#include "core/printf_format.h"
#include "core/subscription.h"

// A log sink. Write may be called from any thread at any time, and from
// several threads at once.
class ILogPipe {
public:
    // One finished text at level 0..3; it starts with a line break.
    virtual void Write(const char* text, unsigned level) = 0;
    // The sink receives every text whose level is at most this.
    virtual unsigned GetLogLevel() = 0;

protected:
    ~ILogPipe() = default;
};

enum LogLevel : unsigned {
    kLogNone = 0,   // LogAlways: every sink, whatever its level
    kLogBasic = 1,  // received frames
    kLogMost = 2,
    kLogAll = 3,  // packets and dumps
};

class CLogNode;

// Thread rules: any thread may log at any time. The lock is held only while
// stepping through the sinks and the node list; texts are built on the
// caller's stack, never on the heap. A sink that detaches while another thread
// delivers to it is waited for, so it may be destroyed once Unsubscribe
// returns.
class CLogPipe : public TolvarRT::TSubscription<ILogPipe> {
public:
    static constexpr unsigned kLineSize = 4094;  // a text with its terminator
    static constexpr unsigned kDumpSize = 1056;
    static constexpr unsigned kDumpHeaderLimit = 500;
    static constexpr unsigned kDumpTextLimit = 1000;

    CLogPipe() = default;
    ~CLogPipe() override;

    // Stamps and formats one text and publishes it at level. Returns its
    // length, or -1 when it does not fit in one line: then nothing is
    // published, not even a cut text.
    int FormatLine(unsigned level, const char* format, va_list arguments);
    // Offers a finished text to every sink whose level is at least level, and
    // caches the highest sink level seen for the verbose-level checks.
    void PublishLine(unsigned level, const char* text);
    // Dumps data as hexadecimal at level All, 32 bytes to a line in groups of
    // 8; MixedDump shows printable bytes as characters.
    void HexDump(const char* label, const void* data, unsigned length);
    void MixedDump(const char* label, const void* data, unsigned length);
    // Makes the next text of any level refresh the cached sink level; called
    // whenever a sink's level may have changed. Without sinks it stays None.
    void RaiseSinkLevel();
    // Asks every sink for its level now, so that a level that dropped (or a
    // sink that left) stops the verbose formatting at once rather than after
    // the next delivery.
    void RefreshSinkLevel();

    unsigned MaxSinkLevel() const { return maxSinkLevel.load(std::memory_order_relaxed) & kLevelMask; }

private:
    friend class CLogNode;
    void Dump(const char* label, const std::uint8_t* data, unsigned length, bool printableAsText);
    void AddNode(CLogNode* node);
    void RemoveNode(CLogNode* node);

    static constexpr unsigned kLevelMask = 0xFF;
    static constexpr unsigned kStoreStep = 0x100;
    // Stores level under a new store count, whatever was there.
    void StoreSinkLevel(unsigned level);

    // The highest level any sink returned in the last delivery, in the low
    // byte; above it a count of the stores. A delivery stores what it found
    // only if nothing was stored while it ran: a sink that left or lowered
    // its level meanwhile must not be overwritten by what it said before.
    std::atomic<unsigned> maxSinkLevel{0};
    // Nodes writing to this pipe, newest first; cut loose when the pipe dies.
    CLogNode* nodes = nullptr;
};

// A component's handle on its document's log pipe. A node without a pipe
// swallows everything.
//
// Thread rules: the Log operations may be called from any thread; Attach and
// Detach from the thread that owns the component.
class CLogNode {
public:
    explicit CLogNode(CLogPipe* pipe = nullptr);
    ~CLogNode();
    CLogNode(const CLogNode&) = delete;
    CLogNode& operator=(const CLogNode&) = delete;

    void Attach(CLogPipe* newPipe);
    void Detach();
    CLogPipe* Pipe() const { return pipe.load(std::memory_order_acquire); }

    // False when a text of level is certainly wanted by no sink: two loads
    // and a compare, for callers that prepare costly arguments. Most-level
    // texts are formatted once any sink is above None, All-level texts only
    // for All; nothing is formatted for a pipe without sinks, whatever level
    // the sinks that left had (a sink may leave from any thread, even while
    // the pipe dies, so the level they leave behind is not trusted).
    bool Wants(unsigned level) const
    {
        const CLogPipe* current = pipe.load(std::memory_order_relaxed);
        if (current == nullptr)
            return false;
        switch (level) {
        case kLogNone:
        case kLogBasic: return current->HasSubscribers();
        case kLogMost: return current->HasSubscribers() && current->MaxSinkLevel() >= kLogBasic;
        default: return current->HasSubscribers() && current->MaxSinkLevel() >= kLogAll;
        }
    }

    void LogAlways(const char* format, ...) TOLVAR_PRINTF(2, 3);
    void LogBasic(const char* format, ...) TOLVAR_PRINTF(2, 3);
    void LogMost(const char* format, ...) TOLVAR_PRINTF(2, 3);
    void LogAll(const char* format, ...) TOLVAR_PRINTF(2, 3);
    void HexDump(const char* label, const void* data, unsigned length);
    void MixedDump(const char* label, const void* data, unsigned length);

private:
    friend class CLogPipe;
    void Forward(unsigned level, const char* format, va_list arguments);

    std::atomic<CLogPipe*> pipe{nullptr};
    CLogNode* nextNode = nullptr;  // in the pipe's node list, under its lock
};
