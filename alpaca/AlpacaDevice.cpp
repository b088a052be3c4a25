#include "alpaca/AlpacaDevice.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/MarkupText.h"

namespace quorvel {

namespace {

constexpr char kDeviceType[] = "observingconditions";
constexpr int kInterfaceVersion = 2;

// The sensors of IObservingConditionsV2; only StarFWHM is measured here.
constexpr const char* kSensors[] = {
    "CloudCover",    "DewPoint",   "Humidity",       "Pressure", "RainRate",
    "SkyBrightness", "SkyQuality", "SkyTemperature", "StarFWHM", "Temperature",
    "WindDirection", "WindGust",   "WindSpeed"};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool EqualNoCase(const std::string& a, const char* b) {
  return Lower(a) == Lower(b);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> PercentDecode(const std::string& s, bool plusIsSpace) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%') {
      if (i + 2 >= s.size()) return std::nullopt;
      const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      out += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else if (s[i] == '+' && plusIsSpace) {
      out += ' ';
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

std::string Exact(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// A parameter's value by case-insensitive name; the first one counts.
const std::string* Find(const std::vector<std::pair<std::string, std::string>>& params,
                        const char* name) {
  for (const auto& p : params)
    if (EqualNoCase(p.first, name)) return &p.second;
  return nullptr;
}

// An optional unsigned 32-bit transaction or client number.
bool ParseUint32(const std::string& text, std::uint32_t& out) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFull) return false;
  out = static_cast<std::uint32_t>(v);
  return true;
}

std::optional<bool> ParseBool(const std::string& text) {
  const std::string l = Lower(text);
  if (l == "true") return true;
  if (l == "false") return false;
  return std::nullopt;
}

std::optional<double> ParseDouble(const std::string& text) {
  if (text.empty() || text.size() > 64) return std::nullopt;
  for (char c : text)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E'))
      return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

TAlpacaResponse BadRequest(const std::string& message, int status = 400) {
  TAlpacaResponse r;
  r.status = status;
  r.contentType = "text/plain; charset=utf-8";
  r.body = message + "\n";
  return r;
}

std::string SiteHtml(const std::string& text) {
  return XmlEscape(text);
}

}  // namespace

void TAlpacaValues::Note(const TLiveSnapshot& s) {
  if (!s.valid) return;
  const std::optional<double>* kinds[3][2] = {{&s.seeingArcsec, &s.seeingZenithArcsec},
                                              {&s.seeing1MinArcsec, &s.seeing1MinZenithArcsec},
                                              {&s.seeing5MinArcsec, &s.seeing5MinZenithArcsec}};
  for (int p = 0; p < 3; ++p)
    for (int z = 0; z < 2; ++z)
      if (*kinds[p][z] && std::isfinite(**kinds[p][z])) {
        TSlot& slot = seeing[static_cast<std::size_t>(p)][static_cast<std::size_t>(z)];
        slot.value = **kinds[p][z];
        slot.utcMs = s.utcMs;
        slot.set = true;
      }
}

std::optional<std::vector<std::pair<std::string, std::string>>> ParseFormParameters(
    const std::string& text, std::string& error) {
  std::vector<std::pair<std::string, std::string>> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t amp = text.find('&', start);
    if (amp == std::string::npos) amp = text.size();
    const std::string item = text.substr(start, amp - start);
    if (!item.empty()) {
      const std::size_t eq = item.find('=');
      const auto name = PercentDecode(item.substr(0, eq), true);
      const auto value =
          PercentDecode(eq == std::string::npos ? std::string() : item.substr(eq + 1), true);
      if (!name || !value) {
        error = "malformed percent-encoding in the parameters";
        return std::nullopt;
      }
      out.emplace_back(*name, *value);
    }
    start = amp + 1;
  }
  return out;
}

TAlpacaDevice::TAlpacaDevice(TAlpacaInfo info) : info_(std::move(info)) {}

TAlpacaResponse TAlpacaDevice::Handle(const TAlpacaRequest& request, const TAlpacaValues& values,
                                      std::int64_t nowMs) {
  if (request.method != "GET" && request.method != "PUT")
    return BadRequest("Only GET and PUT are used by Alpaca", 405);
  const std::string& path = request.path;
  if (path == "/" || path == "/setup" || path == "/setup/v1/observingconditions/0/setup") {
    if (request.method != "GET") return BadRequest("Setup pages are read with GET", 405);
    TAlpacaResponse r;
    r.contentType = "text/html; charset=utf-8";
    const std::string period = Exact(AveragePeriodHours());
    r.body =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Quorvel Alpaca "
        "device</title></head>\n<body>\n<h1>" +
        SiteHtml(info_.deviceName) +
        "</h1>\n<p>ASCOM Alpaca ObservingConditions device 0: StarFWHM is the seeing in "
        "arcseconds (" +
        std::string(info_.zenith ? "corrected to the zenith" : "line of sight") +
        ").</p>\n<table>\n<tr><td>Unique ID</td><td>" + SiteHtml(info_.uniqueId) +
        "</td></tr>\n<tr><td>Version</td><td>" + SiteHtml(info_.version) +
        "</td></tr>\n<tr><td>Site</td><td>" + SiteHtml(info_.location) +
        "</td></tr>\n<tr><td>Average period (hours)</td><td>" + period +
        "</td></tr>\n</table>\n<p>This page is read-only: the device is set up in Quorvel's "
        "Outputs dialog, its settings file or its command-line options.</p>\n</body></html>\n";
    return r;
  }

  const bool management = path.rfind("/management/", 0) == 0;
  const std::string apiPrefix = std::string("/api/v1/") + kDeviceType + "/";
  const bool api = path.rfind("/api/", 0) == 0;
  if (!management && !api) return BadRequest("Unknown path", 404);

  std::string error;
  const std::string& form = request.method == "PUT" ? request.body : request.query;
  const auto params = ParseFormParameters(form, error);
  if (!params) return BadRequest(error);
  std::uint32_t clientTx = 0, clientId = 0;
  if (const std::string* v = Find(*params, "ClientTransactionID"))
    if (!ParseUint32(*v, clientTx))
      return BadRequest("ClientTransactionID must be an unsigned 32-bit integer");
  if (const std::string* v = Find(*params, "ClientID"))
    if (!ParseUint32(*v, clientId))
      return BadRequest("ClientID must be an unsigned 32-bit integer");

  const auto envelope = [&](const std::string* value, int errorNumber, const std::string& message) {
    TAlpacaResponse r;
    r.body = "{";
    if (value) r.body += "\"Value\":" + *value + ",";
    r.body += "\"ClientTransactionID\":" + std::to_string(clientTx) +
              ",\"ServerTransactionID\":" + std::to_string(++serverTransaction_) +
              ",\"ErrorNumber\":" + std::to_string(errorNumber) +
              ",\"ErrorMessage\":" + JsonString(message) + "}";
    return r;
  };

  if (management) {
    if (request.method != "GET") return BadRequest("The management API is read with GET", 405);
    std::string value;
    if (path == "/management/apiversions") {
      value = "[1]";
    } else if (path == "/management/v1/description") {
      value = "{\"ServerName\":" + JsonString("Quorvel") +
              ",\"Manufacturer\":" + JsonString("Quorvel") +
              ",\"ManufacturerVersion\":" + JsonString(info_.version) +
              ",\"Location\":" + JsonString(info_.location) + "}";
    } else if (path == "/management/v1/configureddevices") {
      value = "[{\"DeviceName\":" + JsonString(info_.deviceName) +
              ",\"DeviceType\":\"ObservingConditions\",\"DeviceNumber\":0,\"UniqueID\":" +
              JsonString(info_.uniqueId) + "}]";
    } else {
      return BadRequest("Unknown management member", 404);
    }
    return envelope(&value, 0, "");
  }

  // /api/v1/{device_type}/{device_number}/{member}: all lower case.
  if (path.rfind(apiPrefix, 0) != 0) return BadRequest("Unknown device type or API version");
  const std::string rest = path.substr(apiPrefix.size());
  const std::size_t slash = rest.find('/');
  if (slash == std::string::npos) return BadRequest("No member named");
  if (rest.substr(0, slash) != "0") return BadRequest("Unknown device number");
  const std::string member = rest.substr(slash + 1);
  if (member.empty() || member.find('/') != std::string::npos) return BadRequest("Unknown member");

  // Members, their method, and what they answer.
  TAlpacaResponse r = Device(request, member, values, nowMs);
  if (r.status == 0) {
    // Device() hands back a value (body) or an Alpaca error (contentType
    // carries "error:<number>") for the envelope.
    if (r.contentType.rfind("error:", 0) == 0) {
      const int number = std::atoi(r.contentType.c_str() + 6);
      return envelope(nullptr, number, r.body);
    }
    if (r.contentType == "void") return envelope(nullptr, 0, "");
    return envelope(&r.body, 0, "");
  }
  return r;
}

TAlpacaResponse TAlpacaDevice::Device(const TAlpacaRequest& request, const std::string& member,
                                      const TAlpacaValues& values, std::int64_t nowMs) {
  const bool get = request.method == "GET";
  std::string error;
  const auto params = ParseFormParameters(get ? request.query : request.body, error);
  const auto value = [](std::string v) {
    TAlpacaResponse r;
    r.status = 0;
    r.contentType = "value";
    r.body = std::move(v);
    return r;
  };
  const auto none = [] {
    TAlpacaResponse r;
    r.status = 0;
    r.contentType = "void";
    return r;
  };
  const auto fail = [](int number, std::string message) {
    TAlpacaResponse r;
    r.status = 0;
    r.contentType = "error:" + std::to_string(number);
    r.body = std::move(message);
    return r;
  };
  const auto wrongMethod = [&] {
    return BadRequest("Member " + member + " is not used with " + request.method);
  };
  const auto str = [](const std::string& s) { return JsonString(s); };

  // The common members.
  if (member == "connected") {
    if (get) return value(connected_ ? "true" : "false");
    const std::string* v = Find(*params, "Connected");
    if (!v) return BadRequest("Missing parameter Connected");
    const auto b = ParseBool(*v);
    if (!b) return BadRequest("Connected must be true or false");
    connected_ = *b;
    return none();
  }
  if (member == "connect" || member == "disconnect") {
    if (get) return wrongMethod();
    // Clients come and go; acquisition goes on whatever they do.
    connected_ = member == "connect";
    return none();
  }
  if (member == "connecting") return get ? value("false") : wrongMethod();
  if (member == "description")
    return get ? value(str("Daytime solar seeing monitor: seeing as StarFWHM")) : wrongMethod();
  if (member == "driverinfo")
    return get ? value(str("Quorvel " + info_.version +
                           ", the program of a solar scintillation seeing monitor"))
               : wrongMethod();
  if (member == "driverversion") {
    // Major.minor of the program's version.
    std::string v;
    int dots = 0;
    for (char c : info_.version) {
      if (c == '.' && ++dots == 2) break;
      if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') break;
      v += c;
    }
    return get ? value(str(v.empty() ? "1.0" : v)) : wrongMethod();
  }
  if (member == "interfaceversion")
    return get ? value(std::to_string(kInterfaceVersion)) : wrongMethod();
  if (member == "name") return get ? value(str(info_.deviceName)) : wrongMethod();
  if (member == "supportedactions") return get ? value("[]") : wrongMethod();
  if (member == "action") {
    if (get) return wrongMethod();
    if (!Find(*params, "Action") || !Find(*params, "Parameters"))
      return BadRequest("Missing parameter Action or Parameters");
    return fail(kAlpacaActionNotImplemented, "No actions are supported");
  }
  if (member == "commandblind" || member == "commandbool" || member == "commandstring") {
    if (get) return wrongMethod();
    if (!Find(*params, "Command") || !Find(*params, "Raw"))
      return BadRequest("Missing parameter Command or Raw");
    return fail(kAlpacaNotImplemented, "Commands are not implemented");
  }

  const bool zenith = info_.zenith;
  const TAlpacaValues::TSlot& slot = values.seeing[period_][zenith ? 1 : 0];
  const auto age = [&]() {
    return Fixed(std::max<double>(0, static_cast<double>(nowMs - slot.utcMs) / 1000.0), 3);
  };

  if (member == "devicestate") {
    if (!get) return wrongMethod();
    if (!connected_) return fail(kAlpacaNotConnected, "Not connected");
    std::string list = "[";
    if (slot.set) list += "{\"Name\":\"StarFWHM\",\"Value\":" + Fixed(slot.value, 2) + "},";
    list +=
        "{\"Name\":\"TimeStamp\",\"Value\":" + str(FormatIsoUtcMs(slot.set ? slot.utcMs : nowMs)) +
        "}]";
    return value(list);
  }

  // ObservingConditions members.
  if (member == "averageperiod") {
    if (get) {
      if (!connected_) return fail(kAlpacaNotConnected, "Not connected");
      return value(Exact(AveragePeriodHours()));
    }
    const std::string* v = Find(*params, "AveragePeriod");
    if (!v) return BadRequest("Missing parameter AveragePeriod");
    const auto hours = ParseDouble(*v);
    if (!hours) return BadRequest("AveragePeriod must be a number of hours");
    if (!connected_) return fail(kAlpacaNotConnected, "Not connected");
    for (std::size_t i = 0; i < 3; ++i)
      if (std::fabs(*hours - kPeriods[i]) < 1e-6) {
        period_ = i;
        return none();
      }
    return fail(kAlpacaInvalidValue,
                "AveragePeriod " + Fixed(*hours, 6) +
                    " h is not offered: 0 (instant), 1/60 or 5/60 (one- and five-minute means)");
  }
  if (member == "refresh") {
    if (get) return wrongMethod();
    if (!connected_) return fail(kAlpacaNotConnected, "Not connected");
    return none();  // values are fresh every cycle
  }
  if (member == "sensordescription" || member == "timesincelastupdate") {
    if (!get) return wrongMethod();
    const std::string* name = Find(*params, "SensorName");
    if (!name) return BadRequest("Missing parameter SensorName");
    const bool any = name->empty();
    const bool star = EqualNoCase(*name, "StarFWHM");
    bool known = any || star;
    for (const char* s : kSensors) known = known || EqualNoCase(*name, s);
    if (!known) return fail(kAlpacaInvalidValue, "Unknown sensor name");
    if (!star && !(any && member == "timesincelastupdate"))
      return fail(kAlpacaNotImplemented,
                  any ? "A sensor name is needed" : "Sensor not implemented");
    if (!connected_) return fail(kAlpacaNotConnected, "Not connected");
    if (member == "sensordescription") {
      const char* periods[3] = {"instant value of one cycle (one a second)", "one-minute mean",
                                "five-minute mean"};
      return value(str(std::string("Seeing (FWHM) in arcseconds from the scintillation of the "
                                   "Sun, ") +
                       (zenith ? "corrected to the zenith" : "line of sight") + ", " +
                       periods[period_]));
    }
    if (!slot.set) return fail(kAlpacaValueNotSet, "No valid seeing measured yet");
    return value(age());
  }
  if (member == "starfwhm") {
    if (!get) return wrongMethod();
    if (!connected_) return fail(kAlpacaNotConnected, "Not connected");
    if (!slot.set)
      return fail(kAlpacaValueNotSet, period_ == 0 ? "No valid seeing measured yet"
                                                   : "No valid seeing mean over the period yet");
    return value(Fixed(slot.value, 2));
  }
  for (const char* s : kSensors)
    if (member == Lower(s)) {
      if (!get) return wrongMethod();
      return fail(kAlpacaNotImplemented, std::string(s) + " is not measured by this device");
    }
  return BadRequest("Unknown member " + JsonString(member));
}

bool IsAlpacaDiscovery(const char* data, std::size_t size) {
  static constexpr char kText[] = "alpacadiscovery1";
  return size >= sizeof kText - 1 && std::memcmp(data, kText, sizeof kText - 1) == 0;
}

std::string AlpacaDiscoveryAnswer(std::uint16_t httpPort) {
  return "{\"AlpacaPort\":" + std::to_string(httpPort) + "}";
}

}  // namespace quorvel
