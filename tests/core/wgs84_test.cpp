// WGS 84 conversions on known points, both ways, and the straight line
// between two points. The reference values were worked out apart from this
// code with Vermeille's closed form (ECEF to geodetic) and checked against
// the textbook forward formula.
#include <gtest/gtest.h>

#include <cmath>

#include "case_name.h"
#include "core/wgs84.h"

namespace TolvarRT {
namespace {

constexpr double kMetre = 0.001;  // good to a millimetre
constexpr double kDegree = 1e-8;  // about a millimetre on the ground
constexpr double kMillimetreAtPole = 1e-6;

struct sPointCase {
    const char* what;
    sGeodetic geodetic;
    sEcef ecef;
};

class Wgs84PointTest : public ::testing::TestWithParam<sPointCase> {};

TEST_P(Wgs84PointTest, EcefToGeodetic)
{
    const sPointCase& c = GetParam();
    const sGeodetic g = EcefToGeodetic(c.ecef);
    EXPECT_NEAR(g.latitude, c.geodetic.latitude, kDegree);
    // At the poles the longitude is any; what matters is the height.
    if (std::fabs(c.geodetic.latitude) < 90.0) {
        EXPECT_NEAR(g.longitude, c.geodetic.longitude, kDegree);
    }
    EXPECT_NEAR(g.height, c.geodetic.height, kMetre);
}

TEST_P(Wgs84PointTest, GeodeticToEcef)
{
    const sPointCase& c = GetParam();
    const sEcef e = GeodeticToEcef(c.geodetic);
    EXPECT_NEAR(e.x, c.ecef.x, kMetre);
    EXPECT_NEAR(e.y, c.ecef.y, kMetre);
    EXPECT_NEAR(e.z, c.ecef.z, kMetre);
}

INSTANTIATE_TEST_SUITE_P(
    Points, Wgs84PointTest,
    ::testing::Values(
        sPointCase{"equator on the prime meridian", {0.0, 0.0, 0.0}, {kWgs84A, 0.0, 0.0}},
        sPointCase{"equator at 90 east", {0.0, 90.0, 0.0}, {0.0, kWgs84A, 0.0}},
        sPointCase{"equator at 90 west", {0.0, -90.0, 25.0}, {0.0, -kWgs84A - 25.0, 0.0}},
        sPointCase{"equator below the sea at 180", {0.0, 180.0, -100.0}, {-kWgs84A + 100.0, 0.0, 0.0}},
        sPointCase{"north pole", {90.0, 0.0, 0.0}, {0.0, 0.0, kWgs84B}},
        sPointCase{"above the north pole", {90.0, 0.0, 1000.0}, {0.0, 0.0, kWgs84B + 1000.0}},
        sPointCase{"south pole", {-90.0, 0.0, -50.0}, {0.0, 0.0, -kWgs84B + 50.0}},
        // The base station of the testglo.rtcm3 capture (its 1005 frames).
        sPointCase{"testglo station",
                   {35.872988846367, 138.389665470644, 1003.859919},
                   {-3869297.5138, 3436571.3345, 3717369.3757}},
        sPointCase{"northern europe", {52.5, 13.4, 34.0}, {3785061.6606, 901728.8813, 5036891.5588}},
        sPointCase{"southern hemisphere", {-33.9, 151.2, 60.0}, {-4643989.6681, 2553054.9248, -3537278.8126}},
        sPointCase{"near the pole", {89.9, -45.0, 1000.0}, {7899.1871, -7899.1871, 6357742.5656}},
        sPointCase{
            "at a satellite's height", {45.0, -120.0, 20200000.0}, {-9400573.9294, -16282271.6660, 18770905.3888}}),
    testing::CaseName<sPointCase>);

TEST(Wgs84Test, RoundTripsEverywhereOnAndAboveTheEarth)
{
    // Whatever the iteration's weak spots, a grid from pole to pole finds them.
    for (double latitude = -90.0; latitude <= 90.0; latitude += 7.5)
        for (double longitude = -165.0; longitude <= 180.0; longitude += 15.0)
            for (double height : {-11000.0, 0.0, 8848.0, 400000.0, 36000000.0}) {
                const sEcef there = GeodeticToEcef({latitude, longitude, height});
                const sGeodetic back = EcefToGeodetic(there);
                EXPECT_LT(DistanceM(GeodeticToEcef(back), there), kMetre / 10)
                    << latitude << " " << longitude << " " << height;
                EXPECT_NEAR(back.latitude, latitude, kDegree);
                EXPECT_NEAR(back.height, height, kMetre / 10);
            }
}

TEST(Wgs84Test, LongitudeStaysInItsRange)
{
    EXPECT_EQ(EcefToGeodetic({-kWgs84A, -0.0, 0.0}).longitude, 180.0);
    EXPECT_EQ(EcefToGeodetic({-kWgs84A, 0.0, 0.0}).longitude, 180.0);
    EXPECT_NEAR(EcefToGeodetic({-kWgs84A, -1e-3, 0.0}).longitude, -180.0, kDegree);
    // The polar axis has no longitude; it reads as 0 rather than whatever the
    // signs of two zeros make of it.
    EXPECT_EQ(EcefToGeodetic({-0.0, -0.0, kWgs84B}).longitude, 0.0);
    EXPECT_NEAR(EcefToGeodetic({0.0, 0.0, -kWgs84B - 3.0}).height, 3.0, kMillimetreAtPole);
}

TEST(Wgs84Test, DistanceIsTheStraightLine)
{
    EXPECT_DOUBLE_EQ(DistanceM({1.0, 2.0, 3.0}, {4.0, 6.0, 15.0}), 13.0);
    EXPECT_DOUBLE_EQ(DistanceM({4.0, 6.0, 15.0}, {1.0, 2.0, 3.0}), 13.0);
    EXPECT_EQ(DistanceM({-3869297.5138, 3436571.3345, 3717369.3757}, {-3869297.5138, 3436571.3345, 3717369.3757}), 0.0);
    // A rover straight above the base, and one on the other side of the Earth.
    const sGeodetic base{35.872988846367, 138.389665470644, 1003.859919};
    EXPECT_NEAR(DistanceM(GeodeticToEcef(base), GeodeticToEcef({base.latitude, base.longitude, 1103.859919})), 100.0,
                1e-6);
    EXPECT_NEAR(DistanceM(GeodeticToEcef({0.0, 0.0, 0.0}), GeodeticToEcef({0.0, 180.0, 0.0})), 2.0 * kWgs84A, kMetre);
}

}  // namespace
}  // namespace TolvarRT
