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

namespace quorvel {

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  // Only async-signal-safe work here: the event loop does the rest.
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

}  // namespace

void FixDecimalSeparator() {
  std::setlocale(LC_NUMERIC, "C");
}

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
}

int RunHeadless(int argc, char** argv, const TOptions& options) {
  QCoreApplication app(argc, argv);
  FixDecimalSeparator();
  MarkMainThread();
  std::unique_ptr<TProgram> program;
  try {
    program = std::make_unique<TProgram>(options);
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
    core.FormCreate();
    TOutputs outputs(core, program->Settings(), options);
    program->Drive(
        core, [] { QCoreApplication::quit(); }, true);
    QuitOnSignals(app);
    status = app.exec();
  }
  SetMessageSink(nullptr);
  return status;
}

int ProgramMain(int argc, char** argv, TWindowRunner runWindow) {
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
