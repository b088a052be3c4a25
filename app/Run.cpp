#include "app/Run.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <clocale>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/HeadlessRunner.h"
#include "app/MainCore.h"
#include "app/Outputs.h"
#include "app/Program.h"
#include "common/EventLog.h"
#include "records/BuildStamp.h"
#include "records/InstanceLock.h"

namespace quorvel {

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  // Only async-signal-safe work here: the event loop does the rest.
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// A closed standard output (`quorvel --headless | head -1`) must not end
// the measuring: a write to it fails instead. Past a file-size limit
// (ulimit -f) a write fails with EFBIG, handled as a full disk, instead of
// killing the program in the middle of a line.
void IgnoreHarmfulSignals() {
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGPIPE, &sa, nullptr);
  sigaction(SIGXFSZ, &sa, nullptr);
}

}  // namespace

void FixDecimalSeparator() {
  std::setlocale(LC_NUMERIC, "C");
}

// SIGINT, SIGTERM and SIGHUP (a dropped terminal or SSH session) end the run
// from the event loop, between two cycles, so no results line is ever torn
// and the lines still waiting for the results file get a last try.
void QuitOnSignals(QCoreApplication& app) {
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
    char c;
    [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
    app.quit();
  });
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
}

int RunHeadless(int argc, char** argv, const TOptions& options) {
  QCoreApplication app(argc, argv);
  FixDecimalSeparator();
  MarkMainThread();
  std::unique_ptr<TProgram> program;
  try {
    program = std::make_unique<TProgram>(options);
  } catch (const ELockHeld& e) {
    std::cerr << "quorvel: " << e.what() << std::endl;
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "quorvel: " << e.what() << std::endl;
    return 2;
  }
  THeadlessView view(std::cout, options.injectDefaultCalibration);
  SetMessageSink(&view);
  int status = 0;
  {
    TMainCore core(view, program->Backend(), program->Settings());
    core.Protocol().SetDebugHid(options.debugHid);
    // An instrument owned by another program: nothing to measure here.
    core.SetInstrumentLocking(!options.UsesSimulator(), LockOwnerText(true),
                              [](const std::string& text) {
                                std::cerr << "quorvel: " << text << std::endl;
                                QCoreApplication::exit(1);
                              });
    core.FormCreate();
    TOutputs outputs(core, program->Settings(), options);
    program->Drive(
        core, [] { QCoreApplication::quit(); }, true);
    QuitOnSignals(app);
    status = app.exec();
    core.FinalFlush();
  }
  SetMessageSink(nullptr);
  return status;
}

int ProgramMain(int argc, char** argv, TWindowRunner runWindow) {
  IgnoreHarmfulSignals();
  std::string error;
  const auto options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::cerr << "quorvel: " << error << std::endl;
    return 2;
  }
  if (options->help) {
    std::cout << OptionsHelp(runWindow ? THelpFor::Window : THelpFor::Headless);
    return 0;
  }
  if (options->version) {
    std::cout << (runWindow ? "quorvel" : "quorvel-headless") << BuildVersionString() << std::endl;
    return 0;
  }
  if (options->headless || runWindow == nullptr) return RunHeadless(argc, argv, *options);
  return runWindow(argc, argv, *options);
}

}  // namespace quorvel
