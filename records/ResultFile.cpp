#include "ResultFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>

#include "common/Clock.h"
#include "common/Errors.h"
#include "common/Format.h"
#include "records/Cp1252.h"
#include "records/RegionalFormat.h"

namespace quorvel {

const std::string_view kResultHeader =
    "Local Date          | UTC Date            | Julian Day      |Sig(mV)| Se \" |R0 mm | AZ "
    "\xB0    | ELV \xB0  | Se \" zen | R0 mm Zen |";

namespace {

std::string BlankPadded2(int v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? " " + s : s;
}

void CheckUint16(double v) {
  if (!(v >= 0 && v <= 65535)) throw ERangeCheckError();
}

// A date column holds no control characters, so one line stays one record.
// A regional text the file's character set cannot hold (Arabic or Persian
// digits, Japanese time words) would turn into question marks: that column
// is written in the C locale's form instead, which every reader can parse.
std::string DateColumn(const TDateTimeTextFn& dateText, TDateTime value) {
  std::string s;
  if (!Utf8ToCp1252Exact(dateText(value), s)) s = Utf8ToCp1252(RegionalDateTimeText(value, "C"));
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return s;
}

[[noreturn]] void RaiseIo(int err, const std::string& path) {
  throw EInOutError(InOutErrorText(err) + " : [" + path + "]", err);
}

// Closes the descriptor on every path out of a scope.
class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  ~FdGuard() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return fd_; }
  // Closes now and returns 0 or the errno of close().
  int Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

// Writes all of `data`; returns 0 or an errno. A regular file on a local file
// system takes a line this short in one write(); the loop is for the others.
// A process killed during the write can still leave part of a line where it
// crosses a page: the next append cuts such a tail off (AppendExisting).
int WriteAll(int fd, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

[[noreturn]] void RaiseNotRegular(const std::string& path) {
  throw EInOutError(std::string(kNotRegularFile) + " : [" + path + "]", EINVAL);
}

// Offset just past the last CR LF of the first `size` bytes, 0 when there is
// none; -1 with errno on a read failure.
off_t EndOfLastWholeLine(int fd, off_t size) {
  char buf[4096];
  off_t end = size;
  char next = 0;  // the byte after the chunk being scanned
  while (end > 0) {
    const off_t begin =
        end > static_cast<off_t>(sizeof buf) ? end - static_cast<off_t>(sizeof buf) : 0;
    const auto len = static_cast<std::size_t>(end - begin);
    if (::pread(fd, buf, len, begin) != static_cast<ssize_t>(len)) return -1;
    for (std::size_t i = len; i-- > 0;) {
      const char after = i + 1 < len ? buf[i + 1] : next;
      if (buf[i] == '\r' && after == '\n') return begin + static_cast<off_t>(i) + 2;
    }
    next = buf[0];
    end = begin;
  }
  return 0;
}

// Appends to an existing file. Returns false when the file does not exist.
// Only a regular file is written: a FIFO or device at the name would block
// or swallow the lines, and a symbolic link could point anywhere. A last
// line left torn (a crash, a size limit) is cut off first so that the new
// line does not glue onto it.
bool AppendExisting(const std::string& path, std::string_view line, const TTornLineFn& onTorn) {
  constexpr int kFlags = O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW;
  bool canRead = true;
  int raw = ::open(path.c_str(), O_RDWR | kFlags);
  if (raw < 0 && errno == EACCES) {
    canRead = false;
    raw = ::open(path.c_str(), O_WRONLY | kFlags);
  }
  FdGuard fd(raw);
  if (fd.get() < 0) {
    if (errno == ENOENT) return false;
    if (errno == ELOOP || errno == EISDIR || errno == ENXIO) RaiseNotRegular(path);
    RaiseIo(errno, path);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) RaiseIo(errno, path);
  if (!S_ISREG(st.st_mode)) RaiseNotRegular(path);
  std::string withHeader;
  if (canRead && st.st_size > 0) {
    const off_t whole = EndOfLastWholeLine(fd.get(), st.st_size);
    if (whole < 0) RaiseIo(errno, path);
    if (whole < st.st_size) {
      if (::ftruncate(fd.get(), whole) != 0) RaiseIo(errno, path);
      if (onTorn) onTorn(path, static_cast<std::uintmax_t>(st.st_size - whole));
      st.st_size = whole;
      // Nothing whole was left, not even the header: the file starts again.
      if (whole == 0) {
        withHeader.append(kResultHeader).append(kResultLineEnd).append(line);
        line = withHeader;
      }
    }
  }
  if (const int err = WriteAll(fd.get(), line)) {
    // Take back a partly written line so that the file holds whole lines only.
    // Should that fail too, the write's error is still the one to report.
    [[maybe_unused]] const int undone = ::ftruncate(fd.get(), st.st_size);
    RaiseIo(err, path);
  }
  if (const int err = fd.Close()) RaiseIo(err, path);
  return true;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates the file holding `content`. Returns false when a file of that name
// appeared meanwhile (the caller appends to it instead).
bool CreatePlain(const std::string& path, std::string_view content) {
  FdGuard fd(
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
  if (fd.get() < 0) {
    if (errno == EEXIST) return false;
    RaiseIo(errno, path);
  }
  if (const int err = WriteAll(fd.get(), content)) {
    // An empty day's file would never get its header: remove it.
    ::unlink(path.c_str());
    RaiseIo(err, path);
  }
  if (const int err = fd.Close()) RaiseIo(err, path);
  return true;
}

// Unnamed file in the folder, filled, then linked under its name: the name
// never points at a file without header and first line.
bool CreateAtomic(const std::string& path, std::string_view content) {
  FdGuard fd(::open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (fd.get() < 0) {
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
      return CreatePlain(path, content);
    RaiseIo(errno, path);
  }
  if (const int err = WriteAll(fd.get(), content)) RaiseIo(err, path);
  const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    const int err = errno;
    if (err == EEXIST) return false;
    // Without /proc (a bare chroot) the unnamed file cannot be given its name.
    if (err == ENOENT && ::access("/proc/self/fd", F_OK) != 0) return CreatePlain(path, content);
    RaiseIo(err, path);
  }
  if (const int err = fd.Close()) RaiseIo(err, path);
  return true;
}

}  // namespace

std::string InOutErrorText(int errnoValue) {
  switch (errnoValue) {
    case ENOSPC:
    case EDQUOT:
      return "Disk full";
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return "File access denied";
    case ENOENT:
    case ENOTDIR:
      return "Path not found";
    case ENAMETOOLONG:
      return "Path too long";
    case EFBIG:
      return "File too large";
    case EMFILE:
    case ENFILE:
      return "Too many open files";
    default:
      return "I/O error " + std::to_string(errnoValue);
  }
}

std::string ResultFileName(const std::string& PathFile, int year, int month, int day) {
  std::string name = PathFile;
  if (!name.empty() && name.back() != '/') name.push_back('/');
  return name + std::to_string(year) + "_" + BlankPadded2(month) + "_" + BlankPadded2(day) +
         "_Results.txt";
}

double ConvertDate2Julian(std::int32_t Year, std::int32_t Month, double ddday) {
  CheckUint16(Year);
  CheckUint16(Month);
  const double wholeDay = std::trunc(ddday);
  CheckUint16(wholeDay);
  // 1999-03-03 is date-time value 36222 and Julian day 2451240.5.
  return EncodeDate(Year, Month, static_cast<int>(wholeDay)) + (ddday - wholeDay) -
         EncodeDate(1999, 3, 3) + 2451240.5;
}

double Convert_TdateTime2Julian_day(TDateTime DateTime) {
  // Beyond this the calendar fields cannot be represented at all.
  if (!(std::fabs(DateTime) <= 1e7)) throw ERangeCheckError();
  int year, month, dd, h, m, s, ss;
  DecodeDateTime(DateTime, year, month, dd, h, m, s, ss);
  const double d = (((ss / 1000.0 + s) / 60.0 + m) / 60.0 + h) / 24.0;
  return ConvertDate2Julian(year, month, dd + d);
}

std::string FormatResultLine(const TDataOutMes& m, const TDateTimeTextFn& dateText) {
  const std::string local = DateColumn(dateText, m.CurrentDate);
  const std::string utc = DateColumn(dateText, m.UTCDate);
  std::string line =
      Format("%s | %s | %1.7f | %1.1f | %1.2f | %1.1f | %1.3f | %1.3f | %1.2f     | %1.1f     |",
             {local, utc, Convert_TdateTime2Julian_day(m.UTCDate), m.Signal_UtileV * 1000,
              m.seeingArcSec, m.R0, m.AZ, m.ELV, m.seeingArcSecZen, m.R0Zen});
  line.append(kResultLineEnd);
  return line;
}

void AppendResultLine(const std::string& filePath, std::string_view line, TNewFileMode mode,
                      const TTornLineFn& onTornLine) {
  std::string withHeader;
  // A file deleted between the two steps is simply created again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (AppendExisting(filePath, line, onTornLine)) return;
    if (withHeader.empty()) {
      withHeader.reserve(kResultHeader.size() + kResultLineEnd.size() + line.size());
      withHeader.append(kResultHeader).append(kResultLineEnd).append(line);
    }
    const bool created = mode == TNewFileMode::Atomic ? CreateAtomic(filePath, withHeader)
                                                      : CreatePlain(filePath, withHeader);
    if (created) return;
  }
  RaiseIo(EAGAIN, filePath);
}

void SaveData(const std::string& PathFile, const TDataOutMes& DataOutMes, std::string& PathDataFile,
              const TDateTimeTextFn& dateText) {
  int year, month, day;
  DecodeDate(Now(), year, month, day);
  PathDataFile = ResultFileName(PathFile, year, month, day);
  // Formatted before the file is touched: a bad value leaves no trace on disk.
  const std::string line = FormatResultLine(DataOutMes, dateText);
  AppendResultLine(PathDataFile, line);
}

void SaveData(const std::string& PathFile, const TDataOutMes& DataOutMes,
              std::string& PathDataFile) {
  SaveData(PathFile, DataOutMes, PathDataFile, [](TDateTime v) { return RegionalDateTimeText(v); });
}

}  // namespace quorvel
