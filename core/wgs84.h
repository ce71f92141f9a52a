// The WGS 84 ellipsoid: a base station's reference point, which correction
// frames give in Earth-centred Earth-fixed metres, as latitude, longitude and
// ellipsoidal height, and the straight line from it to a rover.
#pragma once

namespace TolvarRT {

constexpr double kWgs84A = 6378137.0;                   // semi-major axis, m
constexpr double kWgs84F = 1.0 / 298.257223563;         // flattening
constexpr double kWgs84B = kWgs84A * (1.0 - kWgs84F);   // semi-minor axis, m
constexpr double kWgs84E2 = kWgs84F * (2.0 - kWgs84F);  // first eccentricity squared

// Earth-centred Earth-fixed, m.
struct sEcef {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

struct sGeodetic {
    double latitude = 0.0;   // degrees, north positive, -90 .. 90
    double longitude = 0.0;  // degrees, east positive, (-180 .. 180]
    double height = 0.0;     // above the ellipsoid, m
};

// Good to well below a millimetre anywhere more than about 50 km from the
// Earth's centre, where the geodetic coordinates of a point stop being one.
sGeodetic EcefToGeodetic(const sEcef& point);
sEcef GeodeticToEcef(const sGeodetic& point);
// The straight line between two points (not along the surface), m.
double DistanceM(const sEcef& from, const sEcef& to);

}  // namespace TolvarRT
