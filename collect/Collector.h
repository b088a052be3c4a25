// quorvel-collect's work: measurements from the broker into the archive,
// each acknowledged to the broker only once its row is committed.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "archive/CollectOptions.h"

namespace quorvel::archive {

using TCollectLog = std::function<void(const std::string&)>;

// Runs until `stop` is set (then commits and acknowledges what it holds and
// disconnects cleanly). Returns 0 after a stop, 1 on a fault that a restart
// cannot mend (an unreadable password file, a newer schema), with the
// reason logged.
int RunCollector(const TCollectOptions& options, const std::atomic<bool>& stop,
                 const TCollectLog& log);

}  // namespace quorvel::archive
