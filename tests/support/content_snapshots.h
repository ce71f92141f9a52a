// Hand-filled content of a side's frames, as a rover hears a base: what the
// Stream Content model and window tests read, each case changing what it is
// about.
#pragma once

#include <array>
#include <initializer_list>

#include "stats/content_snapshot.h"

namespace TolvarRT::testing {

inline sAgeFigures AgesOf(std::uint32_t key, const char* name, std::initializer_list<double> ages,
                          std::uint64_t clockFaults = 0)
{
    sAgeFigures figures;
    figures.key = key;
    figures.name = name;
    for (double age : ages) {
        figures.ages.Add(age);
        figures.sumS += age;
    }
    figures.clockFaults = clockFaults;
    return figures;
}

// counts: seen, complete, incomplete, lost.
inline sEpochFigures EpochsOf(std::uint16_t stationId, Gnss gnss, double intervalS, std::array<std::uint64_t, 4> counts)
{
    sEpochFigures figures;
    figures.stationId = stationId;
    figures.gnss = gnss;
    figures.intervalS = intervalS;
    figures.seen = counts[0];
    figures.complete = counts[1];
    figures.incomplete = counts[2];
    figures.lost = counts[3];
    return figures;
}

// A base in Zurich with its full records, on a synchronised host.
inline sStationFigures ZurichBase()
{
    sStationFigures station;
    station.stationId = 2201;
    station.frames = 240;
    station.hasReferencePoint = true;
    station.x = 4279227.8889;
    station.y = 642719.2345;
    station.z = 4670540.9690;
    station.latitude = 47.3769;
    station.longitude = 8.5417;
    station.ellipsoidHeight = 408.123;
    station.hasAntennaHeight = true;
    station.antennaHeight = 1.5;
    station.antenna = "TRM59800.00     SCIS";
    station.antennaSerial = "5436354321";
    station.receiver = "BASE RX 5";
    station.firmware = "6.12";
    station.receiverSerial = "RX0042";
    station.baselineM = 1234.56;
    return station;
}

inline sContentSnapshot RoverContent()
{
    sContentSnapshot content;
    content.ages.push_back(AgesOf(0x31074, "RTCM v3 Type 1074", {0.5, 0.7, 0.9}));
    content.ages.push_back(AgesOf(0x31084, "RTCM v3 Type 1084", {0.6, 0.8}, 2));
    content.epochs.push_back(EpochsOf(2201, Gnss::GPS, 1.0, {60, 57, 2, 1}));
    content.epochs.push_back(EpochsOf(2201, Gnss::GLONASS, 0.0, {3, 3, 0, 0}));  // its interval not yet learned
    sSatelliteFigures satellites;
    satellites.gnss = Gnss::GPS;
    satellites.epochs = 60;
    satellites.satellitesMean = 9.25;
    satellites.satellitesMin = 8;
    satellites.satellitesMax = 11;
    satellites.signalsMean = 2.0;
    satellites.cellsMean = 17.5;
    content.satellites.push_back(satellites);
    content.stations.push_back(ZurichBase());
    content.clock.host.known = true;
    content.clock.host.synchronised = true;
    content.clock.host.estimatedErrorS = 0.002;
    return content;
}

}  // namespace TolvarRT::testing
