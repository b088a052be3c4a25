// The start of both executables: options, --help and --version, the signals
// that end a run, and the headless run itself. quorvel adds the window;
// quorvel-headless has none and links nothing that draws.
#pragma once

#include <QCoreApplication>

#include "app/Options.h"

namespace quorvel {

// Numbers are written with "." whatever the regional settings: our own
// formatting never looks at the locale, and the C library's must not either.
// Dates keep the regional formats.
void FixDecimalSeparator();

// SIGINT and SIGTERM end the run from the event loop, between two cycles, so
// no results line is ever torn.
void QuitOnSignals(QCoreApplication& app);

int RunHeadless(int argc, char** argv, const TOptions& options);

using TWindowRunner = int (*)(int argc, char** argv, const TOptions& options);

// Parses the command line and runs: the window through `runWindow` unless
// --headless is given or there is no window to run (nullptr).
int ProgramMain(int argc, char** argv, TWindowRunner runWindow);

}  // namespace quorvel
