#include "SettingsStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include "common/Format.h"
#include "records/Cp1252.h"

namespace quorvel {

std::unique_ptr<TDatabaseRegistry> RegD;

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// "Software\DRAVO_Solar" + "\General" -> "Software/DRAVO_Solar/General".
QString GroupOf(const std::string& keyPath) {
  QStringList parts;
  QString part;
  for (const QChar c : Q(keyPath)) {
    if (c == QLatin1Char('\\') || c == QLatin1Char('/')) {
      if (!part.isEmpty()) parts << part;
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.isEmpty()) parts << part;
  return parts.join(QLatin1Char('/'));
}

QString KeyOf(const QString& group, const std::string& name) {
  return group + QLatin1Char('/') + Q(name);
}

// QSettings keeps a parsed file in a process-wide cache and parses it again
// only when its size or time stamp changed; the "corrupt" status is reported
// to the session that parsed it only. Remember that verdict for as long as the
// file stays the same, so that every later session sees it too.
struct CorruptVerdict {
  qint64 size;
  QDateTime modified;
};
std::mutex g_verdictMutex;
std::map<QString, CorruptVerdict> g_corruptFiles;

// One settings-file session per operation: every operation sees the file as
// it is on disk now, and every write is saved before the operation returns.
class Session {
 public:
  explicit Session(const std::string& file) : name_(QFileInfo(Q(file)).absoluteFilePath()) {
    const QFileInfo info(name_);
    // A settings file holds a few short lines. One far larger is not ours
    // (or is damaged) and parsing it would cost seconds and its size in
    // memory at every read: it is corrupt, without being parsed at all.
    if (info.exists() && info.size() > kMaxSettingsFileBytes) {
      tooLarge_ = true;
      corrupt_ = true;
      return;
    }
    s_.emplace(Q(file), QSettings::IniFormat);
    s_->setAtomicSyncRequired(true);
    const std::lock_guard<std::mutex> lock(g_verdictMutex);
    if (s_->status() == QSettings::FormatError) {
      g_corruptFiles[name_] = CorruptVerdict{info.size(), info.lastModified()};
      corrupt_ = true;
    } else if (auto it = g_corruptFiles.find(name_); it != g_corruptFiles.end()) {
      if (info.exists() && it->second.size == info.size() &&
          it->second.modified == info.lastModified())
        corrupt_ = true;
      else
        g_corruptFiles.erase(it);
    }
  }
  // Only for a session whose Status() is not FormatError.
  QSettings& operator*() { return Settings(); }
  QSettings* operator->() { return &Settings(); }
  // The status of the file as this session found it.
  QSettings::Status Status() const { return corrupt_ ? QSettings::FormatError : s_->status(); }
  bool TooLarge() const { return tooLarge_; }

 private:
  QSettings& Settings() {
    if (!s_) throw Exception("Settings file [" + name_.toStdString() + "] is not open");
    return *s_;
  }

  QString name_;
  std::optional<QSettings> s_;
  bool corrupt_ = false;
  bool tooLarge_ = false;
};

bool GroupExists(QSettings& s, const QString& group) {
  s.beginGroup(group);
  const bool exists = !s.allKeys().isEmpty();
  s.endGroup();
  return exists;
}

bool IsCorrupt(const std::string& file) {
  return Session(file).Status() == QSettings::FormatError;
}

// A corrupt file is never trusted by the reads; before a write it is kept
// aside as <file>.corrupt so that the new file holds only sound values.
void SetAsideIfCorrupt(const std::string& file) {
  if (!IsCorrupt(file)) return;
  const std::string aside = file + ".corrupt";
  if (std::rename(file.c_str(), aside.c_str()) != 0)
    throw Exception("Cannot set the corrupt settings file [" + file + "] aside");
}

void PrepareForWrite(const std::string& file) {
  QDir().mkpath(QFileInfo(Q(file)).absolutePath());
  SetAsideIfCorrupt(file);
}

[[noreturn]] void RaiseWrongDefault(const std::string& IDString, const TTaggedValue& Default) {
  throw Exception(IDString +
                  Format(" : Default value has wrong type (vartype=%d)", {Default.VarType()}));
}

bool IsRefusedKind(int kind) {
  switch (kind) {
    case varCurrency:
    case varOleStr:
    case varDispatch:
    case varError:
    case varVariant:
    case varUnknown:
    case varStrArg:
      return true;
    default:
      return false;
  }
}

template <class T>
T* Target(TVarRef ref) {
  T* const* p = std::get_if<T*>(&ref);
  return p ? *p : nullptr;
}

// Stores v into the variable by TypeVar; false when TypeVar is not one the
// store handles or the variable has another type.
bool StoreInto(TVarRef ref, const TTaggedValue& v, int TypeVar) {
  const auto put = [&](auto* target, auto value) {
    if (!target) return false;
    *target = static_cast<std::remove_pointer_t<decltype(target)>>(value);
    return true;
  };
  switch (TypeVar) {
    case varSmallint:
      return put(Target<std::int16_t>(ref), ConvertTo(v, TypeVar).AsInt64());
    case varInteger:
      return put(Target<std::int32_t>(ref), ConvertTo(v, TypeVar).AsInt64());
    case varByte:
      return put(Target<std::uint8_t>(ref), ConvertTo(v, TypeVar).AsInt64());
    case varWord:
      return put(Target<std::uint16_t>(ref), ConvertTo(v, TypeVar).AsInt64());
    case varLongWord:
      return put(Target<std::uint32_t>(ref), ConvertTo(v, TypeVar).AsInt64());
    case varInt64:
      return put(Target<std::int64_t>(ref), ConvertTo(v, TypeVar).AsInt64());
    case varBoolean:
      return put(Target<bool>(ref), ConvertTo(v, TypeVar).AsBool());
    case varSingle:
      return put(Target<float>(ref), ConvertTo(v, TypeVar).AsDouble());
    case varDouble:
    case varDate:
      return put(Target<double>(ref), ConvertTo(v, TypeVar).AsDouble());
    case varString: {
      std::string* target = Target<std::string>(ref);
      if (!target) return false;
      *target = ConvertTo(v, TypeVar).AsText();
      return true;
    }
    default:
      return false;
  }
}

// The variable's content as a value of TypeVar; empty when they do not match.
TTaggedValue ValueOfVariable(TVarRef ref, int TypeVar) {
  switch (TypeVar) {
    case varSmallint:
      if (auto* p = Target<std::int16_t>(ref)) return TTaggedValue(*p);
      break;
    case varInteger:
      if (auto* p = Target<std::int32_t>(ref)) return TTaggedValue(*p);
      break;
    case varSingle:
      if (auto* p = Target<float>(ref)) return TTaggedValue(*p);
      break;
    case varDouble:
      if (auto* p = Target<double>(ref)) return TTaggedValue(*p);
      break;
    case varDate:
      if (auto* p = Target<double>(ref)) return TTaggedValue::Date(*p);
      break;
    case varBoolean:
      if (auto* p = Target<bool>(ref)) return TTaggedValue(*p);
      break;
    case varByte:
      if (auto* p = Target<std::uint8_t>(ref)) return TTaggedValue(*p);
      break;
    case varWord:
      if (auto* p = Target<std::uint16_t>(ref)) return TTaggedValue(*p);
      break;
    case varLongWord:
      if (auto* p = Target<std::uint32_t>(ref)) return TTaggedValue(*p);
      break;
    case varInt64:
      if (auto* p = Target<std::int64_t>(ref)) return TTaggedValue(static_cast<long long>(*p));
      break;
    case varString:
      if (auto* p = Target<std::string>(ref)) return TTaggedValue::Text(*p, varString);
      break;
    default:
      break;
  }
  return TTaggedValue();
}

// Keeps the characters of the 8-bit set ('?' for the others), at most
// `capacity` of them.
std::string ShortText(const std::string& utf8, std::size_t capacity) {
  std::string bytes = Utf8ToCp1252(utf8);
  if (bytes.size() > capacity) bytes.resize(capacity);
  return Cp1252ToUtf8(bytes);
}

}  // namespace

std::string SettingsFilePath(const std::string& overrideFile) {
  if (!overrideFile.empty()) return overrideFile;
  if (const char* env = std::getenv("QUORVEL_SETTINGS"); env && *env) return env;
  QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
  return (config + QStringLiteral("/DRAVO_Solar/Quorvel.ini")).toStdString();
}

TDatabaseRegistry::TDatabaseRegistry(const std::string& settingsFile)
    : Reg(SettingsFilePath(settingsFile)) {}

void TDatabaseRegistry::WriteCFGtoRegister(const std::string& Path, const TTaggedValue& Value,
                                           const std::string& IDString) {
  const std::lock_guard<std::recursive_mutex> lock(AccesKey);
  // Every failure stays here: the caller is never told (LastWriteError aside).
  try {
    const int kind = Value.VarType();
    const std::string where = PrefixKEY + Path + IDString;
    switch (StoredKindOf(kind)) {
      case TStoredKind::Refused:
        if (kind == varEmpty || kind == varNull)
          throw Exception(where + " : Registry write Error, null or empty Variant !");
        if (IsRefusedKind(kind))
          throw Exception(where + " : Registry write Error, Data type not supported !");
        throw Exception(Format("Write to registry faile, vartype Unknown -> %d", {kind}));
      case TStoredKind::Text:
      case TStoredKind::Binary:
        break;
    }
    PrepareForWrite(Reg);
    Session s(Reg);
    if (s.Status() != QSettings::NoError || !s->isWritable())
      throw Exception("Cannot write the settings file [" + Reg + "]");
    const QString key = KeyOf(GroupOf(PrefixKEY + Path), IDString);
    if (StoredKindOf(kind) == TStoredKind::Binary) {
      const std::string bytes = StoredBinary(Value.AsDouble());
      s->setValue(key, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    } else {
      s->setValue(key, Q(StoredText(Value)));
    }
    s->sync();
    if (s->status() != QSettings::NoError)
      throw Exception("Cannot write the settings file [" + Reg + "]");
    LastWriteError.clear();
  } catch (const std::exception& e) {
    LastWriteError = e.what();
  }
}

void TDatabaseRegistry::ReadCFGFromRegister(const std::string& Path, const std::string& IDString,
                                            TTaggedValue& Value, const TTaggedValue& Default,
                                            int TypeVAR) {
  const std::string keyPath = PrefixKEY + Path;
  Session s(Reg);
  switch (s.Status()) {
    case QSettings::NoError:
      break;
    case QSettings::FormatError:
      throw EReadWriteRegister(
          "Registry Read Error : settings file [" + Reg + "] is corrupt" +
          (s.TooLarge() ? " (larger than " + std::to_string(kMaxSettingsFileBytes) + " bytes)"
                        : std::string()) +
          ", Default value used...");
    default:
      throw EReadWriteRegister("Registry Read Error : settings file [" + Reg +
                               "] cannot be read, Default value used...");
  }
  const QString group = GroupOf(keyPath);
  if (!GroupExists(*s, group))
    throw EReadWriteRegister("Registry Read Error : Key " + keyPath + " not found!");

  std::string suffix = ", Default value CANNOT be used...";
  try {
    if (TypeVAR == varString && Default.VarType() != varString && Default.VarType() != varUString)
      RaiseWrongDefault(IDString, Default);
    // A default that cannot be converted at all fails with the conversion's
    // own message; one that converts to something else has the wrong type.
    Value = ConvertTo(Default, TypeVAR);
    if (!SameValue(Value, Default)) RaiseWrongDefault(IDString, Default);
    suffix = ", Default value used...";

    const QString key = KeyOf(group, IDString);
    if (!s->contains(key)) throw Exception(IDString + " : value does not exists.");

    const int kind = Value.VarType();
    if (kind == varEmpty || kind == varNull) throw Exception(IDString + " Null or empty Variant !");
    if (IsRefusedKind(kind)) throw Exception(IDString + " : Data type not supported !");
    const QVariant stored = s->value(key);
    std::optional<TTaggedValue> read;
    switch (StoredKindOf(kind)) {
      case TStoredKind::Text:
        // Only a plain text value qualifies: a number list ("0,5") or a typed
        // @Variant written by another program does not.
        if (stored.metaType().id() == QMetaType::QString)
          read = ParseStoredText(kind, stored.toString().toStdString());
        break;
      case TStoredKind::Binary:
        if (stored.metaType().id() == QMetaType::QByteArray) {
          const QByteArray bytes = stored.toByteArray();
          read = ParseStoredBinary(
              std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        }
        break;
      case TStoredKind::Refused:
        // Kinds the store does not know are not read: the default stays.
        return;
    }
    if (!read) throw Exception(IDString + " : Failed to read.");
    Value = *read;
  } catch (const std::exception& e) {
    throw EReadWriteRegister("Registry Read Error : -> " + keyPath + ":" + e.what() + suffix);
  }
}

bool TDatabaseRegistry::ReadValueRegister(const std::string& Path, const std::string& IDString,
                                          TVarRef Value, const TTaggedValue& Default, int TypeVar) {
  const std::lock_guard<std::recursive_mutex> lock(AccesKey);
  try {
    TTaggedValue read;
    ReadCFGFromRegister(Path, IDString, read, Default, TypeVar);
    bool stored = false;
    try {
      stored = StoreInto(Value, read, TypeVar);
    } catch (const Exception&) {
      stored = false;
    }
    if (!stored) throw Exception("Read register for " + Path + IDString + " has failed !");
    return true;
  } catch (const std::exception& e) {
    ErrorMessage = e.what();
    // The default may not fit the variable: it then keeps its value.
    try {
      StoreInto(Value, Default, TypeVar);
    } catch (const Exception&) {
    }
    return false;
  }
}

bool TDatabaseRegistry::ReadValueRegisterDFset(const std::string& PathVar, TVarRef Value,
                                               const std::string& IDString, int TypeVar) {
  try {
    return ReadValueRegister(PathVar, IDString, Value, ValueOfVariable(Value, TypeVar), TypeVar);
  } catch (const std::exception&) {
    return false;
  }
}

bool TDatabaseRegistry::ReadValueRegister_SSTR(const std::string& Path, std::string& Value,
                                               const std::string& IDString,
                                               const std::string& Default, std::size_t capacity) {
  const std::lock_guard<std::recursive_mutex> lock(AccesKey);
  try {
    TTaggedValue read;
    ReadCFGFromRegister(Path, IDString, read, TTaggedValue::Text(Default, varString), varString);
    Value = ShortText(read.AsText(), capacity);
    return true;
  } catch (const std::exception& e) {
    Value.clear();
    ErrorMessage = e.what();
    return false;
  }
}

bool TDatabaseRegistry::ReadValueRegister_SSTRdf(const std::string& Path, std::string& Value,
                                                 const std::string& IDString,
                                                 std::size_t capacity) {
  const std::string current = Value;
  return ReadValueRegister_SSTR(Path, Value, IDString, current, capacity);
}

void TDatabaseRegistry::DeleteKey(const std::string& Path) {
  Session s(Reg);
  s->remove(GroupOf(PrefixKEY + Path));
  s->sync();
}

void TDatabaseRegistry::DeleteValue(const std::string& Path, const std::string& Value) {
  Session s(Reg);
  const QString group = GroupOf(PrefixKEY + Path);
  if (!GroupExists(*s, group)) return;
  s->remove(KeyOf(group, Value));
  s->sync();
}

bool TDatabaseRegistry::SWKeyExists() {
  Session s(Reg);
  return s.Status() == QSettings::NoError && GroupExists(*s, GroupOf(PrefixKEY));
}

bool TDatabaseRegistry::SubKeyexists(const std::string& SubKey) {
  Session s(Reg);
  return s.Status() == QSettings::NoError && GroupExists(*s, GroupOf(PrefixKEY + SubKey));
}

bool TDatabaseRegistry::SetPrivilege(const std::string& /*lpszPrivilege*/, bool /*bEnable*/) {
  return true;
}

void TDatabaseRegistry::SaveSWConfig(const std::string& FileName) {
  try {
    const QString target = Q(FileName);
    if (QFileInfo::exists(target)) {
      QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
      if (!QFile::remove(target)) throw Exception("Cannot delete [" + FileName + "]");
    }
    SetPrivilege("SeBackupPrivilege", true);
    bool ok = false;
    {
      Session src(Reg);
      const QString product = GroupOf(PrefixKEY);
      if (src.Status() == QSettings::NoError && GroupExists(*src, product)) {
        QDir().mkpath(QFileInfo(target).absolutePath());
        Session dst(FileName);
        src->beginGroup(product);
        const QStringList keys = src->allKeys();
        for (const QString& k : keys) dst->setValue(product + QLatin1Char('/') + k, src->value(k));
        src->endGroup();
        dst->sync();
        ok = dst->status() == QSettings::NoError && QFileInfo::exists(target);
      }
    }
    SetPrivilege("SeBackupPrivilege", false);
    if (!ok) throw Exception("Unable to save registry to file : [" + FileName + "]");
  } catch (const Exception& e) {
    throw Exception("Cannot save setup (database registry) : " + e.Message());
  }
}

void TDatabaseRegistry::LoadSWConfig(const std::string& FileName) {
  if (!QFileInfo::exists(Q(FileName))) return;
  const std::string cannotLoad = "Critical error : cannot load setup from [" + FileName + "]";
  Session src(FileName);
  if (src.Status() != QSettings::NoError) throw Exception(cannotLoad);
  try {
    PrepareForWrite(Reg);
  } catch (const Exception&) {
    throw Exception("Cannot save old setup !");
  }
  Session dst(Reg);
  const QString product = GroupOf(PrefixKEY);
  if (dst.Status() != QSettings::NoError || !dst->isWritable()) {
    // An old key that cannot go, or no key that can be made.
    const bool oldKey =
        dst.Status() != QSettings::NoError ? QFileInfo::exists(Q(Reg)) : GroupExists(*dst, product);
    throw Exception(oldKey ? "Cannot save old setup !" : cannotLoad);
  }
  SetPrivilege("SeBackupPrivilege", true);
  SetPrivilege("SeRestorePrivilege", true);
  // Old key removed and new one written in one save: no half-restored state.
  dst->remove(product);
  src->beginGroup(product);
  const QStringList keys = src->allKeys();
  for (const QString& k : keys) dst->setValue(product + QLatin1Char('/') + k, src->value(k));
  src->endGroup();
  dst->sync();
  SetPrivilege("SeRestorePrivilege", false);
  SetPrivilege("SeBackupPrivilege", false);
  if (dst->status() != QSettings::NoError) throw Exception(cannotLoad);
}

TDatabaseRegistry& CreateRegD(const std::string& settingsFileOverride) {
  RegD = std::make_unique<TDatabaseRegistry>(settingsFileOverride);
  return *RegD;
}

}  // namespace quorvel
