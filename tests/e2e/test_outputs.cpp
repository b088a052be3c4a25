// The live outputs of the built executable: the seeing trigger with its
// commands, the live file and the Alpaca ObservingConditions device, driven
// by a real HTTP client and UDP socket on 127.0.0.1 while quorvel runs
// headless on the simulated or replayed instrument and the virtual clock.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "LiveClient.h"
#include "RunQuorvel.h"
#include "measure/Declarations.h"

namespace quorvel::e2e {
namespace {

constexpr const char* kMorning = "2026-05-03T08:00:00";
const std::string kMay3 = DayFileName(2026, 5, 3);
constexpr const char* kDev = "/api/v1/observingconditions/0/";

// A measurement answer of the replay file: seeing (line of sight) in arcsec,
// or a dark sky.
std::string ReportHex(double seeing) {
  std::array<std::uint8_t, 65> b{};
  b[1] = 0x81;
  const auto put = [&b](int index, float v) {
    TSingle32 s;
    s.SetValue(v);
    s.ToWire(&b[static_cast<std::size_t>(index)]);
  };
  // The reference answer: 50000 ADU with 2000 ADU of scintillation gives
  // 1.2305236 arcsec; the seeing follows the scintillation.
  const bool dark = seeing <= 0;
  put(2, dark ? 100.0f : 50000.0f);
  put(6, 12.0f);
  put(10, 32768.0f);
  put(14, dark ? 10.0f : static_cast<float>(2000.0 * seeing / 1.2305236));
  TUint32 n;
  n.SetValue(2000);
  n.ToWire(&b[18]);
  put(26, 21.5f);
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t v : b) {
    out += hex[v >> 4];
    out += hex[v & 15];
  }
  return out;
}

std::string Replay(const std::vector<double>& seeing) {
  std::string text = "# crafted seeing, one measurement a second\n";
  for (double s : seeing) text += ReportHex(s) + "\n";
  return text;
}

std::string TimeOfDay(const std::string& utcColumn) {
  return utcColumn.size() >= 8 ? utcColumn.substr(utcColumn.size() - 8) : std::string();
}

class Outputs : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("quorvel_out_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    data_ = dir_ / "data";
    port_ = FreePort();
    udp_ = FreePort(true);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::vector<std::string> Base(const std::string& speed) const {
    return {"--headless",
            "--speed",
            speed,
            "--clock-start",
            kMorning,
            "--data-dir",
            data_.string(),
            "--settings",
            (dir_ / "settings.ini").string(),
            "--live-file",
            (dir_ / "live" / "live.json").string()};
  }
  std::vector<std::string> Alpaca(std::vector<std::string> args) const {
    for (const std::string& a :
         {std::string("--alpaca-port"), std::to_string(port_), std::string("--alpaca-bind"),
          std::string("127.0.0.1"), std::string("--alpaca-discovery-port"), std::to_string(udp_)})
      args.push_back(a);
    return args;
  }
  THttpReply Get(const std::string& target) const { return Http(port_, "GET", target); }
  THttpReply Put(const std::string& target, const std::string& body) const {
    return Http(port_, "PUT", target, body);
  }
  static int ErrorNumber(const THttpReply& r) {
    const auto e = JsonMember(r.body, "ErrorNumber");
    return e ? std::stoi(*e) : -1;
  }
  static std::string Value(const THttpReply& r) {
    return JsonMember(r.body, "Value").value_or("?");
  }
  // Polls StarFWHM until it has a value.
  std::string WaitStarFwhm(int timeoutMs = 30000) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      const THttpReply r = Get(std::string(kDev) + "starfwhm");
      if (ErrorNumber(r) == 0) return Value(r);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
  }

  fs::path dir_, data_;
  int port_ = 0, udp_ = 0;
};

struct TCall {
  const char* method;
  std::string target;
  std::string body;
  int status;
  int error;          // -1: not an envelope
  const char* value;  // nullptr: any
};

TEST_F(Outputs, AlpacaDeviceFollowsTheProtocol) {
  std::vector<std::string> args = Alpaca(Base("5"));
  args.insert(args.begin() + 1, "--simulate");
  TChild q(args, dir_);
  ASSERT_TRUE(q.WaitFor("Alpaca device listening on 127.0.0.1:" + std::to_string(port_)))
      << q.Out() << q.Err();
  const std::string d = kDev;
  // Before a client connects, the measured members say so.
  for (const TCall& c : std::vector<TCall>{
           {"GET", d + "connected", "", 200, 0, "false"},
           {"GET", d + "starfwhm", "", 200, 0x407, nullptr},
           {"PUT", d + "connected", "Connected=true&ClientID=1&ClientTransactionID=2", 200, 0,
            nullptr},
       }) {
    const THttpReply r = Http(port_, c.method, c.target, c.body);
    EXPECT_EQ(r.status, c.status) << c.method << " " << c.target << ": " << r.body;
    EXPECT_EQ(ErrorNumber(r), c.error) << c.target << ": " << r.body;
    if (c.value) {
      EXPECT_EQ(Value(r), c.value) << c.target;
    }
  }

  std::vector<TCall> calls = {
      // Names of parameters in any case; values as sent.
      {"GET", d + "connected?clientid=1&CLIENTTRANSACTIONID=3", "", 200, 0, "true"},
      {"PUT", d + "connected", "cOnNeCtEd=True", 200, 0, nullptr},
      {"GET", d + "interfaceversion", "", 200, 0, "2"},
      {"GET", d + "supportedactions", "", 200, 0, "[]"},
      {"GET", d + "connecting", "", 200, 0, "false"},
      {"GET", d + "name", "", 200, 0, "\"Quorvel seeing monitor\""},
      {"GET", d + "description", "", 200, 0, nullptr},
      {"GET", d + "driverinfo", "", 200, 0, nullptr},
      {"GET", d + "driverversion", "", 200, 0, nullptr},
      {"PUT", d + "action", "Action=x&Parameters=", 200, 0x40C, nullptr},
      {"PUT", d + "action", "", 400, -1, nullptr},
      {"PUT", d + "commandblind", "Command=x&Raw=false", 200, 0x400, nullptr},
      {"PUT", d + "commandbool", "Command=x&Raw=false", 200, 0x400, nullptr},
      {"PUT", d + "commandstring", "Command=x&Raw=false", 200, 0x400, nullptr},
      {"GET", d + "averageperiod", "", 200, 0, "0"},
      {"PUT", d + "averageperiod", "AveragePeriod=0.5", 200, 0x401, nullptr},
      {"PUT", d + "averageperiod", "AveragePeriod=-1", 200, 0x401, nullptr},
      {"PUT", d + "averageperiod", "AveragePeriod=abc", 400, -1, nullptr},
      {"PUT", d + "averageperiod", "", 400, -1, nullptr},
      {"GET", d + "averageperiod", "", 200, 0, "0"},
      {"PUT", d + "refresh", "", 200, 0, nullptr},
      {"GET", d + "refresh", "", 400, -1, nullptr},
      {"PUT", d + "starfwhm", "", 400, -1, nullptr},
      {"GET", d + "sensordescription", "", 400, -1, nullptr},
      {"GET", d + "sensordescription?SensorName=Nonsense", "", 200, 0x401, nullptr},
      {"GET", d + "timesincelastupdate?SensorName=Nonsense", "", 200, 0x401, nullptr},
      {"PUT", d + "connected", "Connected=maybe", 400, -1, nullptr},
      {"PUT", d + "connected", "", 400, -1, nullptr},
      // Unknown members, devices, device types, versions and casing.
      {"GET", d + "nonsense", "", 400, -1, nullptr},
      {"GET", "/api/v1/observingconditions/1/starfwhm", "", 400, -1, nullptr},
      {"GET", "/api/v1/telescope/0/connected", "", 400, -1, nullptr},
      {"GET", "/api/v1/ObservingConditions/0/starfwhm", "", 400, -1, nullptr},
      {"GET", d + "StarFWHM", "", 400, -1, nullptr},
      {"GET", "/api/v2/observingconditions/0/starfwhm", "", 400, -1, nullptr},
      {"POST", d + "connected", "Connected=true", 405, -1, nullptr},
      // Management API and setup pages.
      {"GET", "/management/apiversions", "", 200, 0, "[1]"},
      {"GET", "/management/v1/description", "", 200, 0, nullptr},
      {"GET", "/management/v1/configureddevices", "", 200, 0, nullptr},
      {"GET", "/management/v1/nonsense", "", 404, -1, nullptr},
      {"GET", "/nonsense", "", 404, -1, nullptr},
      // Malformed encodings and bytes that are not UTF-8.
      {"GET", d + "connected?ClientID=%G1", "", 400, -1, nullptr},
      {"GET", d + "connected?ClientID=%FF", "", 400, -1, nullptr},
      {"GET", d + "%FF%FE", "", 400, -1, nullptr},
      {"GET", d + "connected?Nonsense=%FF%FE", "", 200, 0, "true"},
  };
  // ClientID and ClientTransactionID: absent is fine, anything but an
  // unsigned 32-bit integer is a bad request.
  for (const char* name : {"ClientID", "ClientTransactionID"})
    for (const char* bad : {"-1", "abc", "", "4294967296", "1.5", "+1", "%201"})
      calls.push_back({"GET", d + "connected?" + name + "=" + bad, "", 400, -1, nullptr});
  // Every sensor but StarFWHM is not implemented, for its value, its
  // description and its age alike.
  for (const char* s :
       {"CloudCover", "DewPoint", "Humidity", "Pressure", "RainRate", "SkyBrightness", "SkyQuality",
        "SkyTemperature", "Temperature", "WindDirection", "WindGust", "WindSpeed"}) {
    std::string lower = s;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    calls.push_back({"GET", d + lower, "", 200, 0x400, nullptr});
    calls.push_back({"GET", d + "sensordescription?SensorName=" + s, "", 200, 0x400, nullptr});
    calls.push_back({"GET", d + "timesincelastupdate?SensorName=" + s, "", 200, 0x400, nullptr});
  }
  for (const TCall& c : calls) {
    const THttpReply r = Http(port_, c.method, c.target, c.body);
    EXPECT_EQ(r.status, c.status) << c.method << " " << c.target << ": " << r.body;
    if (c.error >= 0) {
      EXPECT_EQ(ErrorNumber(r), c.error) << c.method << " " << c.target << ": " << r.body;
      EXPECT_NE(r.contentType.find("application/json"), std::string::npos) << c.target;
    }
    if (c.value) {
      EXPECT_EQ(Value(r), c.value) << c.method << " " << c.target;
    }
  }

  // The envelope: the client's transaction echoed, the server's increasing.
  const THttpReply a = Get(d + "connected?ClientTransactionID=4294967295");
  const THttpReply b = Get(d + "connected");
  EXPECT_EQ(JsonMember(a.body, "ClientTransactionID"), "4294967295");
  EXPECT_EQ(JsonMember(b.body, "ClientTransactionID"), "0");
  EXPECT_EQ(JsonMember(b.body, "ErrorMessage"), "\"\"");
  EXPECT_GT(std::stoul(JsonMember(b.body, "ServerTransactionID").value_or("0")),
            std::stoul(JsonMember(a.body, "ServerTransactionID").value_or("0")));
  const THttpReply put = Put(d + "refresh", "ClientTransactionID=77");
  EXPECT_FALSE(JsonMember(put.body, "Value")) << put.body;
  EXPECT_EQ(JsonMember(put.body, "ClientTransactionID"), "77");

  // The seeing itself, its description and its age.
  const std::string seeing = WaitStarFwhm();
  ASSERT_FALSE(seeing.empty()) << q.Out();
  EXPECT_GT(std::stod(seeing), 0);
  const THttpReply desc = Get(d + "sensordescription?SensorName=StarFWHM");
  EXPECT_NE(desc.body.find("line of sight"), std::string::npos) << desc.body;
  EXPECT_NE(desc.body.find("arcseconds"), std::string::npos) << desc.body;
  for (const char* name : {"StarFWHM", "starfwhm", ""}) {
    const THttpReply age = Get(d + "timesincelastupdate?SensorName=" + name);
    EXPECT_EQ(ErrorNumber(age), 0) << name << ": " << age.body;
    EXPECT_GE(std::stod(Value(age)), 0) << age.body;
  }
  const THttpReply state = Get(d + "devicestate");
  EXPECT_NE(state.body.find("{\"Name\":\"StarFWHM\",\"Value\":"), std::string::npos) << state.body;
  EXPECT_NE(state.body.find("{\"Name\":\"TimeStamp\",\"Value\":\"2026-05-03T"), std::string::npos)
      << state.body;

  // The means: 1/60 and 5/60 h are offered, read back exactly.
  for (const auto& [hours, text] : std::vector<std::pair<std::string, std::string>>{
           {"0.016666666666666666", "0.016666666666666666"},
           {"0.0833333333333333", "0.083333333333333329"},
           {"0", "0"}}) {
    const THttpReply set = Put(d + "averageperiod", "AveragePeriod=" + hours);
    EXPECT_EQ(ErrorNumber(set), 0) << hours << ": " << set.body;
    EXPECT_EQ(Value(Get(d + "averageperiod")), text);
  }
  ASSERT_EQ(ErrorNumber(Put(d + "averageperiod", "AveragePeriod=0.016666666666666666")), 0);
  EXPECT_FALSE(WaitStarFwhm(60000).empty()) << "no one-minute mean";
  const THttpReply meanDesc = Get(d + "sensordescription?SensorName=StarFWHM");
  EXPECT_NE(meanDesc.body.find("one-minute mean"), std::string::npos) << meanDesc.body;

  const THttpReply setup = Get("/setup/v1/observingconditions/0/setup");
  EXPECT_EQ(setup.status, 200);
  EXPECT_NE(setup.contentType.find("text/html"), std::string::npos);
  const THttpReply devices = Get("/management/v1/configureddevices");
  EXPECT_NE(devices.body.find("\"DeviceType\":\"ObservingConditions\",\"DeviceNumber\":0"),
            std::string::npos)
      << devices.body;

  // Discovery: the Alpaca request is answered with the HTTP port, anything
  // else is ignored.
  const auto found = UdpExchange(udp_, "alpacadiscovery1", 3000);
  ASSERT_TRUE(found) << q.Out();
  EXPECT_EQ(*found, "{\"AlpacaPort\":" + std::to_string(port_) + "}");
  EXPECT_FALSE(UdpExchange(udp_, "alpacadiscovery", 300));
  EXPECT_FALSE(UdpExchange(udp_, "hello", 300));

  // A client going away leaves acquisition running.
  ASSERT_EQ(ErrorNumber(Put(d + "disconnect", "")), 0);
  EXPECT_EQ(Value(Get(d + "connected")), "false");
  const auto lines = ReadDayFile(data_ / kMay3).lines.size();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_GT(ReadDayFile(data_ / kMay3).lines.size(), lines);
  EXPECT_TRUE(q.Running());
  EXPECT_EQ(q.Stop(), 0) << q.Err();
}

TEST_F(Outputs, StarFwhmIsTheSeeingOfTheResultsLineOfItsCycle) {
  std::vector<std::string> args = Alpaca(Base("2"));
  args.insert(args.begin() + 1, "--simulate");
  TChild q(args, dir_);
  ASSERT_TRUE(q.WaitFor("Alpaca device listening")) << q.Out();
  ASSERT_EQ(ErrorNumber(Put(std::string(kDev) + "connect", "")), 0);
  ASSERT_FALSE(WaitStarFwhm().empty());
  // The device state carries the value and the UTC time of its cycle in one
  // answer; the results line of that second must show the same seeing.
  std::vector<std::pair<std::string, std::string>> seen;  // time of day, seeing
  for (int i = 0; i < 4; ++i) {
    const THttpReply r = Get(std::string(kDev) + "devicestate");
    const auto v = r.body.find("\"StarFWHM\",\"Value\":");
    const auto t = r.body.find("\"TimeStamp\",\"Value\":\"");
    ASSERT_NE(v, std::string::npos) << r.body;
    ASSERT_NE(t, std::string::npos) << r.body;
    const std::string value = r.body.substr(v + 19, r.body.find('}', v) - v - 19);
    const std::string stamp = r.body.substr(t + 21 + 11, 8);
    seen.emplace_back(stamp, value);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
  }
  const std::string direct = WaitStarFwhm();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  q.Stop();
  const TDayFile f = ReadDayFile(data_ / kMay3);
  bool directFound = false;
  for (const auto& [stamp, value] : seen) {
    bool found = false;
    for (const auto& l : f.lines) {
      if (l == ResultHeader()) continue;
      const auto fields = Fields(l);
      if (TimeOfDay(fields.at(1)) == stamp) {
        EXPECT_EQ(fields.at(4), value) << stamp << ": " << l;
        found = true;
      }
    }
    EXPECT_TRUE(found) << "no results line at " << stamp;
  }
  for (const auto& l : f.lines)
    if (l != ResultHeader() && Fields(l).at(4) == direct) directFound = true;
  EXPECT_TRUE(directFound) << direct;
}

TEST_F(Outputs, NoSeeingYetIsAnAlpacaErrorThenTheLastValidValueAgesAndTheUniqueIdStays) {
  // 40 dark seconds, 10 measured ones, then dark again.
  std::vector<double> seeing(40, 0.0);
  for (int i = 0; i < 10; ++i) seeing.push_back(1.23);
  seeing.resize(seeing.size() + 400, 0.0);
  WriteFile(dir_ / "replay.txt", Replay(seeing));
  std::vector<std::string> args = Alpaca(Base("10"));
  args.insert(args.begin() + 1, "--replay");
  args.insert(args.begin() + 2, (dir_ / "replay.txt").string());
  std::string uniqueId;
  {
    TChild q(args, dir_);
    ASSERT_TRUE(q.WaitFor("Alpaca device listening")) << q.Out();
    ASSERT_EQ(ErrorNumber(Put(std::string(kDev) + "connected", "Connected=true")), 0);
    const THttpReply none = Get(std::string(kDev) + "starfwhm");
    EXPECT_EQ(ErrorNumber(none), 0x402) << none.body;
    EXPECT_FALSE(JsonMember(none.body, "Value")) << none.body;
    EXPECT_EQ(ErrorNumber(Get(std::string(kDev) + "timesincelastupdate?SensorName=StarFWHM")),
              0x402);
    EXPECT_EQ(WaitStarFwhm(), "1.23");
    // Dark again: the value stays, its age grows.
    ASSERT_TRUE(q.WaitFor("Sun light level", 1) || true);
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(Value(Get(std::string(kDev) + "starfwhm")), "1.23");
    const double age1 =
        std::stod(Value(Get(std::string(kDev) + "timesincelastupdate?SensorName=StarFWHM")));
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const double age2 =
        std::stod(Value(Get(std::string(kDev) + "timesincelastupdate?SensorName=")));
    EXPECT_GT(age1, 5) << q.Out();
    EXPECT_GT(age2, age1 + 3);
    uniqueId = JsonMember(Get("/management/v1/configureddevices").body, "Value").value_or("");
    EXPECT_NE(uniqueId.find("\"UniqueID\":\""), std::string::npos) << uniqueId;
    q.Stop();
  }
  // Made once, kept in the settings, the same after a restart.
  EXPECT_NE(ReadFile(dir_ / "settings.ini").find("AlpacaUniqueID"), std::string::npos);
  TChild again(args, dir_ / "again");
  ASSERT_TRUE(again.WaitFor("Alpaca device listening")) << again.Out();
  EXPECT_EQ(JsonMember(Get("/management/v1/configureddevices").body, "Value").value_or("-"),
            uniqueId);
}

TEST_F(Outputs, APortInUseIsOneClearLineAndEverythingElseGoesOn) {
  // Something already listens on the port.
  const int busy = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port_));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(busy, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(busy, 1), 0);
  std::vector<std::string> args = Alpaca(Base("0"));
  args.insert(args.begin() + 1, "--simulate");
  for (const char* x : {"--duration", "120", "--trigger-start", "0.5", "--trigger-stop", "0.5",
                        "--on-bad", "/nonexistent/quorvel-test-program --flag"})
    args.push_back(x);
  TRunPlan plan;
  plan.args = args;
  const TRunResult r = RunQuorvel(plan, dir_);
  ::close(busy);
  EXPECT_TRUE(r.exited) << r.err;
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      r.Count("Alpaca device not started : cannot listen on 127.0.0.1:" + std::to_string(port_)), 1)
      << r.out;
  EXPECT_FALSE(r.Has("Alpaca device listening"));
  EXPECT_GE(ReadDayFile(data_ / kMay3).lines.size(), 100u);
  EXPECT_TRUE(r.Has("Seeing trigger : BAD (")) << r.out;
  EXPECT_TRUE(
      r.Has("Trigger command \"/nonexistent/quorvel-test-program --flag\" could not "
            "start : No such file or directory"))
      << r.out;
  const std::string live = ReadFile(dir_ / "live" / "live.json");
  EXPECT_EQ(live.rfind("{\"utc\":\"2026-05-03T08:02:00.000Z\"", 0), 0u) << live;
  EXPECT_NE(live.find("\"trigger\":\"bad\""), std::string::npos) << live;
  // Only the file itself is left in its folder.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir_ / "live")) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

// The trigger over a crafted replay: both levels crossed, the band, the
// minimum time, invalid cycles, and commands that fail or hang.
TEST_F(Outputs, TriggerTransitionsOverACraftedReplayRunCommandsWithoutBlocking) {
  const double dark = 0;
  const std::vector<double> seeing = {
      dark, dark,              // unknown at first
      1.80,                    // in the band: BAD (measuring, not good yet)
      1.40, 1.45, 1.30, 1.20,  // at or below 1.5 for 3 s: GOOD at 1.20
      1.90, 1.95, 1.60,        // in the band: no flapping
      2.10,                    // above 2.0: BAD at once
      1.70, 1.40, 1.90, 1.40,  // a run broken by the band
      1.40, dark, 1.40, 1.40,  // and by a dark second
      1.40, 1.35,              // GOOD at 1.35
      dark, dark, dark, dark,  // clouds: GOOD holds
      dark, dark, dark,        // 5 s without a value: BAD
  };
  std::vector<double> all = seeing;
  for (int i = 0; i < 30; ++i) all.push_back(2.5);  // BAD stays
  all.push_back(1.0);
  all.push_back(1.0);
  all.push_back(1.0);
  all.push_back(1.0);  // GOOD, then BAD again by the 3.0 below
  for (int i = 0; i < 30; ++i) all.push_back(3.0);
  WriteFile(dir_ / "replay.txt", Replay(all));
  // The BAD command fails the first time, hangs the second, works after.
  WriteFile(
      dir_ / "bad.sh",
      "#!/bin/sh\n"
      "n=$(cat calls 2>/dev/null || echo 0); n=$((n+1)); echo $n > calls\n"
      "echo \"$QUORVEL_TRIGGER $QUORVEL_TRIGGER_PREVIOUS $QUORVEL_TRIGGER_VALUE\" >> bad.txt\n"
      "[ $n = 1 ] && exit 3\n"
      "[ $n = 2 ] && exec sleep 100\n"
      "exit 0\n");
  fs::permissions(dir_ / "bad.sh", fs::perms::owner_all);
  std::vector<std::string> args = Base("10");
  args.insert(args.begin() + 1, "--replay");
  args.insert(args.begin() + 2, (dir_ / "replay.txt").string());
  for (const std::string& x :
       {std::string("--trigger-value"), std::string("instant"), std::string("--trigger-start"),
        std::string("1.5"), std::string("--trigger-stop"), std::string("2.0"),
        std::string("--trigger-min-good"), std::string("3"), std::string("--trigger-max-invalid"),
        std::string("5"), std::string("--on-good"),
        std::string("sh -c 'echo \"$QUORVEL_TRIGGER $QUORVEL_TRIGGER_VALUE "
                    "$QUORVEL_TRIGGER_WATCHES\" >> good.txt'"),
        std::string("--on-bad"), (dir_ / "bad.sh").string(), std::string("--command-timeout"),
        std::string("1")})
    args.push_back(x);
  TRunPlan plan;
  plan.args = args;
  const auto start = std::chrono::steady_clock::now();
  const TRunResult r = RunQuorvel(plan, dir_);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(r.exited && r.status == 0) << r.err;
  std::vector<std::string> changes;
  for (const auto& l : r.log)
    if (l.rfind("Seeing trigger : ", 0) == 0) changes.push_back(l.substr(17));
  const std::vector<std::string> expected = {
      "BAD (1.80 arcsec, instant value)",         "GOOD (1.20 arcsec, instant value)",
      "BAD (2.10 arcsec, instant value)",         "GOOD (1.35 arcsec, instant value)",
      "BAD (no valid seeing for 5 s, low_light)", "GOOD (1.00 arcsec, instant value)",
      "BAD (3.00 arcsec, instant value)",
  };
  EXPECT_EQ(changes, expected) << r.out;
  EXPECT_EQ(ReadFile(dir_ / "good.txt"),
            "good 1.20 instant value\ngood 1.35 instant value\ngood 1.00 instant value\n");
  EXPECT_EQ(ReadFile(dir_ / "bad.txt"),
            "bad unknown 1.80\nbad good 2.10\nbad good \nbad good 3.00\n");
  EXPECT_EQ(
      r.Count("Trigger command \"" + (dir_ / "bad.sh").string() + "\" failed : exit status 3"), 1)
      << r.out;
  EXPECT_EQ(r.Count("Trigger command \"" + (dir_ / "bad.sh").string() +
                    "\" killed after 1.0 s (time limit)"),
            1)
      << r.out;
  // The hanging command held back no cycle: every measured second has its
  // line, and the whole run took about its virtual time.
  int measured = 0;
  for (double s : all) measured += s > 0;
  EXPECT_EQ(ReadDayFile(data_ / kMay3).lines.size(), static_cast<std::size_t>(measured) + 1);
  EXPECT_LT(seconds, 30);
}

// While acquisition stands still the outputs still see time pass: the live
// file moves on and the trigger turns BAD once the wait is over.
TEST_F(Outputs, WithoutAnInstrumentTheOutputsSeeTimePass) {
  std::vector<std::string> args = Base("0");
  args.insert(args.begin() + 1, "--simulate");
  for (const char* x : {"--sim-events", "30:unplug", "--duration", "60", "--trigger-start", "99",
                        "--trigger-stop", "99", "--trigger-min-good", "0", "--trigger-max-invalid",
                        "10", "--trigger-value", "instant"})
    args.push_back(x);
  TRunPlan plan;
  plan.args = args;
  const TRunResult r = RunQuorvel(plan, dir_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.Has("Seeing trigger : GOOD (")) << r.out;
  EXPECT_TRUE(r.Has("Seeing trigger : BAD (no valid seeing for 10 s, no_instrument)")) << r.out;
  const std::string live = ReadFile(dir_ / "live" / "live.json");
  EXPECT_EQ(live.rfind("{\"utc\":\"2026-05-03T08:01:00.000Z\",\"valid\":false", 0), 0u) << live;
  EXPECT_NE(live.find("\"reason\":\"no_instrument\""), std::string::npos) << live;
  EXPECT_NE(live.find("\"seeing_arcsec\":null"), std::string::npos) << live;
}

// Hostile clients: many connections, a slow one, huge headers, bad URLs.
// Memory stays bounded, the program keeps measuring and answers afterwards.
TEST_F(Outputs, HostileClientsLeaveMemoryBoundedAndTheDeviceAnswering) {
  rlimit lim{};
  ::getrlimit(RLIMIT_NOFILE, &lim);
  if (lim.rlim_cur < 1200) {
    lim.rlim_cur = std::min<rlim_t>(lim.rlim_max, 1200);
    ::setrlimit(RLIMIT_NOFILE, &lim);
  }
  if (lim.rlim_cur < 1200) GTEST_SKIP() << "needs 1200 open files, the limit is " << lim.rlim_cur;
  std::vector<std::string> args = Alpaca(Base("5"));
  args.insert(args.begin() + 1, "--simulate");
  TChild q(args, dir_);
  ASSERT_TRUE(q.WaitFor("Alpaca device listening")) << q.Out();
  ASSERT_EQ(ErrorNumber(Put(std::string(kDev) + "connect", "")), 0);
  ASSERT_FALSE(WaitStarFwhm().empty());
  const long rssBefore = q.RssKb();

  // A slow client: one byte a second, for longer than a request may take.
  double slowCutAfter = -1;  // seconds until the server closed on the slow client
  std::atomic<bool> slowStarted{false};
  std::thread slow([this, &slowCutAfter, &slowStarted] {
    const std::string request = "GET /api/v1/observingconditions/0/starfwhm HTTP/1.1\r\nX: ";
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port_));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
      const char c = request[static_cast<std::size_t>(i) % request.size()];
      char buf[16];
      if (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) == 0 || ::send(fd, &c, 1, MSG_NOSIGNAL) != 1) {
        slowCutAfter =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        break;
      }
      slowStarted = true;
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    slowStarted = true;
    ::close(fd);
  });
  // The slow client holds its connection before the crowd arrives.
  while (!slowStarted) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  // 1000 connections at once, all silent.
  std::vector<int> many;
  for (int i = 0; i < 1000; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port_));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    many.push_back(fd);
  }
  // 1 MB of headers, in lines and in one line; a huge body; bad request lines.
  std::string headers = "GET /management/apiversions HTTP/1.1\r\nHost: x\r\n";
  while (headers.size() < (1u << 20)) headers += "X-Filler: " + std::string(1000, 'a') + "\r\n";
  const std::vector<std::string> hostile = {
      headers + "\r\n",
      "GET /management/apiversions HTTP/1.1\r\nX: " + std::string(1u << 20, 'b') + "\r\n\r\n",
      "PUT /api/v1/observingconditions/0/connected HTTP/1.1\r\nContent-Length: 100000000\r\n\r\n" +
          std::string(1u << 20, 'c'),
      "GET /%%%%%%/../..//\xff\xfe HTTP/1.1\r\n\r\n",
      "GET " + std::string(100000, '/') + " HTTP/1.1\r\n\r\n",
      "\xff\xfe\xfd\r\n\r\n",
      "GET /api/v1/observingconditions/0/connected?ClientID=\xc3\x28 HTTP/1.1\r\n\r\n",
      "GET /api/v1/observingconditions/0/\xe2\x82 HTTP/1.1\r\n\r\n",
      "GARBAGE\r\n\r\n",
      std::string(5000, '\0'),
  };
  for (const std::string& h : hostile) RawExchange(port_, h, 3000);
  for (int fd : many) ::close(fd);
  slow.join();

  // Answers again, still measuring, memory bounded.
  std::string after;
  for (int i = 0; i < 100 && after.empty(); ++i) {
    const THttpReply r = Get("/management/apiversions");
    if (r.status == 200)
      after = r.body;
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_NE(after.find("\"Value\":[1]"), std::string::npos);
  EXPECT_TRUE(q.Running()) << q.Err();
  // The slow client was cut off after the time one request may take.
  EXPECT_GE(slowCutAfter, 9);
  EXPECT_LE(slowCutAfter, 13);
  const long rssAfter = q.RssKb();
  EXPECT_LT(rssAfter - rssBefore, 64 * 1024) << rssBefore << " -> " << rssAfter;
  const TDayFile f = ReadDayFile(data_ / kMay3);
  EXPECT_TRUE(f.badLines.empty());
  EXPECT_EQ(q.Stop(), 0) << q.Err();
}

}  // namespace
}  // namespace quorvel::e2e
