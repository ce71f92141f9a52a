#include "web/stats_output.h"

#include <algorithm>
#include <optional>

#include "stats/stats_row_figures.h"

namespace web {

using namespace TolvarRT;

std::string TableText(const std::vector<sStatsRow>& rows)
{
    const auto& headers = CStatsTableModel::ColumnHeaders();
    std::vector<std::size_t> widths(headers.size());
    for (std::size_t column = 0; column < headers.size(); ++column) {
        widths[column] = std::string(headers[column]).size();
        for (const sStatsRow& row : rows)
            widths[column] = std::max(widths[column], row.cells[column].size());
    }
    std::string text;
    const auto line = [&](const auto& cell) {
        for (std::size_t column = 0; column < headers.size(); ++column) {
            const std::string value = cell(column);
            // The name left-aligned, the figures right-aligned.
            if (column == 0)
                text += value + std::string(widths[column] - value.size(), ' ');
            else
                text += "  " + std::string(widths[column] - value.size(), ' ') + value;
        }
        text += "\n";
    };
    line([&](std::size_t column) { return std::string(headers[column]); });
    for (const sStatsRow& row : rows)
        line([&](std::size_t column) { return row.cells[column]; });
    return text;
}

namespace {

nlohmann::json Figure(const std::optional<std::uint32_t>& count)
{
    return count ? nlohmann::json(*count) : nlohmann::json(nullptr);
}

nlohmann::json Figure(const std::optional<double>& value, double scale = 1.0)
{
    return value ? nlohmann::json(*value * scale) : nlohmann::json(nullptr);
}

}  // namespace

nlohmann::json RowsJson(const sStatsSnapshot& snapshot)
{
    nlohmann::json array = nlohmann::json::array();
    for (const std::uint32_t key : snapshot.Keys()) {
        const sRowFigures figures = RowFiguresOf(snapshot.Find(key), snapshot.FindSource(key));
        array.push_back({{"name", FrameName(key)},
                         {"class", KeyClass(key)},
                         {"type", KeyType(key)},
                         {"rating", figures.rating != nullptr ? nlohmann::json(figures.rating) : nullptr},
                         {"count", Figure(figures.count)},
                         {"sourceCount", Figure(figures.sourceCount)},
                         {"percentReceived", Figure(figures.percentReceived)},
                         {"lastSizeBytes", Figure(figures.lastSizeBytes)},
                         {"lastIntervalS", Figure(figures.lastIntervalS)},
                         {"lastTimeS", Figure(figures.lastTimeS)},
                         {"lastLatencyMs", Figure(figures.lastLatencyS, 1000.0)},
                         {"averageLengthBytes", Figure(figures.averageLengthBytes)},
                         {"averagePacketsPerS", Figure(figures.averagePacketsPerS)},
                         {"averageLatencyMs", Figure(figures.averageLatencyS, 1000.0)}});
    }
    return array;
}

nlohmann::json LinkFiguresJson(const sLinkFigures& figures)
{
    const bool timed = figures.matched != 0;
    nlohmann::json json = {{"name", figures.name}};
    if (figures.key != 0) {
        json["class"] = KeyClass(figures.key);
        json["type"] = KeyType(figures.key);
    }
    json.update({{"sent", figures.sent},
                 {"received", figures.received},
                 {"matched", figures.matched},
                 {"missed", figures.missed},
                 {"inFlight", figures.inFlight},
                 {"unmatched", figures.unmatched},
                 {"late", figures.late},
                 {"latencyMeanMs", timed ? nlohmann::json(figures.LatencyMeanS() * 1000.0) : nullptr},
                 {"latencyMinMs", timed ? nlohmann::json(figures.latencyMinS * 1000.0) : nullptr},
                 {"latencyMaxMs", timed ? nlohmann::json(figures.latencyMaxS * 1000.0) : nullptr},
                 {"gapRuleLost", figures.gapRuleLost},
                 {"gapRuleLate", figures.gapRuleLate}});
    return json;
}

void AddMeasuredJson(const std::vector<sLinkFigures>& types, nlohmann::json& json)
{
    nlohmann::json array = nlohmann::json::array();
    for (const sLinkFigures& type : types)
        array.push_back(LinkFiguresJson(type));
    json["measured"] = array;
    json["measuredTotal"] = LinkFiguresJson(LinkTotal(types));
}

nlohmann::json AgeFiguresJson(const sAgeFigures& type)
{
    const sLatencyDistribution d = type.ages.Distribution();
    const auto ms = [&](double seconds) { return d.count != 0 ? nlohmann::json(seconds * 1000.0) : nullptr; };
    return {{"name", type.name},
            {"class", KeyClass(type.key)},
            {"type", KeyType(type.key)},
            {"mean_ms", ms(type.MeanS())},
            {"min_ms", ms(d.minS)},
            {"max_ms", ms(d.maxS)},
            {"median_ms", ms(d.medianS)},
            {"p95_ms", ms(d.p95S)},
            {"rms_ms", ms(d.rmsS)},
            {"count", d.count},
            {"clock_faults", type.clockFaults}};
}

namespace {

nlohmann::json EpochJson(const sEpochFigures& epochs)
{
    return {{"station_id", epochs.stationId},
            {"gnss", GnssName(epochs.gnss)},
            {"interval_s", epochs.intervalS > 0.0 ? nlohmann::json(epochs.intervalS) : nullptr},
            {"seen", epochs.seen},
            {"complete", epochs.complete},
            {"incomplete", epochs.incomplete},
            {"lost", epochs.lost}};
}

nlohmann::json StationJson(const sStationFigures& station)
{
    const auto point = [&](double value) { return station.hasReferencePoint ? nlohmann::json(value) : nullptr; };
    return {{"station_id", station.stationId},
            {"frames", station.frames},
            {"x", point(station.x)},
            {"y", point(station.y)},
            {"z", point(station.z)},
            {"h", station.hasAntennaHeight ? nlohmann::json(station.antennaHeight) : nullptr},
            {"latitude", point(station.latitude)},
            {"longitude", point(station.longitude)},
            {"height", point(station.ellipsoidHeight)},
            {"desc", station.antenna},
            {"setup_id", station.setupId},
            {"serial", station.antennaSerial},
            {"receiver", station.receiver},
            {"firmware", station.firmware},
            {"receiver_serial", station.receiverSerial},
            {"baseline_m", station.baselineM >= 0.0 ? nlohmann::json(station.baselineM) : nullptr}};
}

nlohmann::json SatelliteJson(const sSatelliteFigures& satellites)
{
    return {{"gnss", GnssName(satellites.gnss)}, {"epochs", satellites.epochs},
            {"mean", satellites.satellitesMean}, {"min", satellites.satellitesMin},
            {"max", satellites.satellitesMax},   {"signals_mean", satellites.signalsMean},
            {"cells_mean", satellites.cellsMean}};
}

nlohmann::json ClockJson(const sClockFigures& clock)
{
    const auto text = [](const std::string& value) {
        return value.empty() ? nlohmann::json(nullptr) : nlohmann::json(value);
    };
    const bool known = clock.host.known;
    return {{"known", known},
            {"synchronised", known && clock.host.synchronised},
            {"estimated_error_ms", known ? nlohmann::json(clock.host.estimatedErrorS * 1000.0) : nullptr},
            {"maximum_error_ms", known ? nlohmann::json(clock.host.maximumErrorS * 1000.0) : nullptr},
            {"gps_minus_utc", clock.gpsMinusUtc},
            {"leap_seconds_problem", text(clock.leapSecondsProblem)},
            {"no_ages_reason", text(clock.noAgesReason)}};
}

template <class Item>
nlohmann::json ArrayOf(const std::vector<Item>& items, nlohmann::json (*itemJson)(const Item&))
{
    nlohmann::json array = nlohmann::json::array();
    for (const Item& item : items)
        array.push_back(itemJson(item));
    return array;
}

}  // namespace

nlohmann::json ContentJson(const sContentSnapshot& content)
{
    return {{"age", ArrayOf(content.ages, AgeFiguresJson)},
            {"epochs", ArrayOf(content.epochs, EpochJson)},
            {"stations", ArrayOf(content.stations, StationJson)},
            {"mixed_stations", content.mixedStations},
            {"satellites", ArrayOf(content.satellites, SatelliteJson)},
            {"clock", ClockJson(content.clock)}};
}

void AddContentJson(const sContentSnapshot& listener, const sContentSnapshot* source, nlohmann::json& json)
{
    nlohmann::json content = nlohmann::json::object();
    if (!listener.Empty())
        content["listener"] = ContentJson(listener);
    if (source != nullptr && !source->Empty())
        content["source"] = ContentJson(*source);
    json["content"] = content;
}

}  // namespace web
