#include "BuildStamp.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "common/DateTime.h"
#include "common/Errors.h"
#include "common/Format.h"
#include "records/RegionalFormat.h"

#ifndef QUORVEL_VERSION_MAJOR
#error "The build stamp needs the version and build time from CMake"
#endif

namespace quorvel {

std::string S_VersionString;

namespace {

constexpr char kStampSection[] = "quorvel_build_stamp";
constexpr char kStampMagic[16] = "QUORVEL-STAMP-1";

// Layout in the file: magic, four uint32, one int64, native byte order.
struct StampRecord {
  char Magic[16];
  std::uint32_t Major, Minor, Patch, Build;
  std::int64_t UtcSeconds;
};
static_assert(sizeof(StampRecord) == 40);

// Kept by the linker in every executable that uses the build stamp.
__attribute__((used, section("quorvel_build_stamp"))) const StampRecord kCompiledRecord = {
    "QUORVEL-STAMP-1",     QUORVEL_VERSION_MAJOR, QUORVEL_VERSION_MINOR,
    QUORVEL_VERSION_PATCH, QUORVEL_VERSION_TWEAK, QUORVEL_BUILD_UTC_SECONDS};

TBuildStamp FromRecord(const StampRecord& r) {
  TBuildStamp s;
  s.Major = r.Major;
  s.Minor = r.Minor;
  s.Patch = r.Patch;
  s.Build = r.Build;
  s.UtcSeconds = r.UtcSeconds;
  return s;
}

// A read-only view of a whole file, unmapped on every path.
class MappedFile {
 public:
  explicit MappedFile(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
      void* p =
          ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (p != MAP_FAILED) {
        data_ = static_cast<const unsigned char*>(p);
        size_ = static_cast<std::size_t>(st.st_size);
      }
    }
    ::close(fd);
  }
  ~MappedFile() {
    if (data_) ::munmap(const_cast<unsigned char*>(data_), size_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // True when [offset, offset + length) lies inside the file.
  bool Holds(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  const unsigned char* At(std::uint64_t offset) const { return data_ + offset; }
  bool Ok() const { return data_ != nullptr; }

 private:
  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

template <class T>
T ReadAt(const MappedFile& f, std::uint64_t offset) {
  T v;
  std::memcpy(&v, f.At(offset), sizeof v);
  return v;
}

}  // namespace

TBuildStamp CompiledBuildStamp() {
  return FromRecord(kCompiledRecord);
}

std::optional<TBuildStamp> ReadBuildStamp(const std::string& FileName) {
  const MappedFile f(FileName);
  if (!f.Ok() || !f.Holds(0, sizeof(Elf64_Ehdr))) return std::nullopt;
  const auto eh = ReadAt<Elf64_Ehdr>(f, 0);
  const bool nativeOrder = (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)
                               ? eh.e_ident[EI_DATA] == ELFDATA2LSB
                               : eh.e_ident[EI_DATA] == ELFDATA2MSB;
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
      !nativeOrder || eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shoff == 0)
    return std::nullopt;

  // Section count and name-table index may sit in section 0 (many sections).
  if (!f.Holds(eh.e_shoff, sizeof(Elf64_Shdr))) return std::nullopt;
  const auto sh0 = ReadAt<Elf64_Shdr>(f, eh.e_shoff);
  const std::uint64_t count = eh.e_shnum != 0 ? eh.e_shnum : sh0.sh_size;
  const std::uint64_t namesIndex = eh.e_shstrndx != SHN_XINDEX ? eh.e_shstrndx : sh0.sh_link;
  if (count == 0 || count > (std::uint64_t{1} << 24) || namesIndex >= count ||
      !f.Holds(eh.e_shoff, count * sizeof(Elf64_Shdr)))
    return std::nullopt;

  const auto section = [&](std::uint64_t i) {
    return ReadAt<Elf64_Shdr>(f, eh.e_shoff + i * sizeof(Elf64_Shdr));
  };
  const Elf64_Shdr names = section(namesIndex);
  if (names.sh_type == SHT_NOBITS || !f.Holds(names.sh_offset, names.sh_size)) return std::nullopt;
  const char* nameTable = reinterpret_cast<const char*>(f.At(names.sh_offset));

  for (std::uint64_t i = 0; i < count; ++i) {
    const Elf64_Shdr sh = section(i);
    if (sh.sh_name >= names.sh_size) continue;
    const std::size_t room = static_cast<std::size_t>(names.sh_size - sh.sh_name);
    if (::strnlen(nameTable + sh.sh_name, room) != sizeof kStampSection - 1 ||
        std::memcmp(nameTable + sh.sh_name, kStampSection, sizeof kStampSection - 1) != 0)
      continue;
    if (sh.sh_type == SHT_NOBITS || sh.sh_size < sizeof(StampRecord) ||
        !f.Holds(sh.sh_offset, sizeof(StampRecord)))
      return std::nullopt;
    const auto record = ReadAt<StampRecord>(f, sh.sh_offset);
    if (std::memcmp(record.Magic, kStampMagic, sizeof kStampMagic) != 0) return std::nullopt;
    return FromRecord(record);
  }
  return std::nullopt;
}

std::string OwnExecutablePath() {
  return "/proc/self/exe";
}

std::string GET_SW_Version(const std::string& FileName) {
  const auto stamp = ReadBuildStamp(FileName);
  if (!stamp) return {};
  return Format("Version  %d.%d.%d build %d",
                {stamp->Major, stamp->Minor, stamp->Patch, stamp->Build});
}

TDateTime LinkerTimeStamp(const std::string& FileName) {
  const auto stamp = ReadBuildStamp(FileName);
  if (!stamp) throw Exception("Cannot read the build time of [" + FileName + "]");
  return static_cast<double>(stamp->UtcSeconds) / 86400.0 + kUnixDateDelta;
}

std::string DateCompiled() {
  const auto stamp = ReadBuildStamp(OwnExecutablePath()).value_or(CompiledBuildStamp());
  return RegionalShortDateText(static_cast<double>(stamp.UtcSeconds) / 86400.0 + kUnixDateDelta);
}

std::string BuildVersionString() {
  return " " + GET_SW_Version(OwnExecutablePath()) + ", compiled on " + DateCompiled();
}

long TracerPidFromStatus(std::string_view statusText) {
  constexpr std::string_view kField = "TracerPid:";
  std::size_t pos = 0;
  while (pos < statusText.size()) {
    const std::size_t end = std::min(statusText.find('\n', pos), statusText.size());
    const std::string_view line = statusText.substr(pos, end - pos);
    if (line.substr(0, kField.size()) == kField) {
      std::string_view v = line.substr(kField.size());
      while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
      while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r'))
        v.remove_suffix(1);
      const auto pid = ParseInt64(v);
      return pid && *pid > 0 ? static_cast<long>(*pid) : 0;
    }
    pos = end + 1;
  }
  return 0;
}

bool IDERunning() {
  std::ifstream in("/proc/self/status");
  std::ostringstream text;
  text << in.rdbuf();
  return TracerPidFromStatus(text.str()) != 0;
}

}  // namespace quorvel
