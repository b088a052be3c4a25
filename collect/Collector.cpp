#include "collect/Collector.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/ArchiveRow.h"
#include "common/Errors.h"
#include "mqtt/MqttConfig.h"
#include "mqtt/MqttSecrets.h"
#include "pgarchive/PgArchive.h"

namespace quorvel::archive {

namespace {

using TSteady = std::chrono::steady_clock;

// Bad messages said one by one up to this many a minute, then counted.
constexpr int kBadLogsPerMinute = 10;
constexpr auto kMaxBackoff = std::chrono::seconds(30);
// Stations whose instrument is remembered: a flood of made-up station names
// must not grow memory without bound.
constexpr std::size_t kMaxInstrumentStations = 10000;

// libmosquitto sends the acknowledgement of a QoS 1 message as it reads it,
// before handing it over. So the collector drives the client itself with
// the client told it is "threaded": nothing queued is written until the
// collector calls mosquitto_loop_write, which it does only while it holds
// no message that is not committed. A connection that ends drops what was
// queued; the broker sends again what it has no acknowledgement for.
class TCollector {
 public:
  TCollector(const TCollectOptions& o, const std::atomic<bool>& stop, const TCollectLog& log)
      : o_(o), stop_(stop), log_(log), db_(o.conninfo) {}
  ~TCollector() {
    if (mosq_) mosquitto_destroy(mosq_);
  }

  int Run() {
    std::string error;
    if (!TPgArchive::CheckConninfo(o_.conninfo, error)) {
      Log("the database connection string cannot be read: " + error);
      return 1;
    }
    const auto address = ParseMqttUrl(o_.url, error);
    if (!address) {
      Log(error);
      return 1;
    }
    address_ = *address;
    if (!SetUpClient()) return 1;

    while (!stop_) {
      if (!db_.Connected() && !ConnectDatabase()) {
        if (fatal_) return 1;
        continue;
      }
      if (mosquitto_socket(mosq_) < 0 && !ConnectBroker()) continue;
      Step();
    }
    Finish();
    return 0;
  }

 private:
  void Log(const std::string& text) {
    if (log_) log_(text);
  }
  std::string Broker() const {
    return (address_.tls ? "mqtts://" : "mqtt://") +
           (address_.host.find(':') != std::string::npos ? "[" + address_.host + "]"
                                                         : address_.host) +
           ":" + std::to_string(address_.port);
  }

  // Sleeps up to `d`, waking for a stop.
  void Pause(std::chrono::milliseconds d) {
    const auto until = TSteady::now() + d;
    while (!stop_ && TSteady::now() < until)
      std::this_thread::sleep_for(
          std::min<TSteady::duration>(std::chrono::milliseconds(100), until - TSteady::now()));
  }
  static std::chrono::milliseconds Next(std::chrono::milliseconds d) {
    return std::min<std::chrono::milliseconds>(d * 2, kMaxBackoff);
  }

  bool SetUpClient() {
    const std::string id = o_.clientId;
    mosq_ = mosquitto_new(id.c_str(), false, this);
    if (!mosq_) {
      Log("cannot create the MQTT client");
      return false;
    }
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_threaded_set(mosq_, true);
    mosquitto_connect_callback_set(mosq_, &TCollector::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &TCollector::OnDisconnect);
    mosquitto_message_callback_set(mosq_, &TCollector::OnMessage);
    int rc = MOSQ_ERR_SUCCESS;
    if (!o_.user.empty()) {
      std::string password;
      if (!o_.passwordFile.empty()) {
        try {
          password = ReadMqttPasswordFile(o_.passwordFile);
        } catch (const Exception& e) {
          Log(e.Message());
          return false;
        }
      }
      rc = mosquitto_username_pw_set(mosq_, o_.user.c_str(),
                                     password.empty() ? nullptr : password.c_str());
    }
    if (rc == MOSQ_ERR_SUCCESS && address_.tls) {
      if (o_.caFile.empty()) mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
      rc = mosquitto_tls_set(mosq_, o_.caFile.empty() ? nullptr : o_.caFile.c_str(),
                             o_.caFile.empty() ? "/etc/ssl/certs" : nullptr,
                             o_.certFile.empty() ? nullptr : o_.certFile.c_str(),
                             o_.keyFile.empty() ? nullptr : o_.keyFile.c_str(), nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
      Log(std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc));
      return false;
    }
    return true;
  }

  bool ConnectDatabase() {
    // Without the database nothing can be acknowledged: the broker keeps
    // the messages meanwhile, so the collector stays away from it.
    DropBroker();
    std::string error;
    TDbResult res =
        db_.Connect(error, &stop_) ? db_.EnsureSchema(error) : TDbResult::ConnectionLost;
    if (stop_ && res != TDbResult::Ok) return false;
    if (res == TDbResult::Ok) {
      if (dbOutage_) Log("the database at " + db_.Where() + " is back");
      dbOutage_ = false;
      dbBackoff_ = std::chrono::seconds(1);
      return true;
    }
    if (res == TDbResult::Failed) {
      Log("the database at " + db_.Where() + " cannot hold the archive: " + error);
      fatal_ = true;
      return false;
    }
    if (!dbOutage_)
      Log("cannot reach the database at " + db_.Where() + ": " + error +
          "; the broker keeps the measurements meanwhile, trying again");
    dbOutage_ = true;
    db_.Disconnect();
    Pause(dbBackoff_);
    dbBackoff_ = Next(dbBackoff_);
    return false;
  }

  bool ConnectBroker() {
    const int rc = mosquitto_connect(mosq_, address_.host.c_str(), address_.port, o_.keepAliveS);
    if (rc == MOSQ_ERR_SUCCESS) {
      Forget();
      mosquitto_loop_write(mosq_, 1);  // the CONNECT
      return true;
    }
    if (!mqttOutage_)
      Log("cannot reach the broker at " + Broker() + ": " + mosquitto_strerror(rc) +
          "; trying again");
    mqttOutage_ = true;
    Pause(mqttBackoff_);
    mqttBackoff_ = Next(mqttBackoff_);
    return false;
  }

  // Ends the connection without a word: what is held is not acknowledged.
  void DropBroker() {
    const int fd = mosquitto_socket(mosq_);
    if (fd < 0) return;
    ::shutdown(fd, SHUT_RDWR);
    mosquitto_loop_read(mosq_, 1);
    Forget();
    connected_ = false;
  }

  // What the ended connection delivered and nobody committed is the
  // broker's again.
  void Forget() {
    batch_.clear();
    held_ = 0;
  }

  void Step() {
    const int fd = mosquitto_socket(mosq_);
    if (fd < 0) return;
    const auto now = TSteady::now();
    auto wait = std::chrono::milliseconds(100);
    if (held_ > 0)
      wait = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(
                            heldSince_ + std::chrono::milliseconds(o_.batchMs) - now),
                        std::chrono::milliseconds(0), wait);
    pollfd p{fd, POLLIN, 0};
    if (held_ == 0 && mosquitto_want_write(mosq_)) p.events |= POLLOUT;
    ::poll(&p, 1, static_cast<int>(wait.count()));

    // Read what is there (also what TLS has decrypted but poll() cannot
    // see), up to a batch.
    for (int n = 0; n < o_.batchMax * 2 + 10; ++n) {
      const std::size_t before = received_;
      const int rc = mosquitto_loop_read(mosq_, 1);
      if (rc != MOSQ_ERR_SUCCESS) {
        ConnectionEnded(rc);
        return;
      }
      if (held_ >= static_cast<std::size_t>(o_.batchMax)) break;
      pollfd q{fd, POLLIN, 0};
      if (received_ == before && ::poll(&q, 1, 0) <= 0) break;
    }

    if (held_ > 0 && (held_ >= static_cast<std::size_t>(o_.batchMax) ||
                      TSteady::now() >= heldSince_ + std::chrono::milliseconds(o_.batchMs))) {
      if (!Commit()) return;
    }
    if (held_ == 0 && TSteady::now() >= nextInstrumentTry_ && !StoreInstruments()) return;
    if (held_ == 0 && mosquitto_want_write(mosq_)) {
      if (mosquitto_loop_write(mosq_, 1) != MOSQ_ERR_SUCCESS) {
        ConnectionEnded();
        return;
      }
    }
    mosquitto_loop_misc(mosq_);
    if (mosquitto_socket(mosq_) < 0) ConnectionEnded();
  }

  void ConnectionEnded(int rc = MOSQ_ERR_CONN_LOST) {
    Forget();
    // Refused (a wrong password, say): not again at once.
    const bool refused = !connected_;
    // Ended before the broker's answer: a TLS handshake that failed (a
    // certificate not trusted) ends here rather than in mosquitto_connect.
    if (refused && !mqttOutage_ && !stop_)
      Log("cannot reach the broker at " + Broker() + ": " + mosquitto_strerror(rc) +
          "; trying again");
    if (refused) mqttOutage_ = true;
    if (connected_ && !stop_)
      Log("connection to the broker at " + Broker() + " lost; trying again");
    if (connected_) mqttOutage_ = true;
    connected_ = false;
    // Let the broker notice before the session is taken over again.
    if (mosquitto_socket(mosq_) >= 0) DropBroker();
    if (refused && !stop_) {
      Pause(mqttBackoff_);
      mqttBackoff_ = Next(mqttBackoff_);
    }
  }

  // Stores what is held. False when the database went away (the messages
  // are then the broker's again).
  bool Commit() {
    std::string error;
    if (!batch_.empty()) {
      TDbResult res = db_.Insert(batch_, error);
      if (res == TDbResult::Failed) {
        // One row the server will not take must not hold back the others.
        Log("the database refused a batch (" + error + "); storing its rows one by one");
        for (const auto& row : batch_) {
          res = db_.Insert({row}, error);
          if (res == TDbResult::Failed)
            Log("measurement of " + row.station + " at " + row.utc + " skipped: " + error);
          if (res == TDbResult::ConnectionLost) break;
        }
      }
      if (res == TDbResult::ConnectionLost) {
        LoseDatabase(error);
        return false;
      }
      stored_ += batch_.size();
      for (const auto& row : batch_)
        if (const auto it = instruments_.find(row.station); it != instruments_.end())
          it->second.waiting = false;
    }
    batch_.clear();
    held_ = 0;
    return true;
  }

  // The database went away mid-work: nothing more is acknowledged to the
  // broker until it is back.
  void LoseDatabase(const std::string& error) {
    Log("connection to the database at " + db_.Where() + " lost (" + error +
        "); the broker keeps the measurements meanwhile");
    dbOutage_ = true;
    db_.Disconnect();
    DropBroker();
  }

  void Finish() {
    if (mosquitto_socket(mosq_) < 0) return;
    if (held_ > 0 && db_.Connected() && !Commit()) return;
    if (held_ > 0) return;
    mosquitto_disconnect(mosq_);
    const auto until = TSteady::now() + std::chrono::seconds(2);
    while (mosquitto_socket(mosq_) >= 0 && mosquitto_want_write(mosq_) && TSteady::now() < until) {
      pollfd p{mosquitto_socket(mosq_), POLLOUT, 0};
      ::poll(&p, 1, 100);
      if (mosquitto_loop_write(mosq_, 1) != MOSQ_ERR_SUCCESS) break;
    }
  }

  // A station's state: its instrument, stored when it changes.
  void OnState(const std::string& topic, const std::string& station, std::string_view payload) {
    std::string error;
    const auto serial = ParseStateInstrument(station, payload, error);
    if (!serial) {
      if (!error.empty()) Bad(topic, error);
      return;
    }
    auto it = instruments_.find(station);
    if (it == instruments_.end()) {
      if (instruments_.size() >= kMaxInstrumentStations) {
        if (!saidTooManyStations_)
          Log("more than " + std::to_string(kMaxInstrumentStations) +
              " stations: the instruments of further ones are not stored");
        saidTooManyStations_ = true;
        return;
      }
      it = instruments_.emplace(station, TInstrument{}).first;
    }
    if (it->second.stored != *serial) it->second.pending = *serial;
  }

  // Stores the instruments that changed. False when the database went away.
  bool StoreInstruments() {
    nextInstrumentTry_ = TSteady::now() + std::chrono::seconds(1);
    for (auto& [station, instrument] : instruments_) {
      if (instrument.pending.empty() || instrument.waiting) continue;
      std::string error;
      bool there = false;
      const TDbResult res = db_.Query(
          UpdateInstrument(station, instrument.pending),
          [&](const std::vector<const char*>&) { there = true; }, error);
      if (res == TDbResult::ConnectionLost) {
        LoseDatabase(error);
        return false;
      }
      if (res == TDbResult::Failed) {
        Log("the instrument of " + station + " not stored: " + error);
        instrument.pending.clear();
        continue;
      }
      // A station without measurements yet: again after its first.
      if (!there) {
        instrument.waiting = true;
        continue;
      }
      instrument.stored = instrument.pending;
      instrument.pending.clear();
    }
    return true;
  }

  void Bad(const std::string& topic, const std::string& why) {
    ++bad_;
    const auto now = TSteady::now();
    if (now - badMinute_ >= std::chrono::minutes(1)) {
      if (badUnlogged_ > 0)
        Log(std::to_string(badUnlogged_) + " more bad messages skipped in the last minute");
      badMinute_ = now;
      badLogged_ = 0;
      badUnlogged_ = 0;
    }
    if (badLogged_ < kBadLogsPerMinute) {
      ++badLogged_;
      Log("bad message on " + topic + " skipped: " + why);
    } else {
      ++badUnlogged_;
    }
  }

  static void OnConnect(mosquitto* mosq, void* self, int rc) {
    auto* c = static_cast<TCollector*>(self);
    if (rc != 0) {
      if (!c->mqttOutage_)
        c->Log("the broker at " + c->Broker() +
               " refused the connection: " + mosquitto_connack_string(rc) + "; trying again");
      c->mqttOutage_ = true;
      return;
    }
    c->connected_ = true;
    c->mqttBackoff_ = std::chrono::seconds(1);
    if (c->mqttOutage_ || !c->saidConnected_)
      c->Log("connected to the broker at " + c->Broker() + " as " + c->o_.clientId);
    c->mqttOutage_ = false;
    c->saidConnected_ = true;
    const std::string topic = c->o_.prefix + "/+/measurement";
    mosquitto_subscribe(mosq, nullptr, topic.c_str(), 1);
    // The retained state names the station's instrument.
    const std::string state = c->o_.prefix + "/+/state";
    mosquitto_subscribe(mosq, nullptr, state.c_str(), 1);
  }
  static void OnDisconnect(mosquitto*, void* self, int) {
    auto* c = static_cast<TCollector*>(self);
    c->Forget();
  }
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
    auto* c = static_cast<TCollector*>(self);
    ++c->received_;
    if (m->qos > 0) {
      if (c->held_ == 0) c->heldSince_ = TSteady::now();
      ++c->held_;
    }
    const std::string topic = m->topic ? m->topic : "";
    if (const auto stateOf = StationOfTopic(c->o_.prefix, topic, "state")) {
      c->OnState(topic, *stateOf,
                 std::string_view(static_cast<const char*>(m->payload),
                                  static_cast<std::size_t>(m->payloadlen)));
      return;
    }
    const auto station = StationOfTopic(c->o_.prefix, topic);
    if (!station) {
      c->Bad(topic, "not a measurement topic");
      return;
    }
    std::string error;
    auto row = ParseMeasurement(*station,
                                std::string_view(static_cast<const char*>(m->payload),
                                                 static_cast<std::size_t>(m->payloadlen)),
                                error);
    if (!row) {
      c->Bad(topic, error);
      return;
    }
    c->batch_.push_back(std::move(*row));
  }

  const TCollectOptions& o_;
  const std::atomic<bool>& stop_;
  const TCollectLog& log_;
  TPgArchive db_;
  TMqttAddress address_;
  mosquitto* mosq_ = nullptr;
  bool connected_ = false, saidConnected_ = false;
  bool dbOutage_ = false, mqttOutage_ = false, fatal_ = false;
  std::chrono::milliseconds dbBackoff_{1000}, mqttBackoff_{1000};
  std::vector<TArchiveRow> batch_;
  std::size_t held_ = 0;  // delivered on this connection, not yet committed
  TSteady::time_point heldSince_;
  std::size_t received_ = 0, stored_ = 0, bad_ = 0;
  TSteady::time_point badMinute_{};
  int badLogged_ = 0, badUnlogged_ = 0;
  struct TInstrument {
    std::string stored, pending;  // pending: seen, not yet stored
    bool waiting = false;         // for the station's first measurement
  };
  std::map<std::string, TInstrument> instruments_;
  TSteady::time_point nextInstrumentTry_{};
  bool saidTooManyStations_ = false;
};

}  // namespace

int RunCollector(const TCollectOptions& options, const std::atomic<bool>& stop,
                 const TCollectLog& log) {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
  TCollectOptions o = options;
  if (o.clientId.empty()) {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    o.clientId = DefaultClientId(host);
  }
  TCollector c(o, stop, log);
  return c.Run();
}

}  // namespace quorvel::archive
