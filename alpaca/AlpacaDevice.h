// The ASCOM Alpaca side of the program as plain request handling: one HTTP
// request in (method, path, query, body), one response out, for the
// ObservingConditions device 0 (seeing as StarFWHM), the management API, the
// setup page and the discovery answer. No sockets, no Qt: the server feeds
// it, the fuzz target too.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "live/LiveSnapshot.h"

namespace quorvel {

// Alpaca error numbers.
inline constexpr int kAlpacaNotImplemented = 0x400;
inline constexpr int kAlpacaInvalidValue = 0x401;
inline constexpr int kAlpacaValueNotSet = 0x402;
inline constexpr int kAlpacaNotConnected = 0x407;
inline constexpr int kAlpacaActionNotImplemented = 0x40C;

struct TAlpacaRequest {
  std::string method;  // "GET", "PUT", ...
  std::string path;    // percent-encoded, without the query
  std::string query;   // percent-encoded, without '?'
  std::string body;    // the form body of a PUT
};

struct TAlpacaResponse {
  int status = 200;
  std::string contentType = "application/json; charset=utf-8";
  std::string body;
};

struct TAlpacaInfo {
  std::string deviceName = "Quorvel seeing monitor";
  std::string uniqueId;
  std::string version;   // the program's version
  std::string location;  // the site, for the management description
  bool zenith = false;   // StarFWHM corrected to the zenith
};

// The seeing values the device serves: the latest of each kind with its time.
// Filled from the snapshots (see Note), read by Handle.
struct TAlpacaValues {
  struct TSlot {
    double value = 0;
    std::int64_t utcMs = 0;
    bool set = false;
  };
  // [period: instant, 1 min, 5 min][0 line of sight, 1 zenith]
  std::array<std::array<TSlot, 2>, 3> seeing{};
  // Takes the values that exist in the snapshot; the others keep their last.
  void Note(const TLiveSnapshot& snapshot);
};

// The parameters of a request: names as sent, values percent-decoded.
// Empty result and `error` set when the encoding is malformed.
std::optional<std::vector<std::pair<std::string, std::string>>> ParseFormParameters(
    const std::string& text, std::string& error);

class TAlpacaDevice {
 public:
  explicit TAlpacaDevice(TAlpacaInfo info);

  // `nowMs` is the UTC time of the request.
  TAlpacaResponse Handle(const TAlpacaRequest& request, const TAlpacaValues& values,
                         std::int64_t nowMs);

  const TAlpacaInfo& Info() const { return info_; }
  double AveragePeriodHours() const { return kPeriods[period_]; }
  bool Connected() const { return connected_; }

  // The three averaging periods the device offers, in hours.
  static constexpr double kPeriods[3] = {0.0, 1.0 / 60.0, 5.0 / 60.0};

 private:
  TAlpacaResponse Device(const TAlpacaRequest& request, const std::string& member,
                         const TAlpacaValues& values, std::int64_t nowMs);

  TAlpacaInfo info_;
  std::uint32_t serverTransaction_ = 0;
  std::size_t period_ = 0;
  bool connected_ = false;
};

// Whether a UDP datagram asks for Alpaca devices, and the answer to send.
bool IsAlpacaDiscovery(const char* data, std::size_t size);
std::string AlpacaDiscoveryAnswer(std::uint16_t httpPort);

}  // namespace quorvel
