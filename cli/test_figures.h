// The figures a link test ends with, and the text and JSON the demo, the run
// and the monitor print them as.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "stats/content_snapshot.h"
#include "stats/link_figures.h"
#include "stats/link_health.h"
#include "stats/radio_budget.h"

namespace cli {

// The outages and corruption one side's collection judged.
struct sSideHealth {
    TolvarRT::sHealthCounts counts;
    std::vector<TolvarRT::sOutage> outages;
    TolvarRT::TimeStamp runStart = 0;  // outage times are given from it
};

struct sTestFigures {
    std::string title;
    std::string tableText;
    std::string summary;
    unsigned seconds = 0;  // how long the test ran
    // What the link did, per frame type: at the end of a test whose Source
    // was a generator, after the drain, nothing is left in flight.
    std::vector<TolvarRT::sLinkFigures> measured;
    std::uint64_t inFlightAtEnd = 0;  // with a real Source, before the wait
    std::uint64_t leftInFlight = 0;   // still in flight when the wait's bound passed: missed
    sSideHealth listenerHealth;
    sSideHealth sourceHealth;
    // What each side's frames told about themselves; the Source's is empty
    // without one.
    TolvarRT::sContentSnapshot listenerContent;
    TolvarRT::sContentSnapshot sourceContent;
    // What the Source's frames (the Listener's without a Source) took of the
    // radio over the seconds run.
    TolvarRT::sRadioBudget budget;
    nlohmann::json rows;       // every column of the statistics table, typed
    std::string recordFolder;  // where the test was recorded; empty: it was not
    std::vector<std::string> recordingFailures;
    std::string eventsFile;  // where the events went; empty: nowhere
    std::uint64_t eventLines = 0;
    std::uint64_t eventLinesWritten = 0;  // before the first failure
    std::string eventsFailure;            // the first write that failed
    std::string logFile;                  // the log file; empty: none
    unsigned logFailedWrites = 0;         // texts the log file did not take

    // The log file, the recording or the events file lost data.
    bool LostData() const { return logFailedWrites != 0 || !recordingFailures.empty() || !eventsFailure.empty(); }
};

// Title, table and summary; then, when asked, per type and for the whole
// run what the link did; the stream's own content (with or without a
// Source); the gap rule's figures wherever it found gaps.
std::string FiguresText(const sTestFigures& figures, bool perType);
// "title", "seconds", "rows", "summary", "measured" (per type),
// "measuredTotal", "health" (per side: counts and outages), "content" (per
// side that saw any) and "budget",
// with the same figures as the text.
nlohmann::json FiguresJson(const sTestFigures& figures);

}  // namespace cli
