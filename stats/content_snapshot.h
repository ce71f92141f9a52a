// What one side's stream told about itself, as its frames carry it: how old
// the corrections were on arrival, which epochs came whole, part or not at
// all, the base station, and the satellites per epoch. Read with no Source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decoders/frame_content.h"
#include "ports/platform/host_clock.h"
#include "stats/latency_histogram.h"

namespace TolvarRT {

// The age of one frame type's corrections: arrival (host UTC) minus epoch.
struct sAgeFigures {
    std::uint32_t key = 0;   // as the statistics file the type
    std::string name;        // "RTCM v3 Type 1077"
    CLatencyHistogram ages;  // the ages judged good, s
    double sumS = 0.0;       // for the mean
    // Frames whose age said the clock of one side is wrong: below -1 s, or
    // steadily beyond an hour. They are not in ages.
    std::uint64_t clockFaults = 0;

    double MeanS() const { return ages.Count() == 0 ? 0.0 : sumS / double(ages.Count()); }
};

// The epochs of one GNSS of one station. An epoch is complete when its last
// message (multiple-message bit 0, or synchronous flag 0) arrived and every
// GNSS the stream carries had its messages; lost when whole intervals of
// this GNSS's epochs passed with none of its messages.
struct sEpochFigures {
    std::uint16_t stationId = 0;
    Gnss gnss = Gnss::None;
    double intervalS = 0.0;  // 0 until learned
    std::uint64_t seen = 0;
    std::uint64_t complete = 0;
    std::uint64_t incomplete = 0;
    std::uint64_t lost = 0;
};

// Satellites, signals and cells per epoch of one GNSS (of all its stations).
struct sSatelliteFigures {
    Gnss gnss = Gnss::None;
    std::uint64_t epochs = 0;
    double satellitesMean = 0.0;
    unsigned satellitesMin = 0;
    unsigned satellitesMax = 0;
    double signalsMean = 0.0;  // MSM only; 0 otherwise
    double cellsMean = 0.0;
};

// A base station as its records describe it; fields not yet seen are empty.
struct sStationFigures {
    std::uint16_t stationId = 0;
    std::uint64_t frames = 0;
    bool hasReferencePoint = false;
    double x = 0.0, y = 0.0, z = 0.0;        // ECEF, m
    double latitude = 0.0, longitude = 0.0;  // WGS 84, degrees
    double ellipsoidHeight = 0.0;            // m
    bool hasAntennaHeight = false;
    double antennaHeight = 0.0;  // 1006's height above the mark, m
    std::string antenna;         // desc
    unsigned setupId = 0;
    std::string antennaSerial;  // serial
    std::string receiver;
    std::string firmware;
    std::string receiverSerial;
    // From the base's reference point to the rover's last position; negative
    // while either is unknown.
    double baselineM = -1.0;
};

// The host clock's state and what the ages make of it.
struct sClockFigures {
    sHostClockState host;
    int gpsMinusUtc = 18;
    std::string leapSecondsProblem;  // empty when the system's list was read and is current
    // Why a side's frames give no ages, empty when they do (or carry no epochs):
    // "the epochs do not follow the clock", "ages below -1 s: a clock is wrong", ...
    std::string noAgesReason;
};

struct sContentSnapshot {
    std::vector<sAgeFigures> ages;              // ascending key; types with epochs only
    std::vector<sEpochFigures> epochs;          // by station, then GNSS
    std::vector<sSatelliteFigures> satellites;  // by GNSS
    std::vector<sStationFigures> stations;      // ascending id
    bool mixedStations = false;                 // observation frames of more than one station
    sClockFigures clock;

    // Nothing about the stream's content was seen (no frame of a type that carries any).
    bool Empty() const { return ages.empty() && epochs.empty() && stations.empty(); }
    // Every type's ages together.
    CLatencyHistogram AllAges() const;
};

}  // namespace TolvarRT
