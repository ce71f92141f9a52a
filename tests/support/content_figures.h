// Hand-filled stream content for the tests of what prints it: a base station
// as an RTCM v3 stream describes it, with a setup id and a quote in its
// receiver's name for the escaping, its ages, epochs and satellites.
#pragma once

#include <initializer_list>

#include "content_snapshots.h"
#include "stats/content_snapshot.h"
#include "stats/packet_stats.h"

namespace TolvarRT::testing {

// Station 2003 on a synchronised host: 1077 and 1087 ages, GPS and GLONASS
// epochs, the reference point, antenna and receiver records.
inline sContentSnapshot BaseStationContent()
{
    sContentSnapshot content;
    content.ages.push_back(AgesOf(FrameKey(kFrameClassRTCM3, 1077), "RTCM v3 Type 1077", {0.5, 0.7, 0.9, 1.1}));
    content.ages.push_back(AgesOf(FrameKey(kFrameClassRTCM3, 1087), "RTCM v3 Type 1087", {0.6}, 2));
    sEpochFigures gps;
    gps.stationId = 2003;
    gps.gnss = Gnss::GPS;
    gps.intervalS = 1.0;
    gps.seen = 60;
    gps.complete = 57;
    gps.incomplete = 1;
    gps.lost = 2;
    sEpochFigures glonass = gps;
    glonass.gnss = Gnss::GLONASS;
    glonass.intervalS = 0.0;
    glonass.lost = 0;
    content.epochs = {gps, glonass};
    sSatelliteFigures satellites;
    satellites.gnss = Gnss::GPS;
    satellites.epochs = 60;
    satellites.satellitesMean = 9.5;
    satellites.satellitesMin = 8;
    satellites.satellitesMax = 11;
    satellites.signalsMean = 2.0;
    satellites.cellsMean = 18.25;
    content.satellites = {satellites};
    sStationFigures station;
    station.stationId = 2003;
    station.frames = 12;
    station.hasReferencePoint = true;
    station.x = 3855263.2131;
    station.y = 1089013.1302;
    station.z = 4943963.3406;
    station.latitude = 51.1234567891;
    station.longitude = 15.7654321;
    station.ellipsoidHeight = 212.345;
    station.hasAntennaHeight = true;
    station.antennaHeight = 1.5;
    station.antenna = "TRM59800.00     NONE";
    station.setupId = 3;
    station.antennaSerial = "5000112233";
    station.receiver = "BASE \"RX\" 5";
    station.firmware = "5.45";
    station.receiverSerial = "R-77";
    station.baselineM = 1234.5678;
    content.stations = {station};
    content.clock.host = {true, true, 0.002, 0.150};
    return content;
}

}  // namespace TolvarRT::testing
