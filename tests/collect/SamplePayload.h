// A station's measurement message as the publisher's own code writes it,
// for the archive's tests and benchmark.
#pragma once

#include <cstdint>
#include <string>

#include "live/LiveSnapshot.h"

namespace quorvel::archive::test {

inline std::string SamplePayload(const std::string& station = "north",
                                 std::int64_t utcMs = 1777795200000) {
  TLiveSnapshot s;
  s.station = station;
  s.latitudeDeg = 45.5;
  s.longitudeEastDeg = -3.25;
  s.altitudeM = 1200;
  TLiveMeasurement m;
  m.utcMs = utcMs;
  m.julianDay = static_cast<double>(utcMs) / 86400000.0 + 2440587.5;
  m.signalMv = 812.4;
  m.seeingArcsec = 1.52;
  m.r0Mm = 67.1;
  m.sunAzimuthDeg = 140.221;
  m.sunElevationDeg = 48.117;
  m.seeingZenithArcsec = 1.21;
  m.r0ZenithMm = 88.0;
  s.measurement = m;
  return MeasurementJson(s);
}

}  // namespace quorvel::archive::test
