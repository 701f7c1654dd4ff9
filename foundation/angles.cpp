// Angle conversions between packed degrees-minutes-seconds (DD.MMSS), decimal degrees and
// radians. modf keeps the sign on both parts, so negative angles convert symmetrically.
#include <cmath>

#include <vorm/strings.h>

namespace {

constexpr double kPi = 3.141592653589793;
// In hundredths of a packed minute: 1e-6 seconds.
constexpr double kWholeMinuteTolerance = 1e-8;

}  // namespace

double VormDmsToDegrees(double dms) {
  double degrees = 0;
  const double fraction = std::modf(dms, &degrees);
  double minutes = 0;
  double rest = std::modf(fraction * 100, &minutes);
  // Most decimal fractions are stored a hair off their value: 45.15 (45 degrees 15
  // minutes) is 45.1499999..., whose digits read as 14 minutes and 99.99... seconds, 40
  // seconds too much. A rest that close to a whole minute is that error, not seconds.
  if (std::fabs(rest) > 1 - kWholeMinuteTolerance) {
    const double step = rest > 0 ? 1.0 : -1.0;
    minutes += step;
    rest -= step;
  }
  const double seconds = rest * 100;
  return (seconds / 60 + minutes) / 60 + degrees;
}

double VormDegreesToDms(double value) {
  double degrees = 0;
  const double fraction = std::modf(value, &degrees);
  double minutes = 0;
  double seconds = std::modf(fraction * 60, &minutes) * 60;
  // The same storage error the other way: 1 + 1/60 degrees gives 0 minutes and 59.99999...
  // seconds. Seconds that close to a whole minute carry into the minutes (and on into the
  // degrees), so the packed value reads 1.0100, not 1.0060.
  constexpr double kWholeMinuteSeconds = 60 - 1e-6;
  if (std::fabs(seconds) > kWholeMinuteSeconds) {
    const double step = seconds > 0 ? 1.0 : -1.0;
    minutes += step;
    seconds = 0;
    if (std::fabs(minutes) >= 60) {
      degrees += step;
      minutes = 0;
    }
  }
  return degrees + minutes / 100 + seconds / 10000;
}

double VormDegreesToRadians(double degrees) { return kPi * degrees / 180; }

double VormRadiansToDegrees(double radians) { return radians * 180 / kPi; }

double VormDmsToRadians(double dms) { return VormDegreesToRadians(VormDmsToDegrees(dms)); }

double VormRadiansToDms(double radians) { return VormDegreesToDms(VormRadiansToDegrees(radians)); }
