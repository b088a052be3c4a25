// The plain records that every part of the program passes around: the report
// buffer, the big-endian 4-byte overlays, the instrument's calibration, one
// decoded measurement, the program-wide parameters, the observing site and the
// points of the rolling plot buffers.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/Angles.h"
#include "common/DateTime.h"

namespace quorvel {

// Every exchange with the instrument: byte 0 report ID (0), byte 1 command,
// bytes 2..64 payload.
constexpr std::size_t kReportSize = 65;
using TReportBuffer = std::array<std::uint8_t, kReportSize>;

struct TReport {
  std::uint8_t ReportID = 0;
  std::array<std::uint8_t, 64> Bytes{};
};

// Four bytes seen as an unsigned 32-bit number. as1 is the least significant
// byte, as4 the most significant; the wire is big-endian (as4 first). The
// conversion is arithmetic, so it does not depend on the host's byte order.
struct TUint32 {
  std::uint8_t as1 = 0, as2 = 0, as3 = 0, as4 = 0;

  std::uint32_t Value() const {
    return (std::uint32_t{as4} << 24) | (std::uint32_t{as3} << 16) | (std::uint32_t{as2} << 8) |
           std::uint32_t{as1};
  }
  void SetValue(std::uint32_t v) {
    as1 = static_cast<std::uint8_t>(v);
    as2 = static_cast<std::uint8_t>(v >> 8);
    as3 = static_cast<std::uint8_t>(v >> 16);
    as4 = static_cast<std::uint8_t>(v >> 24);
  }
  // w[0] is the byte at the lowest buffer index.
  static TUint32 FromWire(const std::uint8_t* w) {
    TUint32 t;
    t.as4 = w[0];
    t.as3 = w[1];
    t.as2 = w[2];
    t.as1 = w[3];
    return t;
  }
  void ToWire(std::uint8_t* w) const {
    w[0] = as4;
    w[1] = as3;
    w[2] = as2;
    w[3] = as1;
  }
};

// The same overlay with the 32-bit pattern read as an IEEE 754 float32. The bit
// pattern is kept as is, NaN payloads included.
struct TSingle32 {
  std::uint8_t as1 = 0, as2 = 0, as3 = 0, as4 = 0;

  float Value() const;
  void SetValue(float v);
  std::uint32_t Bits() const { return ToUint32().Value(); }
  static TSingle32 FromWire(const std::uint8_t* w) {
    TSingle32 t;
    t.as4 = w[0];
    t.as3 = w[1];
    t.as2 = w[2];
    t.as1 = w[3];
    return t;
  }
  void ToWire(std::uint8_t* w) const {
    w[0] = as4;
    w[1] = as3;
    w[2] = as2;
    w[3] = as1;
  }

 private:
  TUint32 ToUint32() const {
    TUint32 u;
    u.as1 = as1;
    u.as2 = as2;
    u.as3 = as3;
    u.as4 = as4;
    return u;
  }
};

// Firmware version and calibration of the instrument, plus the Sun's elevation
// for the current decode.
struct TDataSystem {
  std::uint8_t MinorVersion = 0;
  std::uint8_t MajorVersion = 0;
  std::uint32_t SerialNumber = 0;  // declared, never stored by the version read
  float RShuntSolar = 0;           // ohm
  float Gain_NotFilt = 0;          // unfiltered (mean signal) channel gain
  float Gain_Filtered = 0;         // filtered (scintillation) channel gain
  float OffsetV = 0;               // V
  double HauteurSoleil = 0;        // rad, topocentric elevation
};

// Everything one measurement report yields. Each cycle overwrites it in place;
// a field a cycle does not write keeps its previous value.
struct TDataOutMes {
  float MeanADU_NF = 0;
  float EC_ADU_NF = 0;
  float MeanADU_F = 0;
  float PowerScintADU = 0;
  double MeanVolts_NF = 0;
  double ECVolts_NF = 0;
  double PowerScintVolts = 0;
  double MeanScintVolts = 0;
  double Signal_UtileV = 0;
  std::uint32_t NbSamples = 0;
  double CurrentSolarA = 0;
  double seeingArcSec = 0;
  double R0 = 0;
  double seeingArcSecZen = 0;
  double R0Zen = 0;
  bool ValidSeeing = false;
  TDateTime CurrentDate = 0;  // local
  TDateTime UTCDate = 0;
  float TempInsideBox = 0;  // deg C
  double AZ = 0;            // deg, written by the acquisition cycle
  double ELV = 0;           // deg, written by the acquisition cycle
};

// Program-wide parameters; one instance, GeneralParams. The member defaults
// are the program's start-up defaults, here and nowhere else.
struct TGeneralParams {
  bool DoLogFile = true;
  std::uint16_t MaxPointsDisplayed = 1200;
  std::string PathMainRootSav;  // data folder, with its trailing separator
  std::uint16_t MinValue_mV = 150;
  float WaveLength_m = 550e-9f;
};
extern TGeneralParams GeneralParams;

// The observing site; one instance, SetupLocation. Angles in radians,
// longitude west positive. The member defaults are the start-up site.
struct TSetupLocation {
  std::string Lieu = "None";
  double Latitude = 45.5 * kDegToRad;
  double Longitude = -3.5 * kDegToRad;
  double AltitudeM = 0;
  std::string Pays = "None";
};
extern TSetupLocation SetupLocation;

// One point of a rolling plot buffer.
struct TRollingBuffer {
  double X = 0;  // local date-time value of the point (what the charts show)
  double Y = 0;
  // UTC date-time value of the point: the interval means are taken on it,
  // as local time can step back (end of summer time). NaN when unknown; the
  // means then fall back to X and the local clock.
  double Utc = std::numeric_limits<double>::quiet_NaN();
};

// Declared for completeness of the records; nothing reads or writes them.
struct TDataValue {
  double SeeingValue = 0;
  double Date = 0;
};
struct TDataValues {
  double DeltaTSec = 0;
  std::vector<TDataValue> Values;
};

// The photodiode current with an SI prefix: "2.5 A", "1000.0 mA", "500.0 µA".
std::string FormatCurr(double Value);

}  // namespace quorvel
