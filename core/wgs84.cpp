// Geodetic coordinates from ECEF by fixed-point iteration on the latitude:
// tan(lat) = (z + e2 N sin(lat)) / p shrinks the error by about e2 (1/150)
// per round, so a handful of rounds reach the limit of a double, and unlike
// the closed forms it needs no special case at the poles or the equator.
#include "core/wgs84.h"

#include <cmath>
#include <numbers>

namespace TolvarRT {
namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;
constexpr int kMaxRounds = 12;
constexpr double kSettledRad = 1e-14;  // 0.06 um on the ground

// The radius of curvature in the prime vertical at a latitude.
double PrimeVerticalRadius(double sinLatitude)
{
    return kWgs84A / std::sqrt(1.0 - kWgs84E2 * sinLatitude * sinLatitude);
}

}  // namespace

sGeodetic EcefToGeodetic(const sEcef& point)
{
    const double p = std::hypot(point.x, point.y);
    // Bowring's first guess: the latitude of a point on the ellipsoid.
    double latitude = std::atan2(point.z, p * (1.0 - kWgs84E2));
    for (int round = 0; round < kMaxRounds; ++round) {
        const double sinLatitude = std::sin(latitude);
        const double next = std::atan2(point.z + kWgs84E2 * PrimeVerticalRadius(sinLatitude) * sinLatitude, p);
        const bool settled = std::fabs(next - latitude) < kSettledRad;
        latitude = next;
        if (settled)
            break;
    }
    const double sinLatitude = std::sin(latitude);
    const double cosLatitude = std::cos(latitude);
    sGeodetic geodetic;
    geodetic.latitude = latitude * kDegrees;
    // On the polar axis the longitude is any; 0 by convention.
    geodetic.longitude = p == 0.0 ? 0.0 : std::atan2(point.y, point.x) * kDegrees;
    if (geodetic.longitude == -180.0)
        geodetic.longitude = 180.0;
    // Along the normal, well conditioned at every latitude (p / cos(lat) - N
    // is not near the poles).
    geodetic.height =
        p * cosLatitude + point.z * sinLatitude - kWgs84A * std::sqrt(1.0 - kWgs84E2 * sinLatitude * sinLatitude);
    return geodetic;
}

sEcef GeodeticToEcef(const sGeodetic& point)
{
    const double latitude = point.latitude / kDegrees;
    const double longitude = point.longitude / kDegrees;
    const double sinLatitude = std::sin(latitude);
    const double cosLatitude = std::cos(latitude);
    const double n = PrimeVerticalRadius(sinLatitude);
    sEcef ecef;
    ecef.x = (n + point.height) * cosLatitude * std::cos(longitude);
    ecef.y = (n + point.height) * cosLatitude * std::sin(longitude);
    ecef.z = (n * (1.0 - kWgs84E2) + point.height) * sinLatitude;
    return ecef;
}

double DistanceM(const sEcef& from, const sEcef& to)
{
    return std::hypot(to.x - from.x, to.y - from.y, to.z - from.z);
}

}  // namespace TolvarRT
