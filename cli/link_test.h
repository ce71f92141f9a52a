// What the demo and the run on real ports share: the seconds of a running
// test (the table refreshed once a second, the summary logged every ten, the
// redraw on a terminal, the status server) and the figures read at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/test_figures.h"
#include "stats/stats_collection.h"

class CTolvarTestSuiteDoc;

namespace web {
class CStatusServer;
}

namespace cli {

class CCommandLineUi;
class CEventsFile;
class CTestRecording;
using web::CStatusServer;

// Frames still on the air when a generator stops are given this long to
// arrive; those of a real Source at least this long.
constexpr std::chrono::seconds kSourceDrain{2};

// Sleeps until the given time; false when the test is to end early (Ctrl+C).
using WaitUntil = std::function<bool(std::chrono::steady_clock::time_point)>;
// Sleeps and is never interrupted.
bool SleepUntil(std::chrono::steady_clock::time_point until);

struct sTestLoop {
    unsigned seconds = 0;                                   // 0: until the wait is interrupted
    bool progress = false;                                  // redraw the table once a second (on a terminal)
    std::string serve;                                      // ADDR:PORT of the status web page; empty: none
    int serveRefresh = 0;                                   // the page's reload period in seconds; 0: its own
    std::function<void(const std::string& url)> onServing;  // told where the page is
    WaitUntil wait = SleepUntil;
    // Told at once of what goes wrong without ending the test (a recording
    // that fails); empty: nobody is told until the end.
    std::function<void(const std::string& warning)> onWarning;
    std::string recordFolder;   // --record DIR; empty: no recording
    bool recordRtklib = false;  // --record-format rtklib: RTKLIB's time tags as well
    std::string eventsFile;     // --events FILE; empty: none
    unsigned linkBps = 0;       // --link-bps: the radio's bit rate; 0: not given
    // --match-window: how long a sent frame may take and still be matched,
    // and so the longest the frames in flight at the end of a run with a
    // real Source are waited for.
    double matchWindowS = TolvarRT::CStatsCollection::kDefaultMatchWindowS;
    // Told of what happens before the test's seconds begin (a device's
    // probe and how long it took); empty: nobody.
    std::function<void(const std::string& note)> onNote;
    // Takes what ends the connections' waits at once when the test is
    // interrupted (Ctrl+C), and an empty function once it may no longer be
    // called; empty: nothing interrupts a connection.
    std::function<void(std::function<void()> cancel)> onInterrupt;
};

// What a test writes besides its figures, watched for lost data while it runs.
struct sTestOutputs {
    CTestRecording* recording = nullptr;  // none: not recorded
    CEventsFile* events = nullptr;        // none: no events file
    std::string logFile;                  // empty: no log file
};

// Serves the status page when the loop asks for it, before the ports are
// connected, so a bad address costs no connection. False with a reason.
bool StartStatusServer(CStatusServer& server, const sTestLoop& loop, std::string& error);

// Starts the recording the loop asks for, if any, before the ports connect.
// False with a reason when the folder or its files cannot be made.
bool StartRecording(CTestRecording& recording, CTolvarTestSuiteDoc& document, const sTestLoop& loop,
                    bool sourceGenerated, std::string& error);
// Ends the recording after the test's last byte and puts what became of it in
// the figures.
void FinishRecording(CTestRecording& recording, const sTestLoop& loop, sTestFigures& figures);

// Opens the events file the loop asks for, if any, and has both sides'
// statistics write to it, before the ports connect. The file must outlive
// the document. False with a reason when it cannot be created.
bool StartEvents(CEventsFile& events, CTolvarTestSuiteDoc& document, const sTestLoop& loop, std::string& error);
// Detaches the file after the test's figures are read, so that it holds the
// frames they count, writes it out and puts what became of it in the figures.
void FinishEvents(CEventsFile& events, CTolvarTestSuiteDoc& document, const sTestLoop& loop, sTestFigures& figures);

// For as long as it lives, while the test's ports connect and run: the loop
// is told of each probe, an interruption ends the probes' waits at once, and
// the recording and the events file begin again when the statistics are
// reset for the test's last connection (the Source's when there is one), so
// that they hold what the figures count. Both must have been started.
class CConnectionWatch {
public:
    CConnectionWatch(CTolvarTestSuiteDoc& document, const sTestLoop& loop, bool withSource, CTestRecording& recording,
                     bool sourceGenerated, CEventsFile& events);
    ~CConnectionWatch();
    CConnectionWatch(const CConnectionWatch&) = delete;
    CConnectionWatch& operator=(const CConnectionWatch&) = delete;

private:
    void OnCounting(bool source, double probeSeconds);

    CTolvarTestSuiteDoc& document;
    const sTestLoop& loop;
    const bool withSource;
    CTestRecording& recording;
    const bool sourceGenerated;
    CEventsFile& events;
};

// What a running test does once a second: the recording is written out, the
// first failure of the recording, the events file and the log file is told
// at once, the table is refreshed and every ten seconds the summary logged.
class CTestTick {
public:
    CTestTick(CTolvarTestSuiteDoc& document, const sTestLoop& loop, const sTestOutputs& outputs);
    CTestTick(const CTestTick&) = delete;
    CTestTick& operator=(const CTestTick&) = delete;
    void Second(unsigned second);

private:
    void Check();

    CTolvarTestSuiteDoc& document;
    const sTestLoop& loop;
    const sTestOutputs& outputs;
    bool eventsTold = false;
    bool logTold = false;
};

// Runs the test's seconds on the calling thread; returns the seconds run.
// A recording is written out once a second; the first failure of the
// recording, the events file and the log file is told at once.
unsigned RunTestSeconds(CTolvarTestSuiteDoc& document, const sTestLoop& loop, std::ostream& progressOut,
                        const sTestOutputs& outputs = {});
// After the test's last log text: puts how many texts the log file lost in
// the figures, and tells the loop's onWarning when it lost any.
void FinishLog(CTolvarTestSuiteDoc& document, const sTestLoop& loop, const std::string& logFile, sTestFigures& figures);

// The figures at the end of a test that ran the given seconds, with the
// title as it stood while it ran. With a generator as Source the generator
// stops first and the link gets drain to deliver what is still on the air.
// With a real Source its statistics stop counting, the table and the health
// are read, and the frames still in flight are waited for (see
// in_flight_wait.h); when the bound passes first, the loop's onWarning is
// told how many were left out and counted missed.
sTestFigures EndTest(CTolvarTestSuiteDoc& document, unsigned seconds, bool stopGenerator,
                     std::chrono::milliseconds drain, const sTestLoop& loop);
// Tells the loop's onWarning when the corrections take more than 80 % of
// the radio's bit rate.
void WarnOfBudget(const sTestLoop& loop, const sTestFigures& figures);

// Connect the Listener (as an NMEA listener when asked) and the Source on
// the ports the user interface holds. False with "PORT: the system's reason"
// when the port cannot be opened.
bool ConnectListener(CTolvarTestSuiteDoc& document, const CCommandLineUi& ui, bool nmea, std::string& error);
bool ConnectSource(CTolvarTestSuiteDoc& document, const CCommandLineUi& ui, std::string& error);

// Opens the log file named (none: nothing to do) at level (0 none .. 3 all;
// -1: the file log's own level) before the ports connect, so the log holds
// the whole test. False with "FILE: the system's reason".
bool OpenLogFile(CTolvarTestSuiteDoc& document, CCommandLineUi& ui, const std::string& file, int level,
                 std::string& error);

// Fake CMR generation with the given schedule (0..6) and satellites.
void SetFakeCmr(CTolvarTestSuiteDoc& document, unsigned schedule, unsigned svs);

}  // namespace cli
