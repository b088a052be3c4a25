#include "DataFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
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
  const QString p = QString::fromStdString(path);
  QDir().mkpath(p);
  return QFileInfo(p).isDir();
}

}  // namespace quorvel
