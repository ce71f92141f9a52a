#include "stats/stream_content.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/gnss_time.h"
#include "core/wgs84.h"
#include "stats/packet_stats.h"

namespace TolvarRT {
namespace {

// A base re-sends its position unchanged; rounding in the 0.1 mm fields must
// not read as a move.
constexpr double kMovedM = 0.01;
// An epoch still open this long after its first message, or two intervals,
// whichever is longer, has had every message it will get.
constexpr double kEpochSettleS = 1.0;

unsigned GnssBit(Gnss gnss)
{
    return 1u << unsigned(gnss);
}

std::string TextOf(const sRecordText& text)
{
    return std::string(text.text, std::min<std::size_t>(text.length, sizeof(text.text) - 1));
}

// The difference of two readings of a field that wraps at periodMs, into
// (-period/2, period/2].
std::int64_t WrappedDifference(std::int64_t later, std::int64_t earlier, std::int64_t periodMs)
{
    std::int64_t difference = (later - earlier) % periodMs;
    if (difference > periodMs / 2)
        difference -= periodMs;
    else if (difference <= -periodMs / 2)
        difference += periodMs;
    return difference;
}

// The field as one number in its period: GLONASS with its day of week counts
// in the week.
void FieldInPeriod(const sFrameContent& content, std::int64_t& fieldMs, std::int64_t& periodMs)
{
    fieldMs = content.epochMs;
    switch (content.epochScale) {
    case EpochScale::GlonassDayMs:
        if (content.dayOfWeek < 7) {
            fieldMs += std::int64_t(content.dayOfWeek) * kDayMs;
            periodMs = kWeekMs;
        } else {
            periodMs = kDayMs;
        }
        return;
    case EpochScale::GpsHourMs: periodMs = kHourMs; return;
    case EpochScale::GpsFourMinuteMs: periodMs = kFourMinutesMs; return;
    default: periodMs = kWeekMs; return;
    }
}

// Epoch differences, learned before the interval is known: the interval is
// the shortest, and each other one skipped whole intervals.
std::int64_t LearnedInterval(const std::int64_t* differences, unsigned count)
{
    std::int64_t shortest = 0;
    for (unsigned i = 0; i < count; ++i)
        if (differences[i] > 0 && (shortest == 0 || differences[i] < shortest))
            shortest = differences[i];
    return shortest;
}

// Whole intervals skipped by a difference between epochs; 0 for one that is
// no whole multiple (the rate changed, or a late epoch).
std::uint64_t SkippedEpochs(std::int64_t differenceMs, std::int64_t intervalMs)
{
    if (intervalMs <= 0)
        return 0;
    const std::int64_t multiple = (differenceMs + intervalMs / 2) / intervalMs;
    if (multiple < 2 || std::llabs(differenceMs - multiple * intervalMs) > intervalMs / 4)
        return 0;
    return std::uint64_t(multiple - 1);
}

}  // namespace

CStreamContent::CStreamContent(EventSink sink) : sink(std::move(sink))
{
    const sLeapSeconds& leap = SystemLeapSeconds();
    gpsMinusUtc = leap.gpsMinusUtc;
    leapProblem = leap.problem;
}

void CStreamContent::SetArrivalClock(ArrivalClock clock)
{
    arrivalClock = std::move(clock);
}

void CStreamContent::SetHostClockState(const sHostClockState& state)
{
    fixedHostClock = state;
}

void CStreamContent::SetGpsMinusUtc(int seconds, std::string problem)
{
    gpsMinusUtc = seconds;
    leapProblem = std::move(problem);
}

void CStreamContent::SetRoverPosition(double latitude, double longitude, std::optional<double> ellipsoidHeight)
{
    roverKnown = true;
    roverLatitude = latitude;
    roverLongitude = longitude;
    roverHeight = ellipsoidHeight;
}

void CStreamContent::Reset()
{
    ages.clear();
    stations.clear();
    satellites = {};
    lastObservingStation.reset();
    mixedStations = false;
    agesBelowBound = 0;
    agesAboveBound = 0;
    shortScaleFaults = 0;
    fourMinuteFrames = 0;
}

double CStreamContent::ArrivalUnix(TimeStamp arrival) const
{
    return arrivalClock ? arrivalClock(arrival) : UnixSecondsAt(arrival);
}

double CStreamContent::OldestAgeS(EpochScale scale)
{
    switch (scale) {
    case EpochScale::GpsHourMs: return kOldestHourScaleAgeS;
    case EpochScale::GpsFourMinuteMs: return kOldestFourMinuteScaleAgeS;
    default: return kOldestAgeS;
    }
}

std::optional<double> CStreamContent::RawAge(const sFrameContent& content, double arrivalUnix) const
{
    std::int64_t fieldMs = 0;
    std::int64_t periodMs = 0;
    FieldInPeriod(content, fieldMs, periodMs);
    double hostMs = 0.0;
    switch (content.epochScale) {
    case EpochScale::GpsWeekMs:
    case EpochScale::GpsHourMs:
    case EpochScale::GpsFourMinuteMs:
        // A week holds a whole number of hours and of four-minute spans.
        hostMs = GpsWeekMsAt(arrivalUnix, gpsMinusUtc);
        break;
    case EpochScale::BeiDouWeekMs: hostMs = BeiDouWeekMsAt(arrivalUnix, gpsMinusUtc); break;
    case EpochScale::GlonassDayMs:
        hostMs = periodMs == kWeekMs ? GlonassWeekMsAt(arrivalUnix) : GlonassDayMsAt(arrivalUnix);
        break;
    case EpochScale::None: return std::nullopt;
    }
    return AgeInPeriod(hostMs, double(fieldMs), periodMs);
}

std::optional<double> CStreamContent::OnContent(std::uint32_t key, const sFrameContent& content, TimeStamp arrival)
{
    std::optional<sStation*> station;
    if (content.hasStation) {
        sStation& entry = stations[content.stationId];
        if (entry.figures.frames == 0)
            entry.figures.stationId = content.stationId;
        entry.figures.frames += 1;
        NoteRecords(entry, content, arrival);
        station = &entry;
    }
    if (!content.HasEpoch())
        return std::nullopt;

    const double arrivalUnix = ArrivalUnix(arrival);
    const std::optional<double> raw = RawAge(content, arrivalUnix);
    if (!raw)
        return std::nullopt;
    if (station && content.gnss != Gnss::None)
        TrackEpoch(**station, content, InstantOf(**station, content, arrivalUnix, *raw), arrival);

    sAgeFigures& figures = ages[key];
    figures.key = key;
    // Four minutes are too short to tell a late frame from an epoch counter
    // that ignores the clock (the fake CMR generator counts from 1000 ms):
    // one in every 24 such counters would pass for a late link.
    if (content.epochScale == EpochScale::GpsFourMinuteMs) {
        figures.clockFaults += 1;
        fourMinuteFrames += 1;
        return std::nullopt;
    }
    const bool shortScale = content.epochScale == EpochScale::GpsHourMs;
    if (*raw < kEarliestAgeS || *raw > OldestAgeS(content.epochScale)) {
        figures.clockFaults += 1;
        if (shortScale)
            shortScaleFaults += 1;
        else if (*raw < kEarliestAgeS)
            agesBelowBound += 1;
        else
            agesAboveBound += 1;
        return std::nullopt;
    }
    figures.ages.Add(*raw);
    figures.sumS += *raw;
    return raw;
}

std::int64_t CStreamContent::InstantOf(sStation& station, const sFrameContent& content, double arrivalUnix,
                                       double rawAge)
{
    std::int64_t fieldMs = 0;
    std::int64_t periodMs = 0;
    FieldInPeriod(content, fieldMs, periodMs);
    const unsigned slot = unsigned(content.gnss);
    std::int64_t instantMs = 0;
    // Once anchored, a GNSS's epochs follow its own field, so that a host
    // clock near the edge of the field's period cannot fold one epoch a
    // period away from the next.
    if (station.anchored[slot]) {
        instantMs = station.lastLineMs[slot] + WrappedDifference(fieldMs, station.lastFieldMs[slot], periodMs);
    } else {
        instantMs = std::llround((arrivalUnix - rawAge) * 1000.0);
        station.anchored[slot] = true;
    }
    station.lastFieldMs[slot] = fieldMs;
    station.lastLineMs[slot] = instantMs;
    return instantMs;
}

void CStreamContent::TrackEpoch(sStation& station, const sFrameContent& content, std::int64_t instantMs,
                                TimeStamp arrival)
{
    if (lastObservingStation && *lastObservingStation != content.stationId) {
        if (station.epoch.open || !station.gnss.empty())
            mixedStations = true;
        else
            Changed(station, "station", arrival);
    }
    lastObservingStation = content.stationId;

    sOpenEpoch& epoch = station.epoch;
    const unsigned slot = unsigned(content.gnss);
    const std::uint8_t bit = std::uint8_t(GnssBit(content.gnss));
    const bool inOpen = epoch.open && (epoch.gnssSeen & bit) != 0;
    const bool lateForOpen = inOpen && instantMs < epoch.instants[slot];
    const bool lateForClosed = !inOpen && (station.closedGnss & bit) != 0 && instantMs <= station.closedInstants[slot];
    if (lateForOpen || lateForClosed) {
        // A part of an epoch already judged: it changes nothing but its GNSS's count.
        CountGnssEpoch(station, content.gnss, instantMs, arrival);
        return;
    }
    // The same GNSS at a later time: the open epoch never got its last message.
    if (inOpen && instantMs > epoch.instants[slot])
        CloseEpoch(station, satellites);
    if (!epoch.open) {
        epoch = sOpenEpoch();
        epoch.open = true;
        epoch.firstArrival = arrival;
    }
    epoch.gnssSeen |= bit;
    epoch.instants[slot] = instantMs;
    epoch.satellites[slot] = std::max(epoch.satellites[slot], content.satellites);
    epoch.signalTypes[slot] = std::max(epoch.signalTypes[slot], content.signalTypes);
    epoch.cells[slot] = std::max(epoch.cells[slot], content.cells);
    CountGnssEpoch(station, content.gnss, instantMs, arrival);
    // A frame with neither bit ends its epoch alone (CMR).
    if (content.multiple == 0 || content.sync == 0 || (content.multiple < 0 && content.sync < 0)) {
        epoch.lastMessageSeen = true;
        CloseEpoch(station, satellites);
    }
}

void CStreamContent::CountGnssEpoch(sStation& station, Gnss gnss, std::int64_t instantMs, TimeStamp arrival)
{
    sGnssEpochs& epochs = station.gnss[gnss];
    epochs.figures.stationId = station.figures.stationId;
    epochs.figures.gnss = gnss;
    if (!epochs.started) {
        epochs.started = true;
        epochs.lastInstantMs = instantMs;
        epochs.figures.seen = 1;
        return;
    }
    const std::int64_t difference = instantMs - epochs.lastInstantMs;
    // The same epoch again (another of its messages), or an older one late.
    if (difference <= 0)
        return;
    epochs.figures.seen += 1;
    epochs.lastInstantMs = instantMs;
    std::uint64_t skipped = 0;
    if (epochs.intervalMs == 0) {
        epochs.learning[epochs.learned++] = difference;
        if (epochs.learned < epochs.learning.size())
            return;
        epochs.intervalMs = LearnedInterval(epochs.learning.data(), epochs.learned);
        for (unsigned i = 0; i < epochs.learned; ++i)
            skipped += SkippedEpochs(epochs.learning[i], epochs.intervalMs);
    } else if (difference < epochs.intervalMs * 3 / 4) {
        epochs.intervalMs = difference;  // the base's rate went up
    } else {
        skipped = SkippedEpochs(difference, epochs.intervalMs);
    }
    epochs.figures.intervalS = double(epochs.intervalMs) / 1000.0;
    if (skipped == 0)
        return;
    epochs.figures.lost += skipped;
    sLinkEvent event;
    event.kind = eLinkEventKind::EpochsLost;
    event.time = arrival;
    event.stationId = station.figures.stationId;
    event.gnss = std::uint8_t(gnss);
    event.epochs = skipped;
    if (sink)
        sink(event);
}

void CStreamContent::CloseEpoch(sStation& station, std::array<sSatelliteSums, kGnssCount>& sums)
{
    sOpenEpoch& epoch = station.epoch;
    if (!epoch.open)
        return;
    std::uint8_t expected = epoch.gnssSeen;
    for (const std::uint8_t recent : station.recentGnss)
        expected |= recent;
    const bool complete = epoch.lastMessageSeen && (epoch.gnssSeen & expected) == expected;
    for (unsigned slot = 1; slot < kGnssCount; ++slot) {
        if ((epoch.gnssSeen & (1u << slot)) == 0)
            continue;
        sEpochFigures& figures = station.gnss[Gnss(slot)].figures;
        (complete ? figures.complete : figures.incomplete) += 1;
        sSatelliteSums& sum = sums[slot];
        const unsigned count = epoch.satellites[slot];
        sum.minimum = sum.epochs == 0 ? count : std::min(sum.minimum, count);
        sum.maximum = std::max(sum.maximum, count);
        sum.epochs += 1;
        sum.satellites += count;
        sum.signalTotal += epoch.signalTypes[slot];
        sum.cells += epoch.cells[slot];
    }
    std::rotate(station.recentGnss.rbegin(), station.recentGnss.rbegin() + 1, station.recentGnss.rend());
    station.recentGnss[0] = epoch.gnssSeen;
    station.closedGnss = epoch.gnssSeen;
    station.closedInstants = epoch.instants;
    epoch.open = false;
}

void CStreamContent::CheckEpochs(TimeStamp now)
{
    for (auto& [id, station] : stations) {
        if (!station.epoch.open)
            continue;
        std::int64_t shortestMs = 0;
        for (const auto& [gnss, epochs] : station.gnss)
            if (epochs.intervalMs > 0 && (shortestMs == 0 || epochs.intervalMs < shortestMs))
                shortestMs = epochs.intervalMs;
        const double settleS = std::max(kEpochSettleS, 2.0 * double(shortestMs) / 1000.0);
        if (SecondsBetween(now, station.epoch.firstArrival) > settleS)
            CloseEpoch(station, satellites);
    }
}

void CStreamContent::NoteRecords(sStation& station, const sFrameContent& content, TimeStamp arrival)
{
    sStationFigures& figures = station.figures;
    if (content.hasReferencePoint) {
        const bool moved = figures.hasReferencePoint &&
                           std::hypot(content.x - figures.x, content.y - figures.y, content.z - figures.z) > kMovedM;
        figures.hasReferencePoint = true;
        figures.x = content.x;
        figures.y = content.y;
        figures.z = content.z;
        const sGeodetic geodetic = EcefToGeodetic(sEcef{content.x, content.y, content.z});
        figures.latitude = geodetic.latitude;
        figures.longitude = geodetic.longitude;
        figures.ellipsoidHeight = geodetic.height;
        if (content.hasHeight) {
            figures.hasAntennaHeight = true;
            figures.antennaHeight = content.height;
        }
        if (moved)
            Changed(station, "position", arrival);
    }
    if (content.hasDescriptor) {
        const std::string antenna = TextOf(content.antenna);
        const std::string serial = TextOf(content.antennaSerial);
        const bool known = !figures.antenna.empty() || !figures.antennaSerial.empty();
        const bool changed = known && (antenna != figures.antenna || serial != figures.antennaSerial ||
                                       content.setupId != figures.setupId);
        figures.antenna = antenna;
        figures.antennaSerial = serial;
        figures.setupId = content.setupId;
        if (changed)
            Changed(station, "antenna", arrival);
    }
    if (content.hasReceiver) {
        const std::string receiver = TextOf(content.receiver);
        const std::string receiverSerial = TextOf(content.receiverSerial);
        const std::string firmware = TextOf(content.firmware);
        const bool known = !figures.receiver.empty() || !figures.receiverSerial.empty() || !figures.firmware.empty();
        const bool swapped = known && (receiver != figures.receiver || receiverSerial != figures.receiverSerial);
        const bool updated = known && !swapped && firmware != figures.firmware;
        figures.receiver = receiver;
        figures.receiverSerial = receiverSerial;
        figures.firmware = firmware;
        if (swapped)
            Changed(station, "receiver", arrival);
        if (updated)
            Changed(station, "firmware", arrival);
    }
}

void CStreamContent::Changed(const sStation& station, const char* what, TimeStamp arrival) const
{
    if (!sink)
        return;
    sLinkEvent event;
    event.kind = eLinkEventKind::StationChanged;
    event.time = arrival;
    event.stationId = station.figures.stationId;
    event.what = what;
    sink(event);
}

void CStreamContent::UpdateBaseline(sStationFigures& station) const
{
    if (!roverKnown || !station.hasReferencePoint)
        return;
    const sEcef rover =
        GeodeticToEcef(sGeodetic{roverLatitude, roverLongitude, roverHeight.value_or(station.ellipsoidHeight)});
    station.baselineM = DistanceM(rover, sEcef{station.x, station.y, station.z});
}

sContentSnapshot CStreamContent::Snapshot() const
{
    sContentSnapshot snapshot;
    for (const auto& [key, figures] : ages) {
        snapshot.ages.push_back(figures);
        snapshot.ages.back().name = FrameName(key);
    }
    // An epoch still waiting for messages is left to a later snapshot.
    const std::array<sSatelliteSums, kGnssCount>& sums = satellites;
    for (const auto& [id, entry] : stations) {
        sStation station = entry;
        UpdateBaseline(station.figures);
        snapshot.stations.push_back(station.figures);
        for (const auto& [gnss, epochs] : station.gnss) {
            sEpochFigures figures = epochs.figures;
            // Too few epochs to have learned the interval: judge by those there are.
            if (epochs.intervalMs == 0 && epochs.learned >= 2) {
                const std::int64_t intervalMs = LearnedInterval(epochs.learning.data(), epochs.learned);
                figures.intervalS = double(intervalMs) / 1000.0;
                for (unsigned i = 0; i < epochs.learned; ++i)
                    figures.lost += SkippedEpochs(epochs.learning[i], intervalMs);
            }
            snapshot.epochs.push_back(figures);
        }
    }
    for (unsigned slot = 1; slot < kGnssCount; ++slot) {
        const sSatelliteSums& sum = sums[slot];
        if (sum.epochs == 0)
            continue;
        sSatelliteFigures figures;
        figures.gnss = Gnss(slot);
        figures.epochs = sum.epochs;
        figures.satellitesMean = double(sum.satellites) / double(sum.epochs);
        figures.satellitesMin = sum.minimum;
        figures.satellitesMax = sum.maximum;
        figures.signalsMean = double(sum.signalTotal) / double(sum.epochs);
        figures.cellsMean = double(sum.cells) / double(sum.epochs);
        snapshot.satellites.push_back(figures);
    }
    snapshot.mixedStations = mixedStations;
    snapshot.clock.host = fixedHostClock ? *fixedHostClock : ReadHostClockState();
    snapshot.clock.gpsMinusUtc = gpsMinusUtc;
    snapshot.clock.leapSecondsProblem = leapProblem;
    std::uint64_t good = 0;
    for (const sAgeFigures& figures : snapshot.ages)
        good += figures.ages.Count();
    if (good == 0 && !snapshot.ages.empty()) {
        if (fourMinuteFrames > 0 && shortScaleFaults == 0 && agesBelowBound == 0 && agesAboveBound == 0)
            snapshot.clock.noAgesReason =
                "CMR epochs repeat every 4 minutes: too often to tell a late frame from a "
                "wrong clock";
        else if (shortScaleFaults > 0 && agesBelowBound == 0 && agesAboveBound == 0)
            snapshot.clock.noAgesReason = "the epochs do not follow the host clock";
        else if (agesBelowBound >= agesAboveBound)
            snapshot.clock.noAgesReason = "ages below -1 s: the host clock or the base's clock is wrong";
        else
            snapshot.clock.noAgesReason = "ages beyond an hour: the host clock or the base's clock is wrong";
    }
    return snapshot;
}

}  // namespace TolvarRT
