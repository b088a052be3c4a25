// libFuzzer target for the settings store's typed reads. The first byte
// chooses what the rest is: the whole settings file, or the text stored
// under one value name (written through QSettings, as another program or a
// hand edit could leave it). Every typed read must either succeed or return
// false with the variable left at its default; the start-up reads must leave
// only values the program can use.
#include <unistd.h>

#include <QSettings>
#include <QString>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "measure/Declarations.h"
#include "records/Cp1252.h"
#include "records/ProgramSettings.h"
#include "records/SettingsStore.h"

namespace {

using namespace quorvel;

const std::string& FileName() {
  static const std::string name =
      "/tmp/quorvel_fuzz_settings_" + std::to_string(::getpid()) + ".ini";
  return name;
}

template <class T>
void ReadAs(TDatabaseRegistry& reg, const char* id, int kind, T fallback) {
  T v = fallback;
  if (!reg.ReadValueRegisterDFset("\\General", v, id, kind)) {
    if (std::memcmp(&v, &fallback, sizeof v) != 0) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string& file = FileName();
  std::remove(file.c_str());
  if (data[0] & 1) {
    std::ofstream(file, std::ios::binary) << text;
  } else {
    QSettings s(QString::fromStdString(file), QSettings::IniFormat);
    s.setValue("Software/DRAVO_Solar/General/v",
               QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    s.setValue("Software/DRAVO_Solar/General/latitude",
               QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    s.sync();
  }
  TDatabaseRegistry reg(file);
  for (const char* id : {"v", "latitude", "RetentionMaxPoints"}) {
    ReadAs<bool>(reg, id, 11, true);
    ReadAs<std::uint8_t>(reg, id, 17, 7);
    ReadAs<std::int16_t>(reg, id, 2, -7);
    ReadAs<std::uint16_t>(reg, id, 18, 1200);
    ReadAs<std::int32_t>(reg, id, 3, -70000);
    ReadAs<std::uint32_t>(reg, id, 19, 4000000000u);
    ReadAs<std::int64_t>(reg, id, 20, -5000000000LL);
    ReadAs<float>(reg, id, 4, 1.5f);
    ReadAs<double>(reg, id, 5, 0.79412480965742);
    ReadAs<double>(reg, id, 7, 46000.25);
    std::string s = "default";
    if (!reg.ReadValueRegisterDFset("\\General", s, id, 256) && s != "default") std::abort();
    std::string shortText;
    (void)reg.ReadValueRegister_SSTR("\\General", shortText, id, "x", 16);
    // At most 16 characters of the 8-bit set (held as UTF-8).
    if (Utf8ToCp1252(shortText).size() > 16) std::abort();
  }
  GeneralParams = TGeneralParams{};
  SetupLocation = TSetupLocation{};
  GeneralParams.MaxPointsDisplayed = 1200;
  SetupLocation.Latitude = 0.79412480965742;
  SetupLocation.Longitude = -0.0610865238198015;
  SetupLocation.AltitudeM = 0;
  (void)ReadStartupSettings(reg);
  const double pi = 3.141592653589793;
  if (GeneralParams.MaxPointsDisplayed == 0) std::abort();
  if (!(std::fabs(SetupLocation.Latitude) <= pi / 2)) std::abort();
  if (!(std::fabs(SetupLocation.Longitude) <= 2 * pi)) std::abort();
  if (!(SetupLocation.AltitudeM >= -500 && SetupLocation.AltitudeM <= 10000)) std::abort();
  std::remove(file.c_str());
  return 0;
}
