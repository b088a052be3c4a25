// The per-user settings store: a typed key/value database under one product
// key, "Software\DRAVO_Solar", kept in one INI file (see SettingsFilePath).
// Key paths, value names and stored texts are those of the program's
// registry-based store:
//
//   [Software]
//   DRAVO_Solar\General\latitude=0.79412480965742
//
// (a file written by hand as "[Software\DRAVO_Solar\General]" + "latitude=..."
// reads the same). Every write goes through a temporary file and a rename, so
// the file always holds either the old or the new content.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <variant>

#include "common/Errors.h"
#include "records/TaggedValue.h"

namespace quorvel {

// Largest settings file the store reads; a larger one counts as corrupt
// (read as missing, set aside before the next write).
inline constexpr long long kMaxSettingsFileBytes = 1 << 20;

// Failure of a typed read.
class EReadWriteRegister : public Exception {
 public:
  using Exception::Exception;
};

// The program variable a typed read stores into; its type must be the one of
// the kind: 2 int16, 3 int32, 4 float, 5 and 7 double, 11 bool, 17 uint8,
// 18 uint16, 19 uint32, 20 int64, 256 std::string.
using TVarRef = std::variant<bool*, std::uint8_t*, std::int16_t*, std::uint16_t*, std::int32_t*,
                             std::uint32_t*, std::int64_t*, float*, double*, std::string*>;

// The settings file: `overrideFile` when not empty (the program's --settings),
// else the environment variable QUORVEL_SETTINGS when set and not empty, else
// $XDG_CONFIG_HOME/DRAVO_Solar/Quorvel.ini (~/.config/DRAVO_Solar/Quorvel.ini).
std::string SettingsFilePath(const std::string& overrideFile = {});

class TDatabaseRegistry {
 public:
  // `settingsFile` as for SettingsFilePath. Nothing is read or created yet.
  explicit TDatabaseRegistry(const std::string& settingsFile = {});
  TDatabaseRegistry(const TDatabaseRegistry&) = delete;
  TDatabaseRegistry& operator=(const TDatabaseRegistry&) = delete;

  const std::string& SettingsFileName() const { return Reg; }

  // Stores Value under IDString in PrefixKEY + Path (Path with a leading
  // backslash, "\General"), creating the key. Failures are absorbed; the last
  // one is kept in LastWriteError (empty after a successful write).
  void WriteCFGtoRegister(const std::string& Path, const TTaggedValue& Value,
                          const std::string& IDString);

  // The core read: Value receives the stored value as kind TypeVAR, else
  // EReadWriteRegister is raised. Called with AccesKey held.
  void ReadCFGFromRegister(const std::string& Path, const std::string& IDString,
                           TTaggedValue& Value, const TTaggedValue& Default, int TypeVAR);

  // Reads into the variable; on failure stores Default there (when it fits),
  // sets ErrorMessage and returns false. Never raises.
  bool ReadValueRegister(const std::string& Path, const std::string& IDString, TVarRef Value,
                         const TTaggedValue& Default, int TypeVar);

  // The same with the variable's current content as the default: a value
  // that is missing or unreadable leaves the variable unchanged.
  bool ReadValueRegisterDFset(const std::string& PathVar, TVarRef Value,
                              const std::string& IDString, int TypeVar);
  template <class T>
  bool ReadValueRegisterDFset(const std::string& PathVar, T& Value, const std::string& IDString,
                              int TypeVar) {
    return ReadValueRegisterDFset(PathVar, TVarRef(&Value), IDString, TypeVar);
  }

  // A text (kind 256) into a short text of at most `capacity` characters of
  // the 8-bit set (others become '?'); empty text and false on failure.
  bool ReadValueRegister_SSTR(const std::string& Path, std::string& Value,
                              const std::string& IDString, const std::string& Default,
                              std::size_t capacity = 255);
  bool ReadValueRegister_SSTRdf(const std::string& Path, std::string& Value,
                                const std::string& IDString, std::size_t capacity = 255);

  // Removes PrefixKEY + Path with everything under it; outcome not reported.
  void DeleteKey(const std::string& Path);
  // Removes the value named Value from PrefixKEY + Path, if the key exists.
  void DeleteValue(const std::string& Path, const std::string& Value);
  bool SWKeyExists();
  bool SubKeyexists(const std::string& SubKey);

  // Export of the whole product key to FileName (an INI file of the same
  // layout, usable as a settings file), and import replacing the product key
  // by the content of such a file. Failures raise the general error.
  void SaveSWConfig(const std::string& FileName);
  void LoadSWConfig(const std::string& FileName);
  // There are no process privileges to switch here: always succeeds.
  bool SetPrivilege(const std::string& lpszPrivilege, bool bEnable);

  // Message of the last failed typed read; successful reads do not clear it.
  std::string ErrorMessage;
  // Message of the last failed write; cleared by a successful one.
  std::string LastWriteError;
  const std::string PrefixKEY = "Software\\DRAVO_Solar";

 private:
  const std::string Reg;  // the settings file
  std::recursive_mutex AccesKey;
};

// The program's one settings store, created at start-up by CreateRegD and
// alive until the process ends.
extern std::unique_ptr<TDatabaseRegistry> RegD;
TDatabaseRegistry& CreateRegD(const std::string& settingsFileOverride = {});

}  // namespace quorvel
