// The build stamp shown in the main window's caption, and the test for a
// development run.
//
// The version (CMake's project version, with its fourth "tweak" number as the
// build number, 0 when absent) and the build time (UTC, the moment CMake
// configured the build tree, or SOURCE_DATE_EPOCH when that is set, so that
// builds can be reproduced) are compiled into a small record that the linker
// places in the ELF section "quorvel_build_stamp" of every executable that
// uses this library; GET_SW_Version and LinkerTimeStamp read that record back
// from an executable file, the way a version resource is read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/DateTime.h"

namespace quorvel {

// " " + GET_SW_Version(own file) + ", compiled on " + DateCompiled(); set by
// InitStartupDefaults, never changed afterwards.
extern std::string S_VersionString;

// The stamp record as stored in the executable.
struct TBuildStamp {
  std::uint32_t Major = 0, Minor = 0, Patch = 0, Build = 0;
  std::int64_t UtcSeconds = 0;  // seconds since 1970-01-01 00:00 UTC
};

// The stamp compiled into the running code.
TBuildStamp CompiledBuildStamp();
// The stamp of an executable file; nothing for a file without one, a file
// that cannot be read, or one that is not a native 64-bit ELF file.
std::optional<TBuildStamp> ReadBuildStamp(const std::string& FileName);

// The running program's own file.
std::string OwnExecutablePath();

// "Version  1.0.0 build 0" (two blanks after "Version") for FileName, or empty
// text when the file has no readable stamp.
std::string GET_SW_Version(const std::string& FileName);

// Build time of FileName as a UTC date-time value. Raises the general error
// "Cannot read the build time of [FileName]" for a file without stamp.
TDateTime LinkerTimeStamp(const std::string& FileName);

// The build date of the program's own file (UTC, not converted to local
// time) in the user's short date format. If the file cannot be read, the
// stamp compiled into the running code is used: it is the same record.
std::string DateCompiled();

// " Version  1.0.0 build 0, compiled on <date>".
std::string BuildVersionString();

// True when a debugger (any tracer) is attached to the process.
bool IDERunning();
// The TracerPid field of a /proc/<pid>/status text; 0 when absent.
long TracerPidFromStatus(std::string_view statusText);

}  // namespace quorvel
