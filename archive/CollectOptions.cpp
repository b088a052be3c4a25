#include "archive/CollectOptions.h"

#include <cstdlib>

#include "mqtt/MqttConfig.h"

namespace quorvel::archive {

namespace {

bool WholeNumber(const std::string& v, int min, int max, int& out) {
  if (v.empty() || v.size() > 9) return false;
  for (char c : v)
    if (c < '0' || c > '9') return false;
  const int n = std::atoi(v.c_str());
  if (n < min || n > max) return false;
  out = n;
  return true;
}

}  // namespace

std::string CollectUsage() {
  return "Usage: quorvel-collect --mqtt-url URL [options]\n"
         "Stores every station's measurements from an MQTT broker in PostgreSQL, each once.\n"
         "\n"
         "  --mqtt-url URL            the broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (TLS)\n"
         "  --mqtt-prefix PREFIX      first level of the topics (default: quorvel)\n"
         "  --client-id ID            the broker keeps this client's session (default:\n"
         "                            quorvel-collect-<host name>)\n"
         "  --mqtt-user USER          user name at the broker\n"
         "  --mqtt-password-file FILE the broker password: first line of FILE (mode 600)\n"
         "  --mqtt-ca FILE            CA certificates (PEM) of the broker (mqtts; default: the\n"
         "                            system's)\n"
         "  --mqtt-cert FILE          client certificate (PEM) for the broker (mqtts)\n"
         "  --mqtt-key FILE           private key (PEM) of the client certificate (mqtts)\n"
         "  --postgres CONNINFO       the database, as a libpq connection string (default: the\n"
         "                            PG* environment variables)\n"
         "  --batch-ms N              longest wait of a measurement for its commit (default 200)\n"
         "  --batch-max N             most measurements in one transaction (default 1000)\n"
         "  --help                    this text\n"
         "  --version                 the program's version\n";
}

std::string DefaultClientId(const std::string& hostName) {
  std::string id = "quorvel-collect-";
  for (char c : hostName)
    id +=
        (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.') ? c : '_';
  if (hostName.empty()) id += "host";
  return id.substr(0, 64);
}

std::optional<TCollectOptions> ParseCollectArgs(const std::vector<std::string>& args,
                                                std::string& out, std::string& err, int& exitCode) {
  exitCode = 2;
  TCollectOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out = CollectUsage();
      exitCode = 0;
      return std::nullopt;
    }
    if (a == "--version") {
      out = "quorvel-collect " QUORVEL_COLLECT_VERSION "\n";
      exitCode = 0;
      return std::nullopt;
    }
    std::string name = a, value;
    bool inlineValue = false;
    if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      inlineValue = true;
    }
    static const char* const kWithValue[] = {"--mqtt-url",  "--mqtt-prefix",        "--client-id",
                                             "--mqtt-user", "--mqtt-password-file", "--mqtt-ca",
                                             "--mqtt-cert", "--mqtt-key",           "--postgres",
                                             "--batch-ms",  "--batch-max"};
    bool known = false;
    for (const char* k : kWithValue) known = known || name == k;
    if (!known) {
      err = "quorvel-collect: unknown option '" + a + "'; see --help\n";
      return std::nullopt;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        err = "quorvel-collect: option " + name + " needs a value\n";
        return std::nullopt;
      }
      value = args[++i];
    }
    std::string error;
    if (name == "--mqtt-url") {
      if (!ParseMqttUrl(value, error)) {
        err = "quorvel-collect: option --mqtt-url: " + error + "\n";
        return std::nullopt;
      }
      o.url = value;
    } else if (name == "--mqtt-prefix") {
      o.prefix = value;
    } else if (name == "--client-id") {
      if (value.empty() || value.size() > 65535) {
        err = "quorvel-collect: option --client-id needs a name\n";
        return std::nullopt;
      }
      o.clientId = value;
    } else if (name == "--mqtt-user") {
      o.user = value;
    } else if (name == "--mqtt-password-file") {
      o.passwordFile = value;
    } else if (name == "--mqtt-ca") {
      o.caFile = value;
    } else if (name == "--mqtt-cert") {
      o.certFile = value;
    } else if (name == "--mqtt-key") {
      o.keyFile = value;
    } else if (name == "--postgres") {
      o.conninfo = value;
    } else if (name == "--batch-ms") {
      if (!WholeNumber(value, 1, 60000, o.batchMs)) {
        err = "quorvel-collect: option --batch-ms needs a whole number from 1 to 60000, not '" +
              value + "'\n";
        return std::nullopt;
      }
    } else if (name == "--batch-max") {
      if (!WholeNumber(value, 1, 100000, o.batchMax)) {
        err = "quorvel-collect: option --batch-max needs a whole number from 1 to 100000, not '" +
              value + "'\n";
        return std::nullopt;
      }
    }
  }
  if (o.url.empty()) {
    err = "quorvel-collect: --mqtt-url is needed; see --help\n";
    return std::nullopt;
  }
  // The same checks as the publisher's, through its configuration.
  TMqttConfig c;
  c.url = o.url;
  c.prefix = o.prefix;
  c.user = o.user;
  c.passwordFile = o.passwordFile;
  c.caFile = o.caFile;
  c.certFile = o.certFile;
  c.keyFile = o.keyFile;
  c.discovery = false;
  if (const std::string e = CheckMqttConfig(c); !e.empty()) {
    err = "quorvel-collect: " + e + "\n";
    return std::nullopt;
  }
  exitCode = 0;
  return o;
}

}  // namespace quorvel::archive
