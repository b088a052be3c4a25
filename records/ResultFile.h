// The daily results file: one plain-text line per valid measurement, one file
// per local calendar day, in the data folder. Observers' scripts parse these
// files, so names, header, line layout, CR LF line ends and the Windows-1252
// encoding are kept byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/DateTime.h"
#include "measure/Declarations.h"

namespace quorvel {

// First line of a new file (Windows-1252, the two degree signs are 0xB0),
// without its CR LF. 125 bytes.
extern const std::string_view kResultHeader;
inline constexpr std::string_view kResultLineEnd = "\r\n";

// Date-time value -> text of a date column (UTF-8). SaveData uses the user's
// regional formats (RegionalDateTimeText); tests may pass their own.
using TDateTimeTextFn = std::function<std::string(TDateTime)>;

// PathFile + "2026_ 5_ 3_Results.txt": month and day below 10 padded with one
// blank, never a zero. A PathFile without a trailing '/' gets one.
std::string ResultFileName(const std::string& PathFile, int year, int month, int day);

// One data line with its CR LF, in Windows-1252.
std::string FormatResultLine(const TDataOutMes& DataOutMes, const TDateTimeTextFn& dateText);

// Julian day of a calendar date whose day carries the time as fraction.
// Unlike the ephemeris version there is no year window: year, month and the
// whole day must fit 0..65535 ("Range check error"), and the date must exist.
double ConvertDate2Julian(std::int32_t Year, std::int32_t Month, double ddday);
double Convert_TdateTime2Julian_day(TDateTime DateTime);

// Appends the line of DataOutMes to the file of today's local date (clock:
// common/Clock.h Now()) in the folder PathFile, creating the file with its
// header when it does not exist. PathDataFile receives the file's full path
// before the file is touched, so the caller has it even when the write fails.
// Each call opens, writes the line with one write and closes; failures raise
// EInOutError ("Disk full : [path]", "File access denied : [path]", ...).
void SaveData(const std::string& PathFile, const TDataOutMes& DataOutMes,
              std::string& PathDataFile);
void SaveData(const std::string& PathFile, const TDataOutMes& DataOutMes, std::string& PathDataFile,
              const TDateTimeTextFn& dateText);

// How a missing file is created. Atomic: the file appears already holding
// header and first line (unnamed temporary file linked into place), so a
// crash can never leave a day's file without its header. Plain: exclusive
// create + one write; used where the file system has no unnamed files.
enum class TNewFileMode { Atomic, Plain };

// Told when an existing file's torn last line (no CR LF at its end) was cut
// off before appending: the file and the number of bytes removed.
using TTornLineFn = std::function<void(const std::string& path, std::uintmax_t bytesRemoved)>;

// The error text of a day's file name held by anything but a regular file
// (FIFO, device, directory, symbolic link): "Not a regular file : [path]".
inline constexpr char kNotRegularFile[] = "Not a regular file";

// Appends `line` to `filePath`; a file that does not exist is created with
// header + CR LF + line. Lower layer of SaveData. Only a regular file is
// opened (never through a symbolic link, never blocking); a torn last line
// is cut off first and reported to `onTornLine`; a failed write is taken
// back, so the file holds whole lines only.
void AppendResultLine(const std::string& filePath, std::string_view line,
                      TNewFileMode mode = TNewFileMode::Atomic, const TTornLineFn& onTornLine = {});

// Operator text of an I/O failure: "Disk full", "File access denied",
// "Path not found", "Path too long", "File too large", "Too many open files",
// else "I/O error " + the system error number ("I/O error 5").
std::string InOutErrorText(int errnoValue);

}  // namespace quorvel
