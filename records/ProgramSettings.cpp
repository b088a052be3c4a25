#include "ProgramSettings.h"

#include <cmath>
#include <functional>

#include "common/Angles.h"
#include "measure/Declarations.h"

namespace quorvel {

namespace {

template <class T>
TSettingRead ReadChecked(TDatabaseRegistry& reg, const char* id, T& variable, int kind,
                         const std::function<bool(T)>& sensible) {
  TSettingRead r;
  r.IDString = id;
  T value = variable;
  if (!reg.ReadValueRegisterDFset(kSettingsSection, value, id, kind)) {
    r.Message = reg.ErrorMessage;
    return r;
  }
  if (!sensible(value)) {
    r.Message = "Registry Read Error : -> " + reg.PrefixKEY + kSettingsSection + ":" + id +
                " : value out of range, Default value used...";
    reg.ErrorMessage = r.Message;
    return r;
  }
  variable = value;
  r.Read = true;
  return r;
}

bool Within(double v, double lo, double hi) {
  return std::isfinite(v) && v >= lo && v <= hi;
}

}  // namespace

std::vector<TSettingRead> ReadStartupSettings(TDatabaseRegistry& reg) {
  std::vector<TSettingRead> out;
  out.push_back(ReadChecked<std::uint16_t>(reg, kIdRetentionMaxPoints,
                                           GeneralParams.MaxPointsDisplayed, varWord,
                                           [](std::uint16_t v) { return v > 0; }));
  out.push_back(ReadChecked<std::uint16_t>(reg, kIdMinSignal, GeneralParams.MinValue_mV, varWord,
                                           [](std::uint16_t) { return true; }));
  out.push_back(ReadChecked<double>(reg, kIdLatitude, SetupLocation.Latitude, varDouble,
                                    [](double v) { return Within(v, -kPi / 2, kPi / 2); }));
  out.push_back(ReadChecked<double>(reg, kIdLongitude, SetupLocation.Longitude, varDouble,
                                    [](double v) { return Within(v, -2 * kPi, 2 * kPi); }));
  out.push_back(ReadChecked<double>(reg, kIdAltitude, SetupLocation.AltitudeM, varDouble,
                                    [](double v) { return Within(v, -500, 10000); }));
  return out;
}

std::vector<TSettingRead> ReadSeeingClasses(TDatabaseRegistry& reg, TSeeingClasses& classes) {
  TSeeingClasses read = classes;
  std::vector<TSettingRead> out;
  auto one = [&](const char* id, auto& variable, int kind) {
    TSettingRead r;
    r.IDString = id;
    r.Read = reg.ReadValueRegisterDFset(kSettingsSection, variable, id, kind);
    if (!r.Read && reg.ErrorMessage.find("value does not exists.") == std::string::npos &&
        reg.ErrorMessage.find(" not found!") == std::string::npos)
      r.Message = reg.ErrorMessage;
    out.push_back(r);
  };
  one(kIdSeeingExcellent, read.Excellent, varDouble);
  one(kIdSeeingGood, read.Good, varDouble);
  one(kIdSeeingFair, read.Fair, varDouble);
  one(kIdSeeingZenith, read.Zenith, varBoolean);
  if (!SeeingClassesValid(read)) {
    for (TSettingRead& r : out) {
      if (!r.Read || r.IDString == kIdSeeingZenith) continue;
      r.Read = false;
      r.Message = "Registry Read Error : -> " + reg.PrefixKEY + kSettingsSection + ":" +
                  r.IDString + " : limits not increasing and positive, Default value used...";
    }
    read.Excellent = classes.Excellent;
    read.Good = classes.Good;
    read.Fair = classes.Fair;
  }
  classes = read;
  return out;
}

void WriteProgramSettings(TDatabaseRegistry& reg) {
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(GeneralParams.MaxPointsDisplayed),
                         kIdRetentionMaxPoints);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(GeneralParams.MinValue_mV), kIdMinSignal);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(SetupLocation.Latitude), kIdLatitude);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(SetupLocation.Longitude), kIdLongitude);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(SetupLocation.AltitudeM), kIdAltitude);
  // The store keeps the last failure only: do not let a later success hide
  // one of the five.
  const std::string error = reg.LastWriteError;
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(SeeingClasses.Excellent),
                         kIdSeeingExcellent);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(SeeingClasses.Good), kIdSeeingGood);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(SeeingClasses.Fair), kIdSeeingFair);
  reg.WriteCFGtoRegister(kSettingsSection, TTaggedValue(SeeingClasses.Zenith), kIdSeeingZenith);
  if (!error.empty()) reg.LastWriteError = error;
}

}  // namespace quorvel
