// The built program's window under a real X server and window manager
// (Xvfb + openbox): a close request from the window manager while a modal
// dialog is open ends the program cleanly. And --log-file in both modes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RunQuorvel.h"

namespace quorvel::e2e {
namespace {

bool HaveCommand(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Exit status of a shell command with DISPLAY set; its output is dropped.
int Shell(const std::string& display, const std::string& command) {
  const int st =
      std::system(("export DISPLAY=" + display + "; ( " + command + " ) >/dev/null 2>&1").c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string l;
  while (std::getline(in, l)) out.push_back(l);
  return out;
}

// A whole log line: "LT yyyy-MM-dd  HHhMMmSS.mmms  [Main] : text".
bool WholeLogLine(const std::string& l) {
  return l.rfind("LT ", 0) == 0 && l.size() > 36 && l.substr(13, 2) == "  " &&
         l.find("s  [Main] : ") == 27;
}

// An X server of its own with openbox on it, for one test.
class TXSession {
 public:
  TXSession() {
    // Xvfb picks a free display itself and writes its number once it takes
    // connections: a number made up here could be another session's.
    int ready[2];
    if (::pipe(ready) != 0) return;
    xvfb_ = Start({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1366x768x24",
                   "-nolisten", "tcp"});
    ::close(ready[1]);
    std::string number;
    pollfd wait{ready[0], POLLIN, 0};
    char c = 0;
    while (::poll(&wait, 1, 20000) == 1 && ::read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(ready[0]);
    if (number.empty()) return;
    display_ = ":" + number;
    wm_ = Start({"openbox"});
    // openbox has taken the screen once it names itself on the root window.
    for (int i = 0; i < 100 && Shell(display_, "wmctrl -m") != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~TXSession() {
    for (pid_t pid : {wm_, xvfb_}) {
      if (pid <= 0) continue;
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
  bool Ready() const { return !display_.empty() && Shell(display_, "wmctrl -m") == 0; }
  const std::string& Display() const { return display_; }

 private:
  pid_t Start(std::vector<std::string> argv) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("DISPLAY", display_.c_str(), 1);
      std::vector<char*> args;
      for (auto& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execvp(args[0], args.data());
      ::_exit(127);
    }
    return pid;
  }
  std::string display_;
  pid_t xvfb_ = -1;
  pid_t wm_ = -1;
};

class WindowRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("quorvel_e2e_window_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::vector<std::string> Args(int seconds, bool headless) {
    std::vector<std::string> a;
    if (headless) a.push_back("--headless");
    a.insert(a.end(),
             {"--simulate", "--speed", "0", "--clock-start", "2026-06-21T09:30:00", "--duration",
              std::to_string(seconds), "--data-dir", (dir_ / "data").string(), "--settings",
              (dir_ / "settings.ini").string(), "--log-file", (dir_ / "quorvel log.txt").string()});
    return a;
  }
  TRunResult Run(TRunPlan plan) {
    plan.env.emplace("TZ", "UTC");
    plan.env.emplace("LC_ALL", "C");
    plan.env.emplace("XDG_RUNTIME_DIR", dir_.string());
    if (!plan.env.count("QT_QPA_PLATFORM")) plan.env.emplace("QT_QPA_PLATFORM", "offscreen");
    return RunQuorvel(plan, dir_ / ("run" + std::to_string(runs_++)));
  }
  fs::path dir_;
  int runs_ = 0;
};

// The log file holds the lines of standard output, and a second run appends.
TEST_F(WindowRun, LogFileInBothModesAppendsWholeLines) {
  TRunPlan headless;
  headless.args = Args(180, true);
  const TRunResult first = Run(headless);
  ASSERT_TRUE(first.exited && first.status == 0) << first.err;
  const std::string afterFirst = ReadFile(dir_ / "quorvel log.txt");
  EXPECT_EQ(afterFirst, first.out);  // the same lines, byte for byte
  EXPECT_GT(Lines(afterFirst).size(), 100u);

  TRunPlan window;
  window.args = Args(180, false);
  const TRunResult second = Run(window);
  ASSERT_TRUE(second.exited && second.status == 0) << second.err;
  const std::string all = ReadFile(dir_ / "quorvel log.txt");
  ASSERT_EQ(all.rfind(afterFirst, 0), 0u) << "the first run's lines were not kept";
  const auto windowLines = Lines(all.substr(afterFirst.size()));
  ASSERT_GT(windowLines.size(), 100u);
  EXPECT_NE(windowLines[0].find("] : Application startup"), std::string::npos);
  EXPECT_NE(windowLines[1].find("] : Site : latitude 45.5000\u00B0 N, longitude 3.5000\u00B0 E"),
            std::string::npos);
  for (const auto& l : Lines(all)) EXPECT_TRUE(WholeLogLine(l)) << l;
  EXPECT_EQ(all.back(), '\n');

  // A log file that cannot be opened stops the start with a clear message.
  TRunPlan bad;
  bad.args = Args(5, true);
  bad.args.back() = (dir_ / "no such folder" / "log.txt").string();
  const TRunResult refused = Run(bad);
  EXPECT_TRUE(refused.exited);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("Cannot open the log file ["), std::string::npos) << refused.err;
}

// The window manager's close (wmctrl -c: _NET_CLOSE_WINDOW, which openbox
// turns into WM_DELETE_WINDOW) while Setup or Firmware is open, opened with
// its Alt key: the program ends with status 0, the dialog closed, the log
// and the results file made of whole lines.
struct TCloseCase {
  const char* name;
  const char* key;
  const char* dialogTitle;
};

class WindowManagerClose : public WindowRun, public ::testing::WithParamInterface<TCloseCase> {};

TEST_P(WindowManagerClose, EndsTheProgramWhileAModalDialogIsOpen) {
  for (const char* tool : {"Xvfb", "openbox", "wmctrl", "xdotool", "xdpyinfo"})
    if (!HaveCommand(tool))
      GTEST_SKIP() << tool << " is not installed (tools/setup-debian.sh installs it)";
  TXSession x;
  if (!x.Ready()) GTEST_SKIP() << "Xvfb with openbox did not come up on " << x.Display();
  const std::string display = x.Display();
  const TCloseCase c = GetParam();

  TRunPlan plan;
  plan.args = {"--simulate",
               "--speed",
               "10",
               "--clock-start",
               "2026-06-21T09:30:00",
               "--data-dir",
               (dir_ / "data").string(),
               "--settings",
               (dir_ / "settings.ini").string(),
               "--log-file",
               (dir_ / "quorvel log.txt").string()};
  plan.env.emplace("DISPLAY", display);
  plan.env.emplace("QT_QPA_PLATFORM", "xcb");
  plan.timeoutMs = 60000;
  // Polled while the program runs: each step once the one before held.
  int step = 0;
  std::string failure;
  const auto started = std::chrono::steady_clock::now();
  auto keyAt = started;
  plan.armed = [&] {
    const std::string main = "xdotool search --name 'Quorvel Monitor'";
    switch (step) {
      case 0:  // the main window is up and has measured a few seconds
        if (Shell(display, main) == 0 &&
            std::chrono::steady_clock::now() - started > std::chrono::seconds(2))
          step = 1;
        break;
      case 1:  // the window may not take the focus at once: asked again below
        Shell(display,
              main + " | head -1 | xargs -I{} xdotool windowactivate --sync {} key " + c.key);
        keyAt = std::chrono::steady_clock::now();
        step = 2;
        break;
      case 2:
        if (Shell(display, std::string("xdotool search --name '^") + c.dialogTitle + "$'") == 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(500));
          if (Shell(display, "wmctrl -c 'Quorvel Monitor'") != 0) failure = "wmctrl -c failed";
          step = 3;
        } else if (std::chrono::steady_clock::now() - started > std::chrono::seconds(30)) {
          failure = std::string("the dialog ") + c.dialogTitle + " did not open";
          step = 3;
        } else if (std::chrono::steady_clock::now() - keyAt > std::chrono::seconds(3)) {
          step = 1;
        }
        break;
      default:
        break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return false;
  };
  const TRunResult r = Run(plan);
  ASSERT_TRUE(failure.empty()) << failure;
  EXPECT_EQ(step, 3);
  EXPECT_TRUE(r.exited) << "the program did not end; killed";
  EXPECT_EQ(r.status, 0) << r.err;

  const std::string log = ReadFile(dir_ / "quorvel log.txt");
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '\n');
  for (const auto& l : Lines(log)) EXPECT_TRUE(WholeLogLine(l)) << l;
  int dayFiles = 0;
  for (const auto& entry : fs::directory_iterator(dir_ / "data")) {
    // The folder also holds the lock file of the program that measures.
    if (entry.path().filename().string().find("_Results.txt") == std::string::npos) continue;
    const TDayFile day = ReadDayFile(entry.path());
    ++dayFiles;
    EXPECT_TRUE(day.badLines.empty()) << entry.path();
    EXPECT_TRUE(day.endsWithLineEnd);
    EXPECT_GT(day.lines.size(), 2u);
  }
  EXPECT_EQ(dayFiles, 1);
}

INSTANTIATE_TEST_SUITE_P(Dialogs, WindowManagerClose,
                         ::testing::Values(TCloseCase{"Setup", "alt+s", "Setup"},
                                           TCloseCase{"Firmware", "alt+f", "Setup firmware"}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace quorvel::e2e
