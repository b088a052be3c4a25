#include "mqtt/MqttPublisher.h"

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "common/Errors.h"

namespace quorvel {

namespace {

using TSteady = std::chrono::steady_clock;

constexpr int kKeepAliveS = 30;
// A message libmosquitto holds this long without an acknowledgement while
// connected is taken as lost and sent again (an exact copy).
constexpr auto kStallTimeout = std::chrono::seconds(90);
// Broker unreachable this long since the start or a loss: say it once.
constexpr auto kUnreachableAfter = std::chrono::seconds(5);

// How long a clean end waits for a connection still being made.
constexpr auto kConnectAtExit = std::chrono::seconds(2);

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

// One results line waiting for the broker, in a compact form: a day of them
// stays near 10 MB.
struct TEntry {
  std::uint64_t seq = 0;
  TLiveMeasurement m;
  std::shared_ptr<const std::string> station;
  double latitudeDeg = 0, longitudeEastDeg = 0, altitudeM = 0;
};

std::string EntryJson(const TEntry& e) {
  TLiveSnapshot s;
  s.station = *e.station;
  s.latitudeDeg = e.latitudeDeg;
  s.longitudeEastDeg = e.longitudeEastDeg;
  s.altitudeM = e.altitudeM;
  s.measurement = e.m;
  return MeasurementJson(s);
}

}  // namespace

struct TMqttPublisher::TImpl {
  TMqttConfig config;
  TMqttAddress address;
  std::string password, swVersion;
  TLog log;

  // What Publish() hands over: its own small lock, held only to append or
  // to swap, so the cycle never waits for the network side, even one that
  // is preempted while holding `mutex` on a loaded machine.
  mutable std::mutex inboxMutex;
  std::deque<TEntry> inbox;
  std::shared_ptr<const TLiveSnapshot> inboxLatest;
  std::uint64_t inboxDropped = 0;
  std::uint64_t nextSeq = 1;
  std::shared_ptr<const std::string> stationCache;
  bool closed = false;
  // The network side waits with room to send: the next measurement should
  // wake it. Otherwise Publish() wakes nobody (a wake-up is a system call).
  std::atomic<bool> wantsData{false};

  mutable std::mutex mutex;
  std::condition_variable wake;
  // Shared with Publish() and libmosquitto's callbacks, under `mutex`.
  std::deque<TEntry> queue;
  std::shared_ptr<const TLiveSnapshot> latest;
  std::uint64_t latestSeq = 0;
  std::uint64_t dropped = 0;
  std::uint64_t acknowledged = 0;
  bool stop = false;
  int flushMs = 0;
  bool connected = false;
  bool lostUnlogged = false;  // a loss the feeder has not logged yet
  bool connectedUnlogged = false;
  bool disconnectedEvent = false;
  std::uint64_t connections = 0;
  std::map<int, std::uint64_t> outstanding;  // mid -> entry seq (0: no entry)
  std::set<int> earlyAcks;                   // acknowledged before recorded
  int maxOutstanding = 0;
  TSteady::time_point lastProgress = TSteady::now();
  // The first entry not yet handed to libmosquitto on this connection.
  std::uint64_t nextToSend = 0;

  // The feeder thread's own.
  mosquitto* mosq = nullptr;
  bool loopStarted = false;
  bool gaveUp = false;
  std::string station;
  TMqttTopics topics;
  bool statusSent = false, discoverySent = false;
  std::optional<TTriggerState> triggerSent;
  std::uint64_t stateSent = 0;
  bool outage = false;  // unreachable or lost, logged, not yet back
  TSteady::time_point outageSince = TSteady::now();
  std::uint64_t droppedLogged = 0;
  bool dropEpisode = false;
  std::thread thread;

  void Log(const std::string& text) {
    if (log) log("MQTT: " + text);
  }
  std::string Broker() const {
    return (address.tls ? "mqtts://" : "mqtt://") +
           (address.host.find(':') != std::string::npos ? "[" + address.host + "]" : address.host) +
           ":" + std::to_string(address.port);
  }

  // libmosquitto's thread.
  static void OnConnect(mosquitto*, void* self, int rc) {
    auto* p = static_cast<TImpl*>(self);
    std::lock_guard<std::mutex> lock(p->mutex);
    if (rc == 0) {
      p->connected = true;
      p->connectedUnlogged = true;
      ++p->connections;
      p->lastProgress = TSteady::now();
    } else if (!p->outage) {
      p->Log("the broker at " + p->Broker() +
             " refused the connection: " + mosquitto_connack_string(rc) + "; trying again");
      p->outage = true;
      p->outageSince = TSteady::now();
    }
    p->wake.notify_all();
  }
  static void OnDisconnect(mosquitto*, void* self, int) {
    auto* p = static_cast<TImpl*>(self);
    std::lock_guard<std::mutex> lock(p->mutex);
    if (p->connected) p->lostUnlogged = true;
    p->connected = false;
    p->disconnectedEvent = true;
    // Messages of QoS 0 not yet written go with the connection; those of
    // QoS 1 are sent again by libmosquitto once connected again.
    for (auto it = p->outstanding.begin(); it != p->outstanding.end();)
      it = it->second == 0 ? p->outstanding.erase(it) : std::next(it);
    p->wake.notify_all();
  }
  static void OnPublish(mosquitto*, void* self, int mid) {
    auto* p = static_cast<TImpl*>(self);
    std::lock_guard<std::mutex> lock(p->mutex);
    p->Acknowledge(mid);
    p->wake.notify_all();
  }

  // With `mutex` held.
  void Acknowledge(int mid) {
    const auto it = outstanding.find(mid);
    if (it == outstanding.end()) {
      earlyAcks.insert(mid);
      return;
    }
    const std::uint64_t seq = it->second;
    outstanding.erase(it);
    lastProgress = TSteady::now();
    if (seq == 0) return;
    // The queue is in order of seq; an entry dropped meanwhile is not found.
    const auto e = std::lower_bound(queue.begin(), queue.end(), seq,
                                    [](const TEntry& x, std::uint64_t v) { return x.seq < v; });
    if (e != queue.end() && e->seq == seq) {
      queue.erase(e);
      ++acknowledged;
    }
  }

  // Hands one message to libmosquitto. With `lock` held on entry and exit;
  // released around the call, which may run callbacks.
  bool Send(std::unique_lock<std::mutex>& lock, const std::string& topic,
            const std::string& payload, int qos, bool retain, std::uint64_t seq) {
    lock.unlock();
    int mid = 0;
    const int rc = mosquitto_publish(mosq, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), qos, retain);
    lock.lock();
    if (rc != MOSQ_ERR_SUCCESS) return false;
    if (outstanding.empty()) lastProgress = TSteady::now();
    outstanding[mid] = seq;
    maxOutstanding = std::max(maxOutstanding, static_cast<int>(outstanding.size()));
    if (earlyAcks.erase(mid) > 0) Acknowledge(mid);
    return true;
  }

  bool Room() const { return static_cast<int>(outstanding.size()) < kMqttWindow; }

  // Moves what Publish() handed over into the queue, keeping its bound.
  // With `lock` held.
  void Drain() {
    std::deque<TEntry> in;
    {
      std::lock_guard<std::mutex> l(inboxMutex);
      in.swap(inbox);
      if (inboxLatest) {
        latest = std::move(inboxLatest);
        ++latestSeq;
      }
      dropped += inboxDropped;
      inboxDropped = 0;
    }
    for (TEntry& e : in) {
      if (queue.size() >= config.maxQueued) {
        // The oldest goes; if libmosquitto holds it, its acknowledgement
        // finds nothing to remove.
        queue.pop_front();
        ++dropped;
      }
      queue.push_back(std::move(e));
    }
  }

  // What a connection owes the broker, within the window. With `lock` held.
  void Feed(std::unique_lock<std::mutex>& lock) {
    if (!statusSent) {
      if (!Send(lock, topics.status, "online", 1, true, 0)) return;
      statusSent = true;
    }
    if (!discoverySent) {
      for (const auto& [topic, payload] :
           DiscoveryMessages(config, station, swVersion, !config.discovery))
        Send(lock, topic, payload, 1, true, 0);
      discoverySent = true;
    }
    if (latest && Room() && (!triggerSent || *triggerSent != latest->trigger)) {
      const TTriggerState t = latest->trigger;
      if (Send(lock, topics.trigger, TriggerStateName(t), 1, true, 0)) triggerSent = t;
    }
    if (latest && latestSeq != stateSent && Room()) {
      // The texts are made without the lock, which Publish() takes.
      std::shared_ptr<const TLiveSnapshot> s = latest;
      const std::uint64_t seq = latestSeq;
      lock.unlock();
      std::string json;
      if (!config.station.empty() && s->station != config.station) {
        TLiveSnapshot copy = *s;
        copy.station = config.station;
        json = SnapshotJson(copy);
      } else {
        json = SnapshotJson(*s);
      }
      lock.lock();
      if (Send(lock, topics.state, json, 0, true, 0)) stateSent = seq;
    }
    while (connected && Room()) {
      const auto e =
          std::lower_bound(queue.begin(), queue.end(), nextToSend,
                           [](const TEntry& x, std::uint64_t seq) { return x.seq < seq; });
      if (e == queue.end()) break;
      const TEntry entry = *e;
      lock.unlock();
      const std::string json = EntryJson(entry);
      lock.lock();
      if (!Send(lock, topics.measurement, json, 1, false, entry.seq)) break;
      nextToSend = std::max(nextToSend, entry.seq + 1);
    }
  }

  // With `lock` held: the log lines of what happened since the last call.
  void Report() {
    if (dropped > droppedLogged && !dropEpisode) {
      Log("the queue is full (" + std::to_string(config.maxQueued) +
          " measurements): the oldest are dropped until the broker takes them again");
      dropEpisode = true;
    }
    if (lostUnlogged) {
      lostUnlogged = false;
      if (!outage)
        Log("connection to the broker at " + Broker() +
            " lost; measurements wait in the queue (at most " + std::to_string(config.maxQueued) +
            ")");
      outage = true;
      outageSince = TSteady::now();
    }
    if (connectedUnlogged) {
      connectedUnlogged = false;
      if (outage || connections > 1)
        Log("connected again to the broker at " + Broker() + ", " + std::to_string(queue.size()) +
            " measurements waiting");
      else
        Log("connected to the broker at " + Broker());
      outage = false;
      if (dropEpisode) {
        Log(std::to_string(dropped - droppedLogged) +
            " measurements were dropped from the full queue");
        droppedLogged = dropped;
        dropEpisode = false;
      }
    }
    if (!connected && !outage && loopStarted && TSteady::now() - outageSince > kUnreachableAfter) {
      Log("cannot reach the broker at " + Broker() + "; measurements wait in the queue (at most " +
          std::to_string(config.maxQueued) + "), trying again");
      outage = true;
    }
  }

  void StartClient() {
    const std::string clientId = DiscoveryId(station) + "-" + std::to_string(::getpid());
    mosq = mosquitto_new(clientId.c_str(), true, this);
    if (!mosq) {
      Log("cannot create the client (out of memory)");
      return;
    }
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_max_inflight_messages_set(mosq, kMqttWindow);
    mosquitto_reconnect_delay_set(mosq, 1, 8, true);
    mosquitto_connect_callback_set(mosq, &TImpl::OnConnect);
    mosquitto_disconnect_callback_set(mosq, &TImpl::OnDisconnect);
    mosquitto_publish_callback_set(mosq, &TImpl::OnPublish);
    topics = MqttTopics(config.prefix, station);
    int rc = mosquitto_will_set(mosq, topics.status.c_str(), 7, "offline", 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !config.user.empty())
      rc = mosquitto_username_pw_set(mosq, config.user.c_str(),
                                     password.empty() ? nullptr : password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && address.tls) {
      if (config.caFile.empty()) mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
      rc = mosquitto_tls_set(mosq, config.caFile.empty() ? nullptr : config.caFile.c_str(),
                             config.caFile.empty() ? "/etc/ssl/certs" : nullptr,
                             config.certFile.empty() ? nullptr : config.certFile.c_str(),
                             config.keyFile.empty() ? nullptr : config.keyFile.c_str(), nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
      Log(std::string("cannot set up the client: ") + mosquitto_strerror(rc));
      mosquitto_destroy(mosq);
      mosq = nullptr;
      return;
    }
    // A failure here (refused, no route) is retried by libmosquitto's thread.
    mosquitto_connect_async(mosq, address.host.c_str(), address.port, kKeepAliveS);
    outageSince = TSteady::now();
    if (mosquitto_loop_start(mosq) != MOSQ_ERR_SUCCESS) {
      Log("cannot start the network thread");
      mosquitto_destroy(mosq);
      mosq = nullptr;
      return;
    }
    loopStarted = true;
  }

  // Connects once the station's name is known. With `lock` held.
  void MaybeStart(std::unique_lock<std::mutex>& lock) {
    if (mosq || gaveUp) return;
    std::string wanted = config.station;
    if (wanted.empty() && latest && latest->serialNumber) wanted = latest->station;
    if (wanted.empty()) return;
    station = wanted;
    lock.unlock();
    StartClient();
    lock.lock();
    gaveUp = mosq == nullptr;
  }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex);
    while (!stop) {
      Drain();
      MaybeStart(lock);
      if (disconnectedEvent) {
        disconnectedEvent = false;
        // A new connection starts the session over: status, discovery and
        // the trigger again; entries not acknowledged go again, in order.
        statusSent = discoverySent = false;
        triggerSent.reset();
        stateSent = 0;
        // Entries libmosquitto holds unacknowledged it sends again itself,
        // first: the next ones follow them, in order.
      }
      if (connected) {
        if (!outstanding.empty() && TSteady::now() - lastProgress > kStallTimeout) {
          // libmosquitto lost them: send them again ourselves.
          std::uint64_t first = 0;
          for (const auto& [mid, seq] : outstanding)
            if (seq != 0) first = first == 0 ? seq : std::min(first, seq);
          outstanding.clear();
          if (first != 0) nextToSend = std::min(nextToSend, first);
          lastProgress = TSteady::now();
        }
        Feed(lock);
      }
      Report();
      wantsData = connected && Room();
      wake.wait_for(lock, std::chrono::milliseconds(200));
      wantsData = false;
    }
    Shutdown(lock);
  }

  void Shutdown(std::unique_lock<std::mutex>& lock) {
    Drain();
    // A run shorter than a connection still delivers what it measured.
    if (flushMs > 0) MaybeStart(lock);
    // A connection still being made is waited for too, unless it has
    // failed already: a short run still delivers what it measured.
    const auto start = TSteady::now();
    const auto deadline = start + std::chrono::milliseconds(flushMs);
    while (loopStarted && TSteady::now() < deadline) {
      Drain();
      if (connected) {
        if (statusSent && discoverySent && queue.empty() && outstanding.empty()) break;
        Feed(lock);
      } else if (outage || TSteady::now() - start > kConnectAtExit) {
        break;
      }
      Report();
      wake.wait_for(lock, std::chrono::milliseconds(20));
    }
    Report();
    bool clean = false;
    if (mosq && connected) {
      int mid = 0;
      lock.unlock();
      const int rc = mosquitto_publish(mosq, &mid, topics.status.c_str(), 7, "offline", 1, true);
      lock.lock();
      if (rc == MOSQ_ERR_SUCCESS) {
        outstanding[mid] = 0;
        const auto until = TSteady::now() + std::chrono::seconds(2);
        wake.wait_until(lock, until, [&] { return !connected || outstanding.count(mid) == 0; });
      }
      lock.unlock();
      mosquitto_disconnect(mosq);
      lock.lock();
      clean = wake.wait_for(lock, std::chrono::seconds(2), [&] { return !connected; });
    }
    if (!queue.empty()) Log(std::to_string(queue.size()) + " measurements not sent at exit");
    if (dropped > droppedLogged)
      Log(std::to_string(dropped - droppedLogged) +
          " measurements were dropped from the full queue");
    droppedLogged = dropped;
    lock.unlock();
    if (mosq) {
      if (loopStarted) {
        if (!clean) mosquitto_disconnect(mosq);
        // A broker that stopped reading never lets the disconnection out:
        // the loop is then stopped without waiting for it.
        mosquitto_loop_stop(mosq, !clean);
      }
      mosquitto_destroy(mosq);
      mosq = nullptr;
    }
    lock.lock();
  }
};

TMqttPublisher::TMqttPublisher(const TMqttConfig& config, std::string password,
                               std::string swVersion, TLog log)
    : impl_(std::make_unique<TImpl>()) {
  const std::string problem = CheckMqttConfig(config);
  if (!problem.empty()) throw Exception(problem);
  std::string error;
  impl_->address = *ParseMqttUrl(config.url, error);
  impl_->config = config;
  impl_->password = std::move(password);
  impl_->swVersion = std::move(swVersion);
  impl_->log = std::move(log);
  InitLibrary();
  impl_->thread = std::thread([p = impl_.get()] { p->Run(); });
}

TMqttPublisher::~TMqttPublisher() {
  Finish(0);
}

void TMqttPublisher::Publish(const std::shared_ptr<const TLiveSnapshot>& snapshot) {
  if (!snapshot) return;
  TImpl& p = *impl_;
  {
    std::lock_guard<std::mutex> lock(p.inboxMutex);
    if (p.closed) return;
    p.inboxLatest = snapshot;
    if (snapshot->measurement) {
      const std::string& name = p.config.station.empty() ? snapshot->station : p.config.station;
      if (!p.stationCache || *p.stationCache != name)
        p.stationCache = std::make_shared<const std::string>(name);
      TEntry e;
      e.seq = p.nextSeq++;
      e.m = *snapshot->measurement;
      e.station = p.stationCache;
      e.latitudeDeg = snapshot->latitudeDeg;
      e.longitudeEastDeg = snapshot->longitudeEastDeg;
      e.altitudeM = snapshot->altitudeM;
      // Not yet in the queue: bounded on its own, for a network side that
      // has not come round to it.
      if (p.inbox.size() >= p.config.maxQueued) {
        p.inbox.pop_front();
        ++p.inboxDropped;
      }
      p.inbox.push_back(std::move(e));
    }
  }
  // Without a connection or room in the window nothing is to be sent; the
  // thread looks every 200 ms anyway.
  if (p.wantsData.exchange(false)) p.wake.notify_all();
}

void TMqttPublisher::Finish(int flushMs) {
  TImpl& p = *impl_;
  {
    std::lock_guard<std::mutex> lock(p.inboxMutex);
    p.closed = true;
  }
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    if (p.stop) {
      // Already finished (or finishing on another call).
    } else {
      p.stop = true;
      p.flushMs = std::max(flushMs, 0);
    }
  }
  p.wake.notify_all();
  if (p.thread.joinable()) p.thread.join();
}

TMqttPublisher::TStats TMqttPublisher::Stats() const {
  const TImpl& p = *impl_;
  std::lock_guard<std::mutex> lock(p.mutex);
  std::lock_guard<std::mutex> inbox(p.inboxMutex);
  TStats s;
  s.connected = p.connected;
  s.queued = std::min(p.queue.size() + p.inbox.size(), p.config.maxQueued);
  s.dropped = p.dropped + p.inboxDropped + (p.queue.size() + p.inbox.size() - s.queued);
  s.acknowledged = p.acknowledged;
  s.outstanding = static_cast<int>(p.outstanding.size());
  s.maxOutstanding = p.maxOutstanding;
  s.connections = p.connections;
  return s;
}

}  // namespace quorvel
