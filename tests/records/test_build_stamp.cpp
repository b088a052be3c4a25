#include <gtest/gtest.h>
#include <sys/ptrace.h>

#include <cmath>
#include <filesystem>

#include "RecordsTestUtil.h"
#include "common/Clock.h"
#include "common/Errors.h"
#include "measure/Declarations.h"
#include "records/BuildStamp.h"
#include "records/DataFolder.h"
#include "records/RegionalFormat.h"
#include "records/StartupDefaults.h"

namespace quorvel {
namespace {

using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

const std::string kVersion = std::string("Version  ") + QUORVEL_PROJECT_VERSION + " build 0";

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_)
      ::setenv(name_, old_.c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(BuildStamp, OwnFileCarriesTheProjectVersionAndBuildTime) {
  EXPECT_EQ(GET_SW_Version(OwnExecutablePath()), kVersion);
  const TBuildStamp compiled = CompiledBuildStamp();
  const TDateTime built = LinkerTimeStamp(OwnExecutablePath());
  EXPECT_EQ(built, static_cast<double>(compiled.UtcSeconds) / 86400.0 + 25569.0);
  EXPECT_GT(built, EncodeDate(2020, 1, 1));
  EXPECT_LT(built, NowUTC() + 1);
  EXPECT_EQ(BuildVersionString(), " " + kVersion + ", compiled on " + RegionalShortDateText(built));
}

TEST(BuildStamp, IsReadFromTheFileNotFromMemory) {
  TempDir dir;
  const std::string copy = dir / "copy";
  std::filesystem::copy_file(OwnExecutablePath(), copy);
  EXPECT_EQ(GET_SW_Version(copy), kVersion);
  // Spoil the record's magic in the copy: the stamp is no longer recognised.
  std::string bytes = ReadFile(copy);
  std::size_t spoiled = 0;
  for (auto at = bytes.find("QUORVEL-STAMP-1"); at != std::string::npos;
       at = bytes.find("QUORVEL-STAMP-1", at + 1), ++spoiled)
    bytes[at] = 'X';
  ASSERT_GT(spoiled, 0u);
  WriteFile(copy, bytes);
  EXPECT_EQ(GET_SW_Version(copy), "");
  EXPECT_THROW(LinkerTimeStamp(copy), Exception);
}

TEST(BuildStamp, FilesWithoutStampGiveEmptyVersion) {
  TempDir dir;
  const std::string own = ReadFile(OwnExecutablePath());
  ASSERT_GT(own.size(), 4096u);
  std::string offsetOverflow = own;  // section table at 0xFFFFFFFFFFFFFFF0
  offsetOverflow.replace(0x28, 8, "\xF0\xFF\xFF\xFF\xFF\xFF\xFF\xFF");
  std::string namesOutOfRange = own;  // name table index 0xFFFE
  namesOutOfRange.replace(0x3E, 2, "\xFE\xFF");
  std::string garbage(5000, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 + 7);
  garbage.replace(0, 4,
                  "\x7F"
                  "ELF");
  struct Case {
    const char* name;
    std::string content;
  } cases[] = {{"empty", ""},
               {"text", "not an executable\n"},
               {"header-only", own.substr(0, 64)},
               {"first-half", own.substr(0, own.size() / 2)},
               {"offset-overflow", offsetOverflow},
               {"names-out-of-range", namesOutOfRange},
               {"garbage-with-magic", garbage}};
  for (const Case& c : cases) {
    const std::string path = dir / c.name;
    WriteFile(path, c.content);
    EXPECT_EQ(GET_SW_Version(path), "") << c.name;
    EXPECT_THROW(LinkerTimeStamp(path), Exception) << c.name;
  }
  EXPECT_EQ(GET_SW_Version(dir / "missing"), "");
  EXPECT_EQ(GET_SW_Version(dir.path()), "") << "a folder";
  EXPECT_EQ(GET_SW_Version("/bin/sh"), "") << "an executable of another program";
}

TEST(IDERunning, ReadsTheTracerOfTheProcess) {
  struct Case {
    const char* status;
    long pid;
  } cases[] = {{"Name:\tquorvel\nTracerPid:\t0\nUid:\t0\n", 0},
               {"Name:\tquorvel\nTracerPid:\t4321\nUid:\t0\n", 4321},
               {"TracerPid:\t17", 17},
               {"Name:\tquorvel\n", 0},
               {"TracerPid:\tabc\n", 0}};
  for (const Case& c : cases) EXPECT_EQ(TracerPidFromStatus(c.status), c.pid) << c.status;
  const std::string status = ReadFile("/proc/self/status");
  EXPECT_EQ(IDERunning(), TracerPidFromStatus(status) != 0);
}

TEST(IDERunning, TrueUnderATracer) {
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    char c;
    if (::read(go[0], &c, 1) != 1) ::_exit(3);
    ::_exit(IDERunning() ? 0 : 1);
  }
  if (::ptrace(PTRACE_SEIZE, child, nullptr, nullptr) != 0) {
    ::close(go[1]);
    testutil::KillAndReap(child);
    GTEST_SKIP() << "tracing is not allowed here";
  }
  ASSERT_EQ(::write(go[1], "g", 1), 1);
  int status = 0;
  while (::waitpid(child, &status, 0) == child && !WIFEXITED(status) && !WIFSIGNALED(status))
    ::ptrace(PTRACE_CONT, child, nullptr, nullptr);
  ::close(go[0]);
  ::close(go[1]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(DataFolder, OverrideThenEnvironmentThenDocuments) {
  TempDir home;
  const std::string docs = home / "Dokumente";
  std::filesystem::create_directories(home / ".config");
  WriteFile(home / ".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  ScopedEnv h("HOME", home.path().c_str());
  ScopedEnv x("XDG_CONFIG_HOME", (home / ".config").c_str());
  {
    ScopedEnv e("QUORVEL_DATA_DIR", nullptr);
    EXPECT_EQ(LocalAppDataPath(), docs);
    EXPECT_EQ(DataFolderPath(), docs + "/Quorvel/");
    EXPECT_EQ(DataFolderPath("/srv/seeing"), "/srv/seeing/");
  }
  ScopedEnv e("QUORVEL_DATA_DIR", "/var/seeing/");
  EXPECT_EQ(DataFolderPath(), "/var/seeing/");
  EXPECT_EQ(DataFolderPath("/srv/seeing/"), "/srv/seeing/");
}

TEST(StartupDefaults, SetInOrderWithTheDataFolderCreated) {
  TempDir dir;
  GeneralParams = TGeneralParams{false, 7, "junk", 9, 1.0f};
  SetupLocation = TSetupLocation{"x", 1, 2, 3, "y"};
  S_VersionString.clear();
  const std::string folder = dir / "a/b/Quorvel";
  EXPECT_TRUE(InitStartupDefaults(folder));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_TRUE(GeneralParams.DoLogFile);
  EXPECT_EQ(GeneralParams.MaxPointsDisplayed, 1200);
  EXPECT_EQ(GeneralParams.MinValue_mV, 150);
  EXPECT_EQ(GeneralParams.PathMainRootSav, folder + "/");
  EXPECT_EQ(GeneralParams.WaveLength_m, 5.5e-7f);
  EXPECT_EQ(S_VersionString, BuildVersionString());
  EXPECT_EQ(SetupLocation.Lieu, "None");
  EXPECT_EQ(SetupLocation.Pays, "None");
  EXPECT_DOUBLE_EQ(SetupLocation.Latitude, 0.79412480965742);
  EXPECT_DOUBLE_EQ(SetupLocation.Longitude, -3.5 * M_PI / 180);
  EXPECT_EQ(SetupLocation.AltitudeM, 0);

  // A file where the folder should be: start-up goes on with the path set.
  WriteFile(dir / "blocked", "");
  EXPECT_FALSE(InitStartupDefaults(dir / "blocked/Quorvel"));
  EXPECT_EQ(GeneralParams.PathMainRootSav, dir / "blocked/Quorvel/");
}

}  // namespace
}  // namespace quorvel
