#include "DataFolder.h"

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstdlib>

namespace quorvel {

namespace {

std::string WithTrailingSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

}  // namespace

std::string LocalAppDataPath() {
  QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (docs.isEmpty()) docs = QDir::homePath();
  while (docs.size() > 1 && docs.endsWith(QLatin1Char('/'))) docs.chop(1);
  return docs.toStdString();
}

std::string DataFolderPath(const std::string& overrideDir) {
  if (!overrideDir.empty()) return WithTrailingSlash(overrideDir);
  if (const char* env = std::getenv("QUORVEL_DATA_DIR"); env && *env) return WithTrailingSlash(env);
  std::string docs = LocalAppDataPath();
  if (docs == "/") docs.clear();
  return docs + "/Quorvel/";
}

bool CreateDataFolder(const std::string& path) {
  // On the path's own bytes: a name that is not valid UTF-8 (an old Latin-1
  // folder) must not be made into another name through a text conversion.
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  for (std::size_t pos = 1; pos <= p.size(); ++pos) {
    if (pos < p.size() && p[pos] != '/') continue;
    const std::string part = p.substr(0, pos);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) break;
  }
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace quorvel
