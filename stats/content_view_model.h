// What the Stream Content window shows: each side's base stations, the host
// clock's state, the age of the corrections per frame type, the epochs per
// station and GNSS and the satellites per epoch, every cell as text, made
// from the sides' content snapshots. Read from the frames alone: a rover
// side with no Source shows all of it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "stats/stats_snapshot.h"

namespace TolvarRT {

// One table of the window: its heading, its column headers and its rows of
// cells, each row as long as the headers.
struct sContentTable {
    std::string title;
    std::vector<std::string> headers;
    std::vector<std::vector<std::string>> rows;
};

// What one side's frames told. Stations are a table of fields (rows) by
// station (columns): a base has more fields than a window has width.
struct sContentSide {
    std::string title;  // "Listener", "Source"
    std::vector<std::string>
        notes;  // what a reader must know before the figures: nothing seen, mixed stations, no ages
    sContentTable stations;
    sContentTable ages;
    sContentTable epochs;
    sContentTable satellites;
};

struct sContentView {
    // The host clock, and GPS - UTC when it is not taken from a current
    // list: both sides' ages stand on them.
    std::vector<std::string> clock;
    std::vector<sContentSide> sides;  // the Listener, then the Source while there is one
};

// "Host clock synchronised, estimated error 2 ms", "Host clock not
// synchronised: ages may be off by seconds", "Host clock state unknown".
std::string HostClockText(const sHostClockState& host);

// The view of a receiver's snapshot: its own content, and its source's when
// it has one.
sContentView ContentViewOf(const sStatsSnapshot& snapshot);
// One side's part of it.
sContentSide ContentSideOf(const char* title, const sContentSnapshot& content);

// Thread rules: Refresh runs on one thread at a time (the statistics
// table's timer); View may be read from any thread and returns a copy.
class CContentViewModel {
public:
    void Refresh(const sStatsSnapshot& snapshot);
    sContentView View() const;

private:
    mutable std::mutex viewLock;
    sContentView view;  // under viewLock
};

}  // namespace TolvarRT
