// The Stream Content window's texts and rows, from hand-filled snapshots of
// what a side's frames told.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content_snapshots.h"
#include "stats/content_view_model.h"

namespace TolvarRT {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::RoverContent;

using Row = std::vector<std::string>;

// The row of a table whose first cell is first.
Row RowNamed(const sContentTable& table, const std::string& first)
{
    for (const Row& row : table.rows)
        if (!row.empty() && row.front() == first)
            return row;
    return {};
}

sStatsSnapshot RoverOnly(const sContentSnapshot& content = RoverContent())
{
    sStatsSnapshot snapshot;
    snapshot.content = content;
    return snapshot;
}

TEST(ContentViewModelTest, TheHostClockIsDescribedByWhatTheSystemSaid)
{
    struct sCase {
        bool known, synchronised;
        double errorS;
        const char* text;
    };
    const sCase cases[] = {
        {true, true, 0.002, "Host clock synchronised, estimated error 2 ms"},
        {true, true, 0.0004, "Host clock synchronised, estimated error 0.4 ms"},
        {true, true, 1.25, "Host clock synchronised, estimated error 1250 ms"},
        {true, false, 0.002, "Host clock not synchronised: ages may be off by seconds"},
        {false, true, 0.002, "Host clock state unknown"},
    };
    for (const sCase& c : cases) {
        sHostClockState host;
        host.known = c.known;
        host.synchronised = c.synchronised;
        host.estimatedErrorS = c.errorS;
        EXPECT_EQ(HostClockText(host), c.text) << c.text;
    }
}

TEST(ContentViewModelTest, ARoverWithNoSourceShowsItsOwnSideOnly)
{
    const sContentView view = ContentViewOf(RoverOnly());
    EXPECT_THAT(view.clock, ElementsAre("Host clock synchronised, estimated error 2 ms"));
    ASSERT_EQ(view.sides.size(), 1u);
    EXPECT_EQ(view.sides[0].title, "Listener");
    EXPECT_THAT(view.sides[0].notes, IsEmpty());
}

TEST(ContentViewModelTest, AgesPerTypeAndAllTypesTogether)
{
    const sContentTable ages = ContentViewOf(RoverOnly()).sides[0].ages;
    EXPECT_THAT(ages.headers, ElementsAre("Frame Type", "Mean", "Median", "95%", "Max", "Count", "Clock Faults"));
    ASSERT_EQ(ages.rows.size(), 3u);
    // Histogram figures are within 1 % of a sample: 0.700 reads as one of 0.69x..0.70x.
    const Row first = RowNamed(ages, "RTCM v3 Type 1074");
    ASSERT_EQ(first.size(), 7u);
    EXPECT_EQ(first[1], "0.700");
    EXPECT_THAT(first[2], ::testing::MatchesRegex("0\\.69[0-9]|0\\.70[0-9]"));
    EXPECT_EQ(first[4], "0.900");
    EXPECT_EQ(first[5], "3");
    EXPECT_EQ(first[6], "0");
    const Row all = RowNamed(ages, "All Types");
    ASSERT_EQ(all.size(), 7u);
    EXPECT_EQ(all[1], "0.700") << "the mean of all five ages";
    EXPECT_EQ(all[4], "0.900");
    EXPECT_EQ(all[5], "5");
    EXPECT_EQ(all[6], "2") << "clock faults of every type";
}

TEST(ContentViewModelTest, ATypeWhoseEveryAgeWasAClockFaultShowsNoFigures)
{
    sContentSnapshot content = RoverContent();
    content.ages.resize(1);
    content.ages[0] = testing::AgesOf(0x31077, "RTCM v3 Type 1077", {}, 12);
    const sContentTable ages = ContentViewOf(RoverOnly(content)).sides[0].ages;
    ASSERT_EQ(ages.rows.size(), 1u) << "no all-types row for one type";
    EXPECT_THAT(ages.rows[0], ElementsAre("RTCM v3 Type 1077", "n/a", "n/a", "n/a", "n/a", "0", "12"));
}

TEST(ContentViewModelTest, EpochsAndSatellitesRowPerStationAndGnss)
{
    const sContentSide side = ContentViewOf(RoverOnly()).sides[0];
    EXPECT_THAT(side.epochs.headers,
                ElementsAre("Station", "GNSS", "Interval (s)", "Seen", "Complete", "Incomplete", "Lost"));
    ASSERT_EQ(side.epochs.rows.size(), 2u);
    EXPECT_THAT(side.epochs.rows[0], ElementsAre("2201", "GPS", "1", "60", "57", "2", "1"));
    EXPECT_THAT(side.epochs.rows[1], ElementsAre("2201", "GLONASS", "n/a", "3", "3", "0", "0"))
        << "an interval not yet learned";
    ASSERT_EQ(side.satellites.rows.size(), 1u);
    EXPECT_THAT(side.satellites.rows[0], ElementsAre("GPS", "60", "9.2", "8", "11", "2.0", "17.5"));
}

TEST(ContentViewModelTest, NonMsmSatellitesHaveNoSignalsOrCells)
{
    sContentSnapshot content = RoverContent();
    content.satellites[0].gnss = Gnss::GLONASS;
    content.satellites[0].signalsMean = 0.0;
    content.satellites[0].cellsMean = 0.0;
    const Row row = ContentViewOf(RoverOnly(content)).sides[0].satellites.rows.at(0);
    EXPECT_THAT(row, ElementsAre("GLONASS", "60", "9.2", "8", "11", "n/a", "n/a"));
}

TEST(ContentViewModelTest, AStationIsAColumnOfItsFields)
{
    const sContentTable stations = ContentViewOf(RoverOnly()).sides[0].stations;
    EXPECT_EQ(stations.title, "Base Station");
    EXPECT_THAT(stations.headers, ElementsAre("", "Station 2201"));
    const std::vector<Row> expected = {
        {"Frames", "240"},
        {"Latitude", "47.37690000\u00b0 N"},
        {"Longitude", "8.54170000\u00b0 E"},
        {"Ellipsoid Height", "408.123 m"},
        {"ECEF X", "4279227.8889 m"},
        {"ECEF Y", "642719.2345 m"},
        {"ECEF Z", "4670540.9690 m"},
        {"Antenna Height", "1.5000 m"},
        {"Antenna", "TRM59800.00     SCIS"},
        {"Antenna Serial", "5436354321"},
        {"Receiver", "BASE RX 5"},
        {"Receiver Serial", "RX0042"},
        {"Firmware", "6.12"},
        {"Baseline", "1234.6 m"},
    };
    EXPECT_EQ(stations.rows, expected);
}

TEST(ContentViewModelTest, StationFieldsNotYetSeenAndOtherHemispheres)
{
    sStationFigures south;
    south.stationId = 7;
    south.frames = 3;
    south.hasReferencePoint = true;
    south.latitude = -33.8688;
    south.longitude = -70.5;
    south.setupId = 2;
    south.antenna = "ADVNULLANTENNA";
    south.baselineM = 25400.0;
    sStationFigures bare;
    bare.stationId = 9;
    struct sCase {
        sStationFigures station;
        const char* field;
        const char* shown;
    };
    const sCase cases[] = {
        {south, "Latitude", "33.86880000\u00b0 S"},
        {south, "Longitude", "70.50000000\u00b0 W"},
        {south, "Antenna", "ADVNULLANTENNA, setup 2"},
        {south, "Antenna Height", "n/a"},
        {south, "Receiver", "n/a"},
        {south, "Baseline", "25.40 km"},
        {bare, "Latitude", "n/a"},
        {bare, "ECEF Z", "n/a"},
        {bare, "Antenna", "n/a"},
        {bare, "Baseline", "n/a"},
    };
    for (const sCase& c : cases) {
        sContentSnapshot content;
        content.stations.push_back(c.station);
        const Row row = RowNamed(ContentViewOf(RoverOnly(content)).sides[0].stations, c.field);
        EXPECT_THAT(row, ElementsAre(c.field, c.shown)) << c.field;
    }
}

TEST(ContentViewModelTest, MixedStationsAreWarnedOfWithTheirIds)
{
    sContentSnapshot content = RoverContent();
    sStationFigures other = content.stations[0];
    other.stationId = 15;
    content.stations.insert(content.stations.begin(), other);
    content.epochs.push_back(content.epochs[0]);
    content.epochs.back().stationId = 3000;  // observations only, no records
    content.mixedStations = true;
    const sContentSide side = ContentViewOf(RoverOnly(content)).sides[0];
    EXPECT_THAT(side.notes,
                ElementsAre("Warning: observations of 3 stations (15, 2201, 3000) are mixed in this stream"));
    EXPECT_EQ(side.stations.title, "Base Stations");
    EXPECT_THAT(side.stations.headers, ElementsAre("", "Station 15", "Station 2201"));
}

TEST(ContentViewModelTest, AMixJudgedFromOneKnownStationIsStillWarnedOf)
{
    sContentSnapshot content = RoverContent();
    content.mixedStations = true;
    EXPECT_THAT(ContentViewOf(RoverOnly(content)).sides[0].notes,
                ElementsAre("Warning: observations of more than one station are mixed in this stream"));
}

TEST(ContentViewModelTest, EmptyContentSaysSoAndHasNoRows)
{
    const sContentView view = ContentViewOf(RoverOnly(sContentSnapshot()));
    EXPECT_THAT(view.clock, ElementsAre("Host clock state unknown"));
    ASSERT_EQ(view.sides.size(), 1u);
    const sContentSide& side = view.sides[0];
    EXPECT_THAT(side.notes, ElementsAre("No frames with epochs or station records yet"));
    for (const sContentTable* table : {&side.stations, &side.ages, &side.epochs, &side.satellites})
        EXPECT_THAT(table->rows, IsEmpty()) << table->title;
}

TEST(ContentViewModelTest, ASourceSideFollowsAndLendsItsClockToAnEmptyListener)
{
    sStatsSnapshot snapshot;
    snapshot.hasSource = true;
    snapshot.sourceContent = RoverContent();
    snapshot.sourceContent.clock.host.synchronised = false;
    const sContentView view = ContentViewOf(snapshot);
    ASSERT_EQ(view.sides.size(), 2u);
    EXPECT_EQ(view.sides[1].title, "Source");
    EXPECT_EQ(view.sides[1].epochs.rows.size(), 2u);
    EXPECT_THAT(view.clock, ElementsAre("Host clock not synchronised: ages may be off by seconds"));
}

TEST(ContentViewModelTest, LeapSecondAndNoAgesProblemsAreSpelledOut)
{
    sContentSnapshot content = RoverContent();
    content.clock.leapSecondsProblem = "no leap-seconds.list at /usr/share/zoneinfo/leap-seconds.list";
    content.clock.noAgesReason = "the epochs do not follow the clock";
    const sContentView view = ContentViewOf(RoverOnly(content));
    EXPECT_THAT(view.clock,
                ElementsAre("Host clock synchronised, estimated error 2 ms",
                            "GPS - UTC taken as 18 s: no leap-seconds.list at /usr/share/zoneinfo/leap-seconds.list"));
    EXPECT_THAT(view.sides[0].notes, ElementsAre("No ages: the epochs do not follow the clock"));
}

TEST(ContentViewModelTest, TheModelKeepsTheLastRefreshsView)
{
    CContentViewModel model;
    EXPECT_THAT(model.View().sides, IsEmpty()) << "nothing before the first refresh";
    model.Refresh(RoverOnly());
    EXPECT_EQ(model.View().sides.at(0).epochs.rows.size(), 2u);
    model.Refresh(RoverOnly(sContentSnapshot()));
    EXPECT_THAT(model.View().sides.at(0).epochs.rows, IsEmpty());
}

}  // namespace
}  // namespace TolvarRT
