// A side's stream content in words, the same wherever it is printed.
#include "app/content_text.h"

#include <cctype>

#include "core/string_format.h"
#include "stats/content_view_model.h"

namespace TolvarRT {
namespace {

// The Stream Content window's words, within a line: "host clock
// synchronised, estimated error 2 ms", "host clock not synchronised: ages
// may be off by seconds", "host clock state unknown: ...".
std::string ClockLine(const sHostClockState& clock)
{
    std::string text = HostClockText(clock);
    if (!text.empty())
        text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    if (!clock.known)
        text += ": the system could not say whether it is synchronised";
    return text;
}

std::string StationLines(const sStationFigures& station)
{
    std::string text =
        StringPrintf("    station %u (%llu frames): ", unsigned(station.stationId), (unsigned long long)station.frames);
    if (station.hasReferencePoint)
        text += StringPrintf("latitude %.8f, longitude %.8f, height %.3f m (ECEF %.4f, %.4f, %.4f m)", station.latitude,
                             station.longitude, station.ellipsoidHeight, station.x, station.y, station.z);
    else
        text += "no reference point yet";
    if (station.hasAntennaHeight)
        text += StringPrintf(", antenna height %.4f m", station.antennaHeight);
    if (station.baselineM >= 0.0)
        text += StringPrintf(", baseline %.3f m", station.baselineM);
    text += "\n";
    // The descriptors' texts are the base's own: printed as they came.
    std::string described;
    if (!station.antenna.empty() || station.setupId != 0 || !station.antennaSerial.empty()) {
        described += "antenna " + (station.antenna.empty() ? std::string("(no descriptor)") : station.antenna);
        described += StringPrintf(" (setup %u", station.setupId);
        if (!station.antennaSerial.empty())
            described += ", serial " + station.antennaSerial;
        described += ")";
    }
    if (!station.receiver.empty() || !station.firmware.empty() || !station.receiverSerial.empty()) {
        if (!described.empty())
            described += "; ";
        described += "receiver " + (station.receiver.empty() ? std::string("(no descriptor)") : station.receiver);
        if (!station.firmware.empty())
            described += ", firmware " + station.firmware;
        if (!station.receiverSerial.empty())
            described += ", serial " + station.receiverSerial;
    }
    if (!described.empty())
        text += "      " + described + "\n";
    return text;
}

std::string EpochLine(const sEpochFigures& epochs)
{
    std::string line = StringPrintf("      station %u %s: ", unsigned(epochs.stationId), GnssName(epochs.gnss));
    line +=
        epochs.intervalS > 0.0 ? StringPrintf("every %.1f s, ", epochs.intervalS) : std::string("interval unknown, ");
    return line + StringPrintf("%llu seen, %llu complete, %llu incomplete, %llu lost\n",
                               (unsigned long long)epochs.seen, (unsigned long long)epochs.complete,
                               (unsigned long long)epochs.incomplete, (unsigned long long)epochs.lost);
}

std::string SatelliteLine(const sSatelliteFigures& satellites)
{
    std::string line = StringPrintf("      %s: mean %.1f (min %u, max %u) over %llu epochs", GnssName(satellites.gnss),
                                    satellites.satellitesMean, satellites.satellitesMin, satellites.satellitesMax,
                                    (unsigned long long)satellites.epochs);
    // Only MSM frames count signals and cells.
    if (satellites.cellsMean > 0.0)
        line += StringPrintf("; signals %.1f, cells %.1f", satellites.signalsMean, satellites.cellsMean);
    return line + "\n";
}

}  // namespace

std::string DistributionMsText(double meanS, const sLatencyDistribution& d)
{
    return StringPrintf("mean %.1f ms (min %.1f, max %.1f; median %.1f, 95%% %.1f, RMS %.1f)", meanS * 1000.0,
                        d.minS * 1000.0, d.maxS * 1000.0, d.medianS * 1000.0, d.p95S * 1000.0, d.rmsS * 1000.0);
}

std::string AgeLines(const std::vector<sAgeFigures>& ages, const char* indent)
{
    std::string text;
    for (const sAgeFigures& type : ages) {
        text += indent + type.name + ": ";
        if (type.ages.Count() == 0)
            text += "no age";
        else
            text += DistributionMsText(type.MeanS(), type.ages.Distribution()) +
                    StringPrintf(", %llu frames", (unsigned long long)type.ages.Count());
        if (type.clockFaults != 0)
            text += StringPrintf("; %llu clock faults", (unsigned long long)type.clockFaults);
        text += "\n";
    }
    return text;
}

std::string ContentSideText(const char* side, const sContentSnapshot& content)
{
    if (content.Empty())
        return {};
    std::string text = StringPrintf("  %s:\n    %s\n", side, ClockLine(content.clock.host).c_str());
    if (!content.clock.leapSecondsProblem.empty())
        text += StringPrintf("    leap seconds: %s (GPS - UTC taken as %d s)\n",
                             content.clock.leapSecondsProblem.c_str(), content.clock.gpsMinusUtc);
    return text + ContentFiguresText(content);
}

std::string ContentFiguresText(const sContentSnapshot& content)
{
    std::string text;
    if (!content.clock.noAgesReason.empty())
        text += "    no ages: " + content.clock.noAgesReason + "\n";
    for (const sStationFigures& station : content.stations)
        text += StationLines(station);
    if (content.mixedStations)
        text += "    stations mixed: observation frames of more than one station\n";
    if (!content.ages.empty())
        text += "    age of corrections:\n" + AgeLines(content.ages, "      ");
    if (!content.epochs.empty()) {
        text += "    epochs:\n";
        for (const sEpochFigures& epochs : content.epochs)
            text += EpochLine(epochs);
    }
    if (!content.satellites.empty()) {
        text += "    satellites per epoch:\n";
        for (const sSatelliteFigures& satellites : content.satellites)
            text += SatelliteLine(satellites);
    }
    return text;
}

std::string ContentSectionText(const sContentSnapshot& listener, const sContentSnapshot* source)
{
    std::string sides = ContentSideText("Listener", listener);
    if (source != nullptr)
        sides += ContentSideText("Source", *source);
    return sides.empty() ? std::string() : "Stream content:\n" + sides;
}

}  // namespace TolvarRT
