// The content figures of one side of a link: fed every frame its decoders
// publish, it reads each frame's own fields once and keeps the ages, epochs,
// stations and satellites in memory that grows with the stations and GNSS a
// stream carries, never with the run's length.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/time_base.h"
#include "decoders/frame_content.h"
#include "stats/content_snapshot.h"
#include "stats/link_event.h"

namespace TolvarRT {

// Thread rules: not shared; its owner (the statistics collection) calls every
// operation under its own lock.
class CStreamContent {
public:
    // Host UTC (Unix seconds) at a time stamp: the process's time base unless
    // a replay says when its chunks arrived live.
    using ArrivalClock = std::function<double(TimeStamp)>;
    // Station changes and lost epochs, as they are judged.
    using EventSink = std::function<void(const sLinkEvent&)>;

    // Ages outside these bounds cannot be a link's delay: one of the clocks is
    // wrong, or the epochs do not count GNSS time. A field that repeats every
    // few minutes or every hour cannot tell a late frame from a wrong clock
    // beyond a small part of its period, so its bound is tighter.
    static constexpr double kEarliestAgeS = -1.0;
    static constexpr double kOldestAgeS = 3600.0;
    static constexpr double kOldestHourScaleAgeS = 600.0;
    static constexpr double kOldestFourMinuteScaleAgeS = 10.0;

    explicit CStreamContent(EventSink sink = {});

    // One frame with its content read; the result is its age when it has one
    // that counts.
    std::optional<double> OnContent(std::uint32_t key, const sFrameContent& content, TimeStamp arrival);

    // Lets time pass: an epoch still open when its successor is overdue is judged.
    void CheckEpochs(TimeStamp now);
    // Where the rover is (WGS 84 degrees), for the baseline. Without an
    // ellipsoidal height (GGA gives its altitude above the geoid) the rover is
    // taken at each base's height: the baseline is then the distance across.
    void SetRoverPosition(double latitude, double longitude, std::optional<double> ellipsoidHeight);
    void SetArrivalClock(ArrivalClock clock);
    // Fixes the clock state the snapshots report; without it they read the kernel's.
    void SetHostClockState(const sHostClockState& state);
    void SetGpsMinusUtc(int seconds, std::string problem);
    void Reset();

    sContentSnapshot Snapshot() const;

private:
    // One GNSS's epochs of one station: the interval, learned from the first
    // differences between epochs, and the counts.
    struct sGnssEpochs {
        sEpochFigures figures;
        bool started = false;
        std::int64_t lastInstantMs = 0;  // on the station's continuous time line
        std::array<std::int64_t, 8> learning{};
        unsigned learned = 0;  // differences kept in learning, until the interval is known
        std::int64_t intervalMs = 0;
    };
    // The epoch being received for one station: which GNSS had messages and
    // whether its last message came.
    // Its messages are told by their order, not by comparing epoch times
    // across GNSS: a recording's GLONASS time, read with today's leap
    // seconds, need not land on its GPS time.
    struct sOpenEpoch {
        bool open = false;
        std::array<std::int64_t, kGnssCount> instants{};  // per GNSS it had, on that GNSS's time line
        std::uint8_t gnssSeen = 0;                        // bit per Gnss
        bool lastMessageSeen = false;
        TimeStamp firstArrival = 0;
        std::array<std::uint8_t, kGnssCount> satellites{};
        std::array<std::uint8_t, kGnssCount> signalTypes{};
        std::array<std::uint16_t, kGnssCount> cells{};
    };
    struct sSatelliteSums {
        std::uint64_t epochs = 0;
        std::uint64_t satellites = 0;
        std::uint64_t signalTotal = 0;
        std::uint64_t cells = 0;
        unsigned minimum = 0;
        unsigned maximum = 0;
    };
    struct sStation {
        sStationFigures figures;
        sOpenEpoch epoch;
        // The epoch judged last, per GNSS: a part of it arriving late must not open another.
        std::array<std::int64_t, kGnssCount> closedInstants{};
        std::uint8_t closedGnss = 0;
        std::array<std::uint8_t, 4> recentGnss{};  // GNSS of the last closed epochs, newest first
        std::map<Gnss, sGnssEpochs> gnss;
        // Per GNSS, the last field value and where it lies on the time line,
        // so that fields which wrap (a week, a day) stay continuous.
        std::array<bool, kGnssCount> anchored{};
        std::array<std::int64_t, kGnssCount> lastFieldMs{};
        std::array<std::int64_t, kGnssCount> lastLineMs{};
    };

    double ArrivalUnix(TimeStamp arrival) const;
    // How old the epoch was on arrival, before any judgement.
    std::optional<double> RawAge(const sFrameContent& content, double arrivalUnix) const;
    static double OldestAgeS(EpochScale scale);
    // The epoch's place on the station's continuous time line, in ms.
    std::int64_t InstantOf(sStation& station, const sFrameContent& content, double arrivalUnix, double rawAge);
    void TrackEpoch(sStation& station, const sFrameContent& content, std::int64_t instantMs, TimeStamp arrival);
    void CountGnssEpoch(sStation& station, Gnss gnss, std::int64_t instantMs, TimeStamp arrival);
    // Judges the open epoch: complete or not per GNSS it had, satellites into sums.
    static void CloseEpoch(sStation& station, std::array<sSatelliteSums, kGnssCount>& sums);
    void NoteRecords(sStation& station, const sFrameContent& content, TimeStamp arrival);
    void UpdateBaseline(sStationFigures& station) const;
    void Changed(const sStation& station, const char* what, TimeStamp arrival) const;

    EventSink sink;
    ArrivalClock arrivalClock;
    std::optional<sHostClockState> fixedHostClock;
    int gpsMinusUtc;
    std::string leapProblem;
    std::map<std::uint32_t, sAgeFigures> ages;
    std::map<std::uint16_t, sStation> stations;
    std::array<sSatelliteSums, kGnssCount> satellites{};
    std::optional<std::uint16_t> lastObservingStation;
    bool mixedStations = false;
    // Why no ages: the kinds of fault seen, for the reason given.
    std::uint64_t agesBelowBound = 0;
    std::uint64_t agesAboveBound = 0;
    std::uint64_t shortScaleFaults = 0;  // on fields of an hour
    std::uint64_t fourMinuteFrames = 0;  // CMR: never aged
    bool roverKnown = false;
    double roverLatitude = 0.0, roverLongitude = 0.0;
    std::optional<double> roverHeight;
};

}  // namespace TolvarRT
