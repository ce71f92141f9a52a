// A test's figures in the text format monitoring servers scrape: one family
// per figure, labelled by link, side and frame type, in seconds and bytes,
// counters ending in _total.
#pragma once

#include <string>
#include <vector>

#include "stats/content_snapshot.h"
#include "stats/link_figures.h"

class CTolvarTestSuiteDoc;

namespace web {

// What one side of a link did. On the Listener every frame type carries the
// whole correlation; on the Source only what it counted.
struct sSideMetrics {
    std::string side;  // "listener" or "source"
    bool correlated = false;
    bool portOpen = false;
    std::uint64_t receivedBytes = 0;
    std::uint64_t rejectedBytes = 0;
    std::uint64_t linkOutages = 0;
    double outageSeconds = 0.0;
    std::vector<TolvarRT::sLinkFigures> types;  // on the Source, received is what it counted
    // What the side's frames told of themselves: ages, epochs, stations.
    TolvarRT::sContentSnapshot content;
};

struct sLinkMetrics {
    std::string link;
    double startTimeS = 0.0;              // since the Unix epoch, of the run's statistics
    TolvarRT::sHostClockState hostClock;  // the host's, as the link's ages were judged against it
    std::vector<sSideMetrics> sides;
};

// Every family once, its samples for every link together.
std::string MetricsText(const std::vector<sLinkMetrics>& links);

// The document's figures as of now, read without changing any of them.
sLinkMetrics DocumentMetrics(CTolvarTestSuiteDoc& document, const std::string& link);

}  // namespace web
