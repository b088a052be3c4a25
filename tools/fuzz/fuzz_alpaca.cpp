// libFuzzer target for the Alpaca request handling. The input is a request
// (method, path, query and body separated by newlines) against one device
// that keeps its state across inputs, as a server does. Every answer must be
// one of the statuses the device uses, JSON answers must be valid UTF-8 with
// the envelope's members, and nothing may crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "alpaca/AlpacaDevice.h"

namespace {

bool ValidUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (n < 0 || i + static_cast<std::size_t>(n) >= s.size() + (n == 0 ? 1 : 0)) return n == 0;
    for (int k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) >> 6) != 2) return false;
    i += static_cast<std::size_t>(n) + 1;
  }
  return true;
}

std::string Next(const std::string& text, std::size_t& at) {
  const std::size_t nl = text.find('\n', at);
  const std::string part = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
  at = nl == std::string::npos ? text.size() : nl + 1;
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvel;
  static TAlpacaDevice device([] {
    TAlpacaInfo info;
    info.uniqueId = "fuzz";
    info.version = "1.2.3";
    info.location = "here";
    return info;
  }());
  static TAlpacaValues values = [] {
    TAlpacaValues v;
    TLiveSnapshot s;
    s.utcMs = 1782043200000LL;
    s.valid = true;
    s.reason = TInvalidReason::None;
    s.seeingArcsec = 1.23;
    s.seeingZenithArcsec = 0.98;
    s.seeing1MinArcsec = 1.5;
    v.Note(s);
    return v;
  }();
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::size_t at = 0;
  TAlpacaRequest r;
  r.method = Next(text, at);
  r.path = Next(text, at);
  r.query = Next(text, at);
  r.body = text.substr(at);
  const TAlpacaResponse out = device.Handle(r, values, 1782043260000LL);
  if (out.status != 200 && out.status != 400 && out.status != 404 && out.status != 405)
    std::abort();
  if (out.contentType.rfind("application/json", 0) == 0) {
    if (!ValidUtf8(out.body)) std::abort();
    if (out.body.empty() || out.body.front() != '{' || out.body.back() != '}') std::abort();
    if (out.body.find("\"ServerTransactionID\":") == std::string::npos) std::abort();
    if (out.body.find("\"ErrorNumber\":") == std::string::npos) std::abort();
  }
  std::string error;
  (void)ParseFormParameters(text, error);
  (void)IsAlpacaDiscovery(text.data(), text.size());
  return 0;
}
