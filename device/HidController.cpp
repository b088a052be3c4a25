#include "device/HidController.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>

#ifdef QUORVEL_HAVE_UDEV
#include <libudev.h>
#include <unistd.h>
#endif

namespace quorvel {

namespace {

// Polling interval where the platform tells nothing about device changes.
constexpr int kPollIntervalMs = 1000;
// udev reports one device as several events; they are handled as one change.
constexpr int kUdevSettleMs = 100;

}  // namespace

// Device-change events of the hidraw subsystem, where udev runs. Without a
// udev daemon no event would ever come, so the controller polls instead.
struct THidDeviceController::TUdevWatch {
#ifdef QUORVEL_HAVE_UDEV
  udev* u = nullptr;
  udev_monitor* monitor = nullptr;
  QSocketNotifier* notifier = nullptr;
  QTimer* settle = nullptr;

  ~TUdevWatch() {
    delete notifier;
    delete settle;
    if (monitor) udev_monitor_unref(monitor);
    if (u) udev_unref(u);
  }

  static std::unique_ptr<TUdevWatch> Create(THidDeviceController* controller) {
    if (::access("/run/udev/control", F_OK) != 0) return nullptr;
    auto w = std::make_unique<TUdevWatch>();
    w->u = udev_new();
    if (!w->u) return nullptr;
    w->monitor = udev_monitor_new_from_netlink(w->u, "udev");
    if (!w->monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(w->monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(w->monitor) < 0)
      return nullptr;
    const int fd = udev_monitor_get_fd(w->monitor);
    if (fd < 0) return nullptr;
    w->settle = new QTimer();
    w->settle->setSingleShot(true);
    w->settle->setInterval(kUdevSettleMs);
    QObject::connect(w->settle, &QTimer::timeout, controller,
                     [controller] { controller->NotifyDeviceChange(); });
    w->notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
    TUdevWatch* raw = w.get();
    QObject::connect(w->notifier, &QSocketNotifier::activated, controller, [raw] {
      while (udev_device* d = udev_monitor_receive_device(raw->monitor)) udev_device_unref(d);
      raw->settle->start();
    });
    return w;
  }
#else
  static std::unique_ptr<TUdevWatch> Create(THidDeviceController*) {
    return nullptr;
  }
#endif
};

THidDeviceController::THidDeviceController(std::shared_ptr<IHidBackend> backend, QObject* parent)
    : QObject(parent), FBackend(std::move(backend)) {
  if (!FBackend) return;  // inert: never enumerates, never reports

  auto startPolling = [this] {
    FWatchMode = "poll";
    FPollTimer = new QTimer(this);
    FPollTimer->setInterval(kPollIntervalMs);
    connect(FPollTimer, &QTimer::timeout, this, [this] { Poll(); });
    FPollTimer->start();
  };
  switch (FBackend->ChangeSource()) {
    case THidChangeSource::Self:
      FWatchMode = "backend";
      FBackend->SetChangeListener([this] { NotifyDeviceChange(); });
      break;
    case THidChangeSource::Hidraw:
      FUdev = TUdevWatch::Create(this);
      if (FUdev)
        FWatchMode = "udev";
      else
        startPolling();
      break;
    case THidChangeSource::Poll:
      startPolling();
      break;
  }
  // The first run comes from the event loop, once the owner is fully built.
  QMetaObject::invokeMethod(
      this, [this] { HandleNotification(-1, std::nullopt); }, Qt::QueuedConnection);
}

THidDeviceController::~THidDeviceController() {
  if (FBackend) FBackend->SetChangeListener({});
  FUdev.reset();
  OnArrival = nullptr;
  OnRemoval = nullptr;
  OnDeviceChange = nullptr;
  OnEnumerate = nullptr;
  OnDeviceUnplug = nullptr;
  OnDeviceData = nullptr;
  OnDeviceDataError = nullptr;
  // No callbacks into an owner that is going away.
  for (auto& dev : FList) {
    dev->OnUnplug = nullptr;
    dev->OnDataError = nullptr;
    dev->FOnData = nullptr;
  }
  FList.clear();
  FGraveyard.clear();
}

void THidDeviceController::NotifyDeviceChange() {
  if (!FBackend) return;
  if (FNotifyQueued.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        FNotifyQueued = false;
        HandleNotification(0, std::nullopt);
      },
      Qt::QueuedConnection);
}

void THidDeviceController::HandleNotification(int lParam,
                                              std::optional<std::vector<THidDeviceEntry>> fresh) {
  if (FInDeviceChange) {
    FChangePending = true;
    return;
  }
  FLParam = lParam;
  FInDeviceChange = true;
  ++FDeferDepth;
  struct Done {
    THidDeviceController& c;
    ~Done() {
      c.FInDeviceChange = false;
      if (--c.FDeferDepth == 0) c.FGraveyard.clear();
      if (c.FChangePending) {
        c.FChangePending = false;
        c.NotifyDeviceChange();
      }
    }
  } done{*this};
  DeviceChange(fresh ? *fresh : FBackend->Enumerate());
}

std::string THidDeviceController::Signature(const std::vector<THidDeviceEntry>& entries) {
  std::vector<std::string> ids;
  ids.reserve(entries.size());
  for (const auto& e : entries) ids.push_back(e.Identity);
  std::sort(ids.begin(), ids.end());
  std::string out;
  for (const auto& id : ids) out += id + '\n';
  return out;
}

void THidDeviceController::Poll() {
  if (FInDeviceChange) return;
  auto fresh = FBackend->Enumerate();
  bool gone = false;
  for (const auto& dev : FList) gone = gone || (dev->IsPluggedIn() && dev->FGone.load());
  // Run only on a real change, as a platform notice would: a checked-out
  // device that left stays listed and would otherwise be reported again
  // every second.
  if (!gone && Signature(fresh) == FLastSignature) return;
  HandleNotification(0, std::move(fresh));
}

bool THidDeviceController::Holds(const THidDevice* dev) const {
  return std::any_of(FList.begin(), FList.end(), [dev](const auto& p) { return p.get() == dev; });
}

void THidDeviceController::Discard(THidDevice* dev) {
  auto it =
      std::find_if(FList.begin(), FList.end(), [dev](const auto& p) { return p.get() == dev; });
  if (it == FList.end()) return;
  std::unique_ptr<THidDevice> owned = std::move(*it);
  FList.erase(it);
  if (FDeferDepth > 0) FGraveyard.push_back(std::move(owned));
  // else: freed here
}

void THidDeviceController::DeviceChange(const std::vector<THidDeviceEntry>& fresh) {
  bool changed = FLParam == -1;
  auto present = [&fresh](const std::string& identity) {
    return std::any_of(fresh.begin(), fresh.end(),
                       [&identity](const THidDeviceEntry& e) { return e.Identity == identity; });
  };

  // Removals, last to first. Callbacks may check devices in: work on a
  // snapshot and skip what has left the list meanwhile.
  std::vector<THidDevice*> snapshot;
  for (const auto& dev : FList) snapshot.push_back(dev.get());
  for (std::size_t i = snapshot.size(); i-- > 0;) {
    THidDevice* dev = snapshot[i];
    if (!Holds(dev)) continue;
    if (dev->IsPluggedIn() && !dev->FGone.load() && present(dev->PnPInfo().DeviceID)) continue;
    dev->MarkUnplugged();
    if (OnRemoval) OnRemoval(dev);
    if (Holds(dev) && !dev->IsCheckedOut()) Discard(dev);
    changed = true;
  }

  // Arrivals, in enumeration order.
  for (const auto& entry : fresh) {
    const bool known = std::any_of(FList.begin(), FList.end(), [&entry](const auto& dev) {
      return dev->IsPluggedIn() && dev->PnPInfo().DeviceID == entry.Identity;
    });
    if (known) continue;
    std::unique_ptr<THidDevice> created(new THidDevice(*this, *FBackend, entry));
    THidDevice* dev = created.get();
    dev->FThreadSleepTime = FDevThreadSleepTime;
    dev->FOnData = OnDeviceData;
    dev->OnDataError = OnDeviceDataError;
    dev->OnUnplug = OnDeviceUnplug;
    FList.push_back(std::move(created));
    changed = true;
    if (OnArrival) {
      dev->FIsEnumerated = true;
      struct Reset {
        THidDeviceController& c;
        THidDevice* d;
        ~Reset() {
          if (c.Holds(d)) d->FIsEnumerated = false;
        }
      } reset{*this, dev};
      OnArrival(dev);
    }
  }

  Recount();
  FLastSignature = Signature(fresh);
  if (changed && OnDeviceChange) OnDeviceChange(this);
}

void THidDeviceController::Recount() {
  int checkedOut = 0;
  int unplugged = 0;
  for (const auto& dev : FList) {
    if (dev->IsCheckedOut()) ++checkedOut;
    if (!dev->IsPluggedIn()) ++unplugged;
  }
  FNumCheckedIn = static_cast<int>(FList.size()) - checkedOut;
  FNumUnplugged = unplugged;
  FNumCheckedOut = checkedOut - unplugged;
}

bool THidDeviceController::CheckOut(THidDevice*& HidDev) {
  HidDev = nullptr;
  for (const auto& dev : FList) {
    if (dev->IsCheckedOut()) continue;
    dev->FCheckedOut = true;
    Recount();
    dev->StartReadThreadIfReady();
    HidDev = dev.get();
    return true;
  }
  return false;
}

void THidDeviceController::CheckIn(THidDevice*& HidDev) {
  THidDevice* dev = HidDev;
  HidDev = nullptr;
  if (!dev || !Holds(dev)) return;
  ++FDeferDepth;
  struct Done {
    THidDeviceController& c;
    ~Done() {
      if (--c.FDeferDepth == 0) c.FGraveyard.clear();
    }
  } done{*this};
  dev->StopReadThread();
  // Stopping may have served a callback that checked it in already.
  if (!Holds(dev)) return;
  dev->CloseAll();
  if (dev->IsPluggedIn())
    dev->FCheckedOut = false;
  else
    Discard(dev);
  Recount();
}

int THidDeviceController::Enumerate() {
  int calls = 0;
  for (std::size_t i = 0; i < FList.size(); ++i) {
    THidDevice* dev = FList[i].get();
    if (!dev->IsPluggedIn() || !OnEnumerate) continue;
    dev->FIsEnumerated = true;
    const bool more = OnEnumerate(dev, calls++);
    if (Holds(dev)) dev->FIsEnumerated = false;
    if (!more) break;
  }
  return calls;
}

void THidDeviceController::SetDevThreadSleepTime(int Value) {
  if (Value >= kThreadSleepTimeMin && Value <= kThreadSleepTimeMax) FDevThreadSleepTime = Value;
}

}  // namespace quorvel
