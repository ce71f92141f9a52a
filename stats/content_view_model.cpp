#include "stats/content_view_model.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "core/string_format.h"

namespace TolvarRT {
namespace {

const char* const kNotAvailable = "n/a";

std::string Count(std::uint64_t value)
{
    return StringPrintf("%llu", static_cast<unsigned long long>(value));
}

std::string Seconds(double seconds)
{
    return StringPrintf("%0.3f", seconds);
}

// 8 decimals of a degree are about a millimetre.
std::string Degrees(double degrees, char positive, char negative)
{
    return StringPrintf("%0.8f\u00b0 %c", std::fabs(degrees), degrees < 0.0 ? negative : positive);
}

std::string Metres(double metres, int decimals)
{
    return StringPrintf("%0.*f m", decimals, metres);
}

std::string TextOrNone(const std::string& text)
{
    return text.empty() ? std::string(kNotAvailable) : text;
}

std::string Joined(const std::vector<std::uint16_t>& ids)
{
    std::string text;
    for (std::uint16_t id : ids)
        text += (text.empty() ? "" : ", ") + StringPrintf("%u", unsigned(id));
    return text;
}

std::string BaselineText(double metres)
{
    if (metres < 0.0)
        return kNotAvailable;
    if (metres >= 10000.0)
        return StringPrintf("%0.2f km", metres / 1000.0);
    return Metres(metres, 1);
}

std::string AntennaText(const sStationFigures& station)
{
    if (station.antenna.empty())
        return kNotAvailable;
    // Setup 0 is what nearly every base sends: only another one is news.
    if (station.setupId != 0)
        return station.antenna + StringPrintf(", setup %u", station.setupId);
    return station.antenna;
}

sContentTable StationTable(const std::vector<sStationFigures>& stations)
{
    sContentTable table;
    table.title = stations.size() == 1 ? "Base Station" : "Base Stations";
    if (stations.empty())
        return table;
    table.headers.push_back("");
    for (const sStationFigures& station : stations)
        table.headers.push_back(StringPrintf("Station %u", unsigned(station.stationId)));
    const auto row = [&](const char* field, auto&& cell) {
        std::vector<std::string> cells{field};
        for (const sStationFigures& station : stations)
            cells.push_back(cell(station));
        table.rows.push_back(std::move(cells));
    };
    // The reference point's fields come together, from one 1005 or 1006.
    const auto placed = [&](const char* field, auto&& text) {
        row(field,
            [&](const sStationFigures& s) { return s.hasReferencePoint ? text(s) : std::string(kNotAvailable); });
    };
    row("Frames", [](const sStationFigures& s) { return Count(s.frames); });
    placed("Latitude", [](const sStationFigures& s) { return Degrees(s.latitude, 'N', 'S'); });
    placed("Longitude", [](const sStationFigures& s) { return Degrees(s.longitude, 'E', 'W'); });
    placed("Ellipsoid Height", [](const sStationFigures& s) { return Metres(s.ellipsoidHeight, 3); });
    placed("ECEF X", [](const sStationFigures& s) { return Metres(s.x, 4); });
    placed("ECEF Y", [](const sStationFigures& s) { return Metres(s.y, 4); });
    placed("ECEF Z", [](const sStationFigures& s) { return Metres(s.z, 4); });
    row("Antenna Height", [](const sStationFigures& s) {
        return s.hasAntennaHeight ? Metres(s.antennaHeight, 4) : std::string(kNotAvailable);
    });
    row("Antenna", [](const sStationFigures& s) { return AntennaText(s); });
    row("Antenna Serial", [](const sStationFigures& s) { return TextOrNone(s.antennaSerial); });
    row("Receiver", [](const sStationFigures& s) { return TextOrNone(s.receiver); });
    row("Receiver Serial", [](const sStationFigures& s) { return TextOrNone(s.receiverSerial); });
    row("Firmware", [](const sStationFigures& s) { return TextOrNone(s.firmware); });
    row("Baseline", [](const sStationFigures& s) { return BaselineText(s.baselineM); });
    return table;
}

std::vector<std::string> AgeCells(const std::string& name, const CLatencyHistogram& ages, double sumS,
                                  std::uint64_t clockFaults)
{
    const sLatencyDistribution d = ages.Distribution();
    const auto cell = [&](double seconds) { return d.count != 0 ? Seconds(seconds) : std::string(kNotAvailable); };
    return {name,
            cell(d.count != 0 ? sumS / double(d.count) : 0.0),
            cell(d.medianS),
            cell(d.p95S),
            cell(d.maxS),
            Count(d.count),
            Count(clockFaults)};
}

sContentTable AgeTable(const sContentSnapshot& content)
{
    sContentTable table;
    table.title = "Age of Corrections (s)";
    table.headers = {"Frame Type", "Mean", "Median", "95%", "Max", "Count", "Clock Faults"};
    double sumS = 0.0;
    std::uint64_t clockFaults = 0;
    for (const sAgeFigures& type : content.ages) {
        table.rows.push_back(AgeCells(type.name, type.ages, type.sumS, type.clockFaults));
        sumS += type.sumS;
        clockFaults += type.clockFaults;
    }
    if (content.ages.size() > 1)
        table.rows.push_back(AgeCells("All Types", content.AllAges(), sumS, clockFaults));
    return table;
}

sContentTable EpochTable(const std::vector<sEpochFigures>& epochs)
{
    sContentTable table;
    table.title = "Epochs";
    table.headers = {"Station", "GNSS", "Interval (s)", "Seen", "Complete", "Incomplete", "Lost"};
    for (const sEpochFigures& e : epochs) {
        table.rows.push_back({StringPrintf("%u", unsigned(e.stationId)), GnssName(e.gnss),
                              e.intervalS > 0.0 ? StringPrintf("%g", e.intervalS) : std::string(kNotAvailable),
                              Count(e.seen), Count(e.complete), Count(e.incomplete), Count(e.lost)});
    }
    return table;
}

sContentTable SatelliteTable(const std::vector<sSatelliteFigures>& satellites)
{
    sContentTable table;
    table.title = "Satellites per Epoch";
    table.headers = {"GNSS", "Epochs", "Mean", "Min", "Max", "Signals (mean)", "Cells (mean)"};
    // Only MSM frames count signals and cells.
    const auto mean = [](double value) {
        return value > 0.0 ? StringPrintf("%0.1f", value) : std::string(kNotAvailable);
    };
    for (const sSatelliteFigures& s : satellites) {
        table.rows.push_back({GnssName(s.gnss), Count(s.epochs), StringPrintf("%0.1f", s.satellitesMean),
                              StringPrintf("%u", s.satellitesMin), StringPrintf("%u", s.satellitesMax),
                              mean(s.signalsMean), mean(s.cellsMean)});
    }
    return table;
}

// Every station the side's frames named, from its records or its epochs.
std::vector<std::uint16_t> StationIds(const sContentSnapshot& content)
{
    std::set<std::uint16_t> ids;
    for (const sStationFigures& station : content.stations)
        ids.insert(station.stationId);
    for (const sEpochFigures& epochs : content.epochs)
        ids.insert(epochs.stationId);
    return {ids.begin(), ids.end()};
}

// The clock figures of the side that has read the host's clock: a side with
// no frames yet has not.
const sClockFigures& ClockOf(const sStatsSnapshot& snapshot)
{
    if (!snapshot.content.clock.host.known && snapshot.hasSource && snapshot.sourceContent.clock.host.known)
        return snapshot.sourceContent.clock;
    return snapshot.content.clock;
}

}  // namespace

std::string HostClockText(const sHostClockState& host)
{
    if (!host.known)
        return "Host clock state unknown";
    if (!host.synchronised)
        return "Host clock not synchronised: ages may be off by seconds";
    const double ms = host.estimatedErrorS * 1000.0;
    return StringPrintf(ms < 1.0 ? "Host clock synchronised, estimated error %0.1f ms"
                                 : "Host clock synchronised, estimated error %0.0f ms",
                        ms);
}

sContentSide ContentSideOf(const char* title, const sContentSnapshot& content)
{
    sContentSide side;
    side.title = title;
    if (content.Empty())
        side.notes.push_back("No frames with epochs or station records yet");
    if (content.mixedStations) {
        // The ids when the figures name more than one: the collector may have
        // judged the mix from frames whose station it does not keep.
        const std::vector<std::uint16_t> ids = StationIds(content);
        const std::string which = ids.size() > 1 ? StringPrintf("%zu stations (%s)", ids.size(), Joined(ids).c_str())
                                                 : std::string("more than one station");
        side.notes.push_back("Warning: observations of " + which + " are mixed in this stream");
    }
    if (!content.clock.noAgesReason.empty())
        side.notes.push_back("No ages: " + content.clock.noAgesReason);
    side.stations = StationTable(content.stations);
    side.ages = AgeTable(content);
    side.epochs = EpochTable(content.epochs);
    side.satellites = SatelliteTable(content.satellites);
    return side;
}

sContentView ContentViewOf(const sStatsSnapshot& snapshot)
{
    sContentView view;
    const sClockFigures& clock = ClockOf(snapshot);
    view.clock.push_back(HostClockText(clock.host));
    if (!clock.leapSecondsProblem.empty())
        view.clock.push_back(StringPrintf("GPS - UTC taken as %d s: ", clock.gpsMinusUtc) + clock.leapSecondsProblem);
    view.sides.push_back(ContentSideOf("Listener", snapshot.content));
    if (snapshot.hasSource)
        view.sides.push_back(ContentSideOf("Source", snapshot.sourceContent));
    return view;
}

void CContentViewModel::Refresh(const sStatsSnapshot& snapshot)
{
    sContentView fresh = ContentViewOf(snapshot);
    std::lock_guard<std::mutex> guard(viewLock);
    view = std::move(fresh);
}

sContentView CContentViewModel::View() const
{
    std::lock_guard<std::mutex> guard(viewLock);
    return view;
}

}  // namespace TolvarRT
