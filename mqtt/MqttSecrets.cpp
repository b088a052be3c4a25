#include "mqtt/MqttSecrets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/Errors.h"

namespace quorvel {

std::string ReadMqttPasswordFile(const std::string& path) {
  const std::string what = "the MQTT password file '" + path + "'";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) throw Exception(what + " cannot be read: " + std::strerror(errno));
  struct stat st {};
  std::string text;
  std::string error;
  // The mode of the file opened, not of whatever the name points to later.
  if (::fstat(fd, &st) != 0) {
    error = what + " cannot be read: " + std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    error = what + " is not a regular file";
  } else if ((st.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    error = what + " can be read or written by other users (mode " + mode +
            "); allow its owner only: chmod 600 '" + path + "'";
  } else {
    char buf[4096];
    ssize_t n = 0;
    while (text.size() < 65536 && (n = ::read(fd, buf, sizeof buf)) > 0)
      text.append(buf, static_cast<std::size_t>(n));
    if (n < 0) error = what + " cannot be read: " + std::strerror(errno);
  }
  ::close(fd);
  if (!error.empty()) throw Exception(error);
  const auto end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  if (text.empty()) throw Exception(what + " is empty: its first line is the password");
  return text;
}

}  // namespace quorvel
