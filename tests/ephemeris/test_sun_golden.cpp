// The Sun position pinned bit for bit: azimuth and elevation of
// calcul_SUN_AZ_Elevation and the whole records of GetEphemSunAt and
// GetEphemSunBasic, for the astropy table's instants, a table of edge cases
// and 10 000 random instants and sites. The expected bits are in
// data/sun_golden.txt; a change of any result, however small, fails here and
// names the instant. A deliberate change of the arithmetic regenerates the file:
//
//   QUORVEL_SUN_GOLDEN_WRITE=tests/ephemeris/data/sun_golden.txt
//       build/default/tests/ephemeris/test_ephemeris_golden   (one command line)
//
// The bits are those of this platform's libm (Debian 12, glibc 2.36, x86-64
// with FMA, where glibc takes its FMA variants of sin and cos); another libm
// or CPU may round a sine or an arctangent differently in the last bit. The
// second test, the azimuth and elevation against the full record, holds on
// any platform.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "MessageCapture.h"
#include "common/DateTime.h"
#include "common/Errors.h"
#include "common/Format.h"
#include "common/UtcText.h"
#include "ephemeris/Calendar.h"
#include "ephemeris/SunPosition.h"

namespace quorvel::ephem {
namespace {

constexpr const char* kGoldenFile = QUORVEL_EPHEMERIS_DATA "/sun_golden.txt";
constexpr int kRandomCases = 10000;
constexpr int kBlock = 100;
constexpr std::uint64_t kSeed = 20261210;

struct Case {
  std::string name;
  TDateTime t;
  double longitudeWest;  // radians, as the engine takes it
  double latitude;       // radians
  double altitudeM;
};

std::string Describe(const Case& c) {
  std::ostringstream s;
  s.precision(17);
  s << c.name << ": t " << c.t;
  if (std::isfinite(c.t) && std::fabs(c.t) < 3e6) s << " (" << FormatUtcText(c.t) << " UTC)";
  s << ", lat " << c.latitude * kRadToDeg << " deg, lon " << -c.longitudeWest * kRadToDeg
    << " deg E, alt " << c.altitudeM << " m";
  return s.str();
}

// Uniform in [0, 1) from the 53 high bits: the same sequence on every
// standard library (uniform_real_distribution is not specified that far).
class Uniform {
 public:
  explicit Uniform(std::uint64_t seed) : gen_(seed) {}
  double operator()() { return static_cast<double>(gen_() >> 11) * 0x1.0p-53; }

 private:
  std::mt19937_64 gen_;
};

// Instants over 1900-2100, sites anywhere, altitudes 0 to 5000 m.
std::vector<Case> RandomCases() {
  const TDateTime first = EncodeDate(1900, 1, 1);
  const TDateTime end = EncodeDate(2101, 1, 1);
  Uniform u(kSeed);
  std::vector<Case> cases;
  for (int i = 0; i < kRandomCases; ++i) {
    const double t = first + (end - first) * u();
    const double latDeg = -90.0 + 180.0 * u();
    const double lonDeg = -180.0 + 360.0 * u();
    const double alt = 5000.0 * u();
    cases.push_back(
        {"random " + std::to_string(i), t, -lonDeg * kDegToRad, latDeg * kDegToRad, alt});
  }
  return cases;
}

// The date-time value whose Julian day is jd (on the millisecond).
TDateTime AtJulianDay(double jd) {
  const double v = jd - 2415018.5;
  const double day = std::floor(v);
  return ComposeDateTime(day, v - day);
}

std::vector<Case> EdgeCases() {
  const double lon35E = -3.5 * kDegToRad;
  const double nan = std::nan("");
  std::vector<Case> cases = {
      {"reference", 45371.5, lon35E, 45.5 * kDegToRad, 0},
      {"year 1", ComposeDateTime(EncodeDate(1, 1, 1), 0.5), lon35E, 45.5 * kDegToRad, 0},
      {"last millisecond of 9999", EncodeDateTime(9999, 12, 31, 23, 59, 59, 999), lon35E,
       45.5 * kDegToRad, 0},
      {"J2000", 36526.5, lon35E, 45.5 * kDegToRad, 0},
      {"two centuries before J2000", AtJulianDay(2378495.0), lon35E, 45.5 * kDegToRad, 0},
      {"two centuries after J2000", AtJulianDay(2524595.0), lon35E, 45.5 * kDegToRad, 0},
      {"1750", EncodeDateTime(1750, 6, 21, 12, 0, 0, 0), lon35E, 45.5 * kDegToRad, 0},
      {"2250", EncodeDateTime(2250, 6, 21, 12, 0, 0, 0), lon35E, 45.5 * kDegToRad, 0},
      {"1899-12-30 06:00", -0.25, lon35E, 45.5 * kDegToRad, 0},
      {"1899-12-29 18:00", -1.75, lon35E, 45.5 * kDegToRad, 0},
      {"float just before midnight", 45370.99999999999, lon35E, 45.5 * kDegToRad, 0},
      {"north pole", 45464.5, 0.0, kPi / 2, 0},
      {"south pole", 45464.5, 0.0, -kPi / 2, 0},
      {"antimeridian", 45371.5, kPi, 0.0, 0},
      {"below sea level", 45371.5, -35.5 * kDegToRad, 31.5 * kDegToRad, -430},
      {"a million metres up", 45371.5, lon35E, 45.5 * kDegToRad, 1e6},
      {"absurd altitude", 45371.5, lon35E, 45.5 * kDegToRad, 1e300},
      {"latitude NaN", 45371.5, lon35E, nan, 0},
      {"longitude NaN", 45371.5, nan, 45.5 * kDegToRad, 0},
      {"altitude NaN", 45371.5, lon35E, 45.5 * kDegToRad, nan},
  };
  // Successive seconds at one site, as the acquisition cycle asks.
  for (int s = 1; s <= 5; ++s)
    cases.push_back({"reference + " + std::to_string(s) + " s", 45371.5 + s / 86400.0, lon35E,
                     45.5 * kDegToRad, 0});
  // Day, night, polar day and an old date at four latitudes.
  for (double t : {45371.5, 45371.0, 45464.5, -30000.25})
    for (double lat : {45.5, -33.9, 78.0, 0.0})
      cases.push_back({"t " + FormatGeneral(t) + " lat " + FormatGeneral(lat), t, lon35E,
                       lat * kDegToRad, 100.0});
  return cases;
}

// The astropy table's instants and sites, as the cross-check reads them.
std::vector<Case> ReferenceCases() {
  std::ifstream file(QUORVEL_EPHEMERIS_DATA "/sun_reference.csv");
  std::vector<Case> cases;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#' || line.rfind("utc", 0) == 0) continue;
    std::stringstream ss(line);
    std::string f[4];
    for (auto& field : f) std::getline(ss, field, ',');
    const double lat = ParseFloat(f[1]).value_or(NAN);
    const double lon = ParseFloat(f[2]).value_or(NAN);
    const double alt = ParseFloat(f[3]).value_or(NAN);
    cases.push_back({f[0], ParseUtcText(f[0]), -lon * kDegToRad, lat * kDegToRad, alt});
  }
  return cases;
}

std::uint64_t Bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

std::string Hex(std::uint64_t v, int digits = 16) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s(static_cast<std::size_t>(digits), '0');
  for (int k = digits - 1; k >= 0; --k, v >>= 4) s[static_cast<std::size_t>(k)] = kDigits[v & 15];
  return s;
}

// FNV-1a over the little-endian bytes of each value.
class Fnv {
 public:
  void Add(std::uint64_t v, int bytes = 8) {
    for (int k = 0; k < bytes; ++k, v >>= 8) {
      h_ ^= v & 0xff;
      h_ *= 0x100000001b3ULL;
    }
  }
  void Add(double v) { Add(Bits(v)); }
  std::uint64_t Value() const { return h_; }

 private:
  std::uint64_t h_ = 0xcbf29ce484222325ULL;
};

void AddRecord(Fnv& h, const TPlanetparamsOUT& r) {
  for (double v : {r.Julian_Day,
                   r.Apparent_longitude,
                   r.True_geocentric_distance,
                   r.equatorial_diameter,
                   r.approx_visual_magnitude,
                   r.ElongationObjet_Sun_From_Earth,
                   r.Illumination,
                   r.Angle_Phase,
                   r.Geocentric_ra,
                   r.Geocentric_dec,
                   r.Local_apparent_sidereal_time,
                   r.Atmospheric_refraction,
                   r.Atmospheric_refraction_ra,
                   r.Atmospheric_refraction_dc,
                   r.Topocentric_Altitude,
                   r.Topocentric_Azimuth,
                   r.Topocentric_RA_Now,
                   r.Topocentric_Dec_now,
                   r.Topocentric_RA_2000,
                   r.Topocentric_DEC_2000,
                   r.Topocentric_RA_2000_norefract,
                   r.Topocentric_DEC_2000_norefract,
                   r.approx_local_meridian_transit,
                   r.rises_approx,
                   r.sets_approx})
    h.Add(v);
  h.Add(r.rises_set_Id, 2);
  h.Add(r.Speed_RA);
  h.Add(r.Speed_DEC);
}

// What is pinned for one instant: the two outputs and a hash of the records.
struct Result {
  std::uint64_t az = 0, elv = 0;
  std::uint64_t records = 0;  // GetEphemSunAt then GetEphemSunBasic
};

Result Compute(const Case& c) {
  Result r;
  double az = 0, elv = 0;
  calcul_SUN_AZ_Elevation(c.t, c.longitudeWest, c.latitude, c.altitudeM, az, elv);
  r.az = Bits(az);
  r.elv = Bits(elv);
  Fnv h;
  AddRecord(h, GetEphemSunAt(c.t, c.longitudeWest, c.latitude, c.altitudeM));
  // The hour-later evaluation of the last hour of 9999 is out of range.
  if (c.t < EncodeDateTime(9999, 12, 31, 23, 0, 0, 0))
    AddRecord(h, GetEphemSunBasic(c.t, c.longitudeWest, c.latitude, c.altitudeM));
  r.records = h.Value();
  return r;
}

// A 32-bit tag of an instant's azimuth and elevation, enough to name the
// instant that changed while keeping the fixture small.
std::uint64_t Tag(const Result& r) {
  Fnv h;
  h.Add(r.az);
  h.Add(r.elv);
  return (h.Value() >> 32) ^ (h.Value() & 0xffffffffULL);
}

// Fixture lines:
//   case <index> <az> <elv> <records>        astropy and edge instants, in full
//   block <first> <records> <tag> x 100      random instants, 100 per line
void WriteGolden(std::ostream& out) {
  out << "# Bits of the Sun position (tests/ephemeris/test_sun_golden.cpp).\n"
         "# case <n> <az> <elv> <hash of the records>: the astropy table's instants, then "
         "the edge cases.\n"
         "# block <first> <hash of the records> <32-bit tag of az and elv per instant>: "
         "random instants, seed "
      << kSeed << ".\n";
  std::vector<Case> fixed = ReferenceCases();
  for (const Case& c : EdgeCases()) fixed.push_back(c);
  for (std::size_t i = 0; i < fixed.size(); ++i) {
    const Result r = Compute(fixed[i]);
    out << "case " << i << ' ' << Hex(r.az) << ' ' << Hex(r.elv) << ' ' << Hex(r.records) << '\n';
  }
  const std::vector<Case> random = RandomCases();
  for (int first = 0; first < kRandomCases; first += kBlock) {
    Fnv records;
    std::string tags;
    for (int i = first; i < first + kBlock; ++i) {
      const Result r = Compute(random[static_cast<std::size_t>(i)]);
      records.Add(r.records);
      tags += ' ' + Hex(Tag(r), 8);
    }
    out << "block " << first << ' ' << Hex(records.Value()) << tags << '\n';
  }
}

struct Golden {
  std::map<int, std::vector<std::string>> cases;   // index -> az, elv, records
  std::map<int, std::vector<std::string>> blocks;  // first -> records, tags...
};

Golden ReadGolden(const std::string& path) {
  std::ifstream file(path);
  Golden g;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    std::string kind;
    int index = -1;
    s >> kind >> index;
    std::vector<std::string> fields;
    for (std::string f; s >> f;) fields.push_back(f);
    (kind == "case" ? g.cases : g.blocks)[index] = fields;
  }
  return g;
}

TEST(SunGolden, ResultsKeepTheirBits) {
  MessageCapture capture;  // a root-finder failure would be part of the result
  if (const char* out = std::getenv("QUORVEL_SUN_GOLDEN_WRITE")) {
    std::ofstream file(out);
    WriteGolden(file);
    ASSERT_TRUE(file.good()) << out;
  }
  const Golden g = ReadGolden(kGoldenFile);

  std::vector<Case> fixed = ReferenceCases();
  ASSERT_EQ(fixed.size(), 54u);
  for (const Case& c : EdgeCases()) fixed.push_back(c);
  ASSERT_EQ(g.cases.size(), fixed.size()) << kGoldenFile;
  for (std::size_t i = 0; i < fixed.size(); ++i) {
    const Result r = Compute(fixed[i]);
    const std::vector<std::string>& want = g.cases.at(static_cast<int>(i));
    ASSERT_EQ(want.size(), 3u);
    EXPECT_EQ(Hex(r.az), want[0]) << "azimuth of case " << i << ", " << Describe(fixed[i]);
    EXPECT_EQ(Hex(r.elv), want[1]) << "elevation of case " << i << ", " << Describe(fixed[i]);
    EXPECT_EQ(Hex(r.records), want[2]) << "records of case " << i << ", " << Describe(fixed[i]);
  }

  const std::vector<Case> random = RandomCases();
  ASSERT_EQ(g.blocks.size(), static_cast<std::size_t>(kRandomCases / kBlock));
  int changed = 0;
  for (int first = 0; first < kRandomCases; first += kBlock) {
    const std::vector<std::string>& want = g.blocks.at(first);
    ASSERT_EQ(want.size(), static_cast<std::size_t>(1 + kBlock)) << "block " << first;
    Fnv records;
    for (int i = first; i < first + kBlock; ++i) {
      const Case& c = random[static_cast<std::size_t>(i)];
      const Result r = Compute(c);
      records.Add(r.records);
      if (Hex(Tag(r), 8) != want[static_cast<std::size_t>(1 + i - first)] && ++changed <= 20)
        ADD_FAILURE() << "azimuth or elevation changed, " << Describe(c) << ": now az " << Hex(r.az)
                      << " elv " << Hex(r.elv);
    }
    EXPECT_EQ(Hex(records.Value()), want[0])
        << "a record of random instants " << first << " to " << first + kBlock - 1 << " changed";
  }
  EXPECT_EQ(changed, 0) << "random instants whose azimuth or elevation changed";
  EXPECT_TRUE(capture.errors.empty());
}

// Platform-independent: the azimuth and elevation are those of the full
// record, bit for bit, and a root-finder failure is reported the same way.
TEST(SunGolden, AzimuthAndElevationAreThoseOfTheFullRecord) {
  std::vector<Case> all = ReferenceCases();
  for (const Case& c : EdgeCases()) all.push_back(c);
  for (const Case& c : RandomCases()) all.push_back(c);
  int failures = 0;
  for (const Case& c : all) {
    MessageCapture fast;
    double az = 0, elv = 0;
    calcul_SUN_AZ_Elevation(c.t, c.longitudeWest, c.latitude, c.altitudeM, az, elv);
    const std::vector<std::string> fastErrors = fast.errors;
    fast.errors.clear();
    const TPlanetparamsOUT full = GetEphemSunAt(c.t, c.longitudeWest, c.latitude, c.altitudeM);
    if ((Bits(az) != Bits(full.Topocentric_Azimuth) ||
         Bits(elv) != Bits(full.Topocentric_Altitude) || fastErrors != fast.errors) &&
        ++failures <= 20)
      ADD_FAILURE() << Describe(c) << ": az " << Hex(Bits(az)) << " elv " << Hex(Bits(elv))
                    << ", record " << Hex(Bits(full.Topocentric_Azimuth)) << ' '
                    << Hex(Bits(full.Topocentric_Altitude));
  }
  EXPECT_EQ(failures, 0);
}

// Instants without a year in range raise the same error on both paths.
TEST(SunGolden, OutOfRangeInstantsRaiseOnBothPaths) {
  const double lat = 45.5 * kDegToRad, lon = -3.5 * kDegToRad;
  for (TDateTime t : {-693594.0 - 10, 2958466.0, std::nan(""), HUGE_VAL, -HUGE_VAL, 1e8, -1e8}) {
    double az = 1, elv = 1;
    std::string fast, full;
    try {
      calcul_SUN_AZ_Elevation(t, lon, lat, 0, az, elv);
    } catch (const EConvertError& e) {
      fast = e.what();
    }
    try {
      GetEphemSunAt(t, lon, lat, 0);
    } catch (const EConvertError& e) {
      full = e.what();
    }
    EXPECT_EQ(fast,
              "Error, conversion Julian <-> date, current date must be between 1.0 et 9999.0 !")
        << t;
    EXPECT_EQ(fast, full) << t;
    EXPECT_EQ(az, 1.0);  // outputs untouched
    EXPECT_EQ(elv, 1.0);
  }
}

}  // namespace
}  // namespace quorvel::ephem
