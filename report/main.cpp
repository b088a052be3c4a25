// quorvel-report: see ReportUsage() (--help) and the manual page.
#include <QGuiApplication>
#include <iostream>
#include <string>
#include <vector>

#include "report/ReportTool.h"

namespace {
// The offscreen platform's remarks about the session (XDG_RUNTIME_DIR and
// the like) are nothing a report's reader needs.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& msg) {
  if (type == QtWarningMsg || type == QtDebugMsg || type == QtInfoMsg) return;
  std::cerr << "quorvel-report: " << msg.toStdString() << "\n";
}
}  // namespace

int main(int argc, char** argv) {
  // Plots are drawn into images only: never a window, so no display needed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::vector<std::string> args(argv + 1, argv + argc);
  int exitCode = 0;
  const auto request = quorvel::report::ParseReportArgs(args, std::cout, std::cerr, exitCode);
  if (!request) return exitCode;
  qInstallMessageHandler(QuietQtMessages);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  return quorvel::report::RunReport(*request, std::cout, std::cerr);
}
