// The MQTT password, read from a file only its owner can read. The password
// never goes to the settings file or the log.
#pragma once

#include <string>

namespace quorvel {

// The first line of `path` without its line end. Raises quorvel::Exception
// with an operator message when the file cannot be read, is empty, is not a
// regular file or can be read or written by its group or by others.
std::string ReadMqttPasswordFile(const std::string& path);

}  // namespace quorvel
