#include "device/SimBackend.h"

#include <algorithm>
#include <chrono>

#include "common/Clock.h"

namespace quorvel {

namespace {

constexpr int kDefaultQueue = 64;  // like a hidraw file
constexpr int kMinQueue = 2;
constexpr int kMaxQueue = 512;
const std::string kPathPrefix = "sim:";

}  // namespace

class TSimHandle final : public IHidHandle {
 public:
  TSimHandle(TSimulatedBackend& backend, int index, std::uint64_t generation, bool numbered)
      : b_(backend), index_(index), generation_(generation), numbered_(numbered) {}

  ~TSimHandle() override {
    std::lock_guard<std::mutex> lock(b_.m_);
    auto& hs = b_.devices_[static_cast<std::size_t>(index_)].handles;
    hs.erase(std::remove(hs.begin(), hs.end(), this), hs.end());
  }

  int Write(const std::uint8_t* data, std::size_t length) override {
    std::function<void()> news;
    {
      std::lock_guard<std::mutex> lock(b_.m_);
      if (GoneLocked()) return Fail("No such device", hiderr::kNoDevice);
      auto& dev = Dev();
      dev.lastRequest.assign(data, data + length);
      ++dev.requests;
      if (TSimFirmware* fw = dev.desc.Firmware.get()) {
        if (auto answer = fw->Answer(data, length)) b_.Deliver(dev, *answer);
        if (fw->TakeReplayOverNews()) {
          b_.replayOver_ = true;
          news = b_.replayOverCallback_;
        }
      }
    }
    if (news) news();
    return static_cast<int>(length);
  }

  int Read(std::uint8_t* data, std::size_t length, int timeoutMs) override {
    std::unique_lock<std::mutex> lock(b_.m_);
    auto ready = [this] { return !queue_.empty() || GoneLocked(); };
    if (timeoutMs < 0)
      b_.cv_.wait(lock, ready);
    else
      b_.cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    // Like hidraw: what was queued before the device left is still read.
    if (!queue_.empty()) {
      const std::vector<std::uint8_t> report = std::move(queue_.front());
      queue_.pop_front();
      const std::size_t n = std::min(length, report.size());
      std::copy_n(report.begin(), n, data);
      return static_cast<int>(n);
    }
    if (GoneLocked()) return Fail("Input/output error", 5);  // EIO, as hidraw
    return 0;
  }

  void DiscardInput() override {
    std::lock_guard<std::mutex> lock(b_.m_);
    queue_.clear();
  }

  bool NumberedReports() const override { return numbered_; }

  bool GetProductString(std::wstring& out) override {
    std::lock_guard<std::mutex> lock(b_.m_);
    if (GoneLocked()) return Fail("No such device", hiderr::kNoDevice) == 0;
    out = Dev().desc.Product;
    return true;
  }

  bool GetSerialNumberString(std::wstring& out) override {
    std::lock_guard<std::mutex> lock(b_.m_);
    if (GoneLocked()) return Fail("No such device", hiderr::kNoDevice) == 0;
    out = Dev().desc.Serial;
    return true;
  }

  std::optional<std::vector<std::uint16_t>> GetLanguageIds() override {
    std::lock_guard<std::mutex> lock(b_.m_);
    return Dev().desc.LanguageIds;
  }

  int SetInputQueueLength(int requested) override {
    std::lock_guard<std::mutex> lock(b_.m_);
    capacity_ = static_cast<std::size_t>(std::clamp(requested, kMinQueue, kMaxQueue));
    while (queue_.size() > capacity_) queue_.pop_front();
    return static_cast<int>(capacity_);
  }

  bool IsGone() override {
    std::lock_guard<std::mutex> lock(b_.m_);
    return GoneLocked();
  }

  THidError LastError() const override { return error_; }

  // With the backend's lock held.
  void Push(const std::vector<std::uint8_t>& report) {
    if (numbered_)
      queue_.push_back(report);
    else
      queue_.emplace_back(report.begin() + (report.empty() ? 0 : 1), report.end());
    while (queue_.size() > capacity_) queue_.pop_front();  // oldest dropped
  }
  std::uint64_t Generation() const { return generation_; }

 private:
  TSimulatedBackend::TSimDevice& Dev() const {
    return b_.devices_[static_cast<std::size_t>(index_)];
  }
  bool GoneLocked() const { return !Dev().plugged || Dev().generation != generation_; }
  int Fail(const char* text, std::uint32_t code) {
    error_ = {text, code};
    return -1;
  }

  TSimulatedBackend& b_;
  int index_;
  std::uint64_t generation_;
  bool numbered_;
  std::deque<std::vector<std::uint8_t>> queue_;
  std::size_t capacity_ = kDefaultQueue;
  THidError error_;
};

TSimulatedBackend::TSimulatedBackend() = default;

TSimulatedBackend::~TSimulatedBackend() {
  StopScheduler();
  SetChangeListener({});
}

int TSimulatedBackend::AddDevice(TSimDeviceDesc desc, bool plugged) {
  int index;
  {
    std::lock_guard<std::mutex> lock(m_);
    TSimDevice dev;
    dev.desc = std::move(desc);
    dev.plugged = plugged;
    dev.generation = plugged ? 1 : 0;
    devices_.push_back(std::move(dev));
    index = static_cast<int>(devices_.size()) - 1;
  }
  if (plugged) NotifyChange();
  return index;
}

int TSimulatedBackend::AddInstrument(TSimInstrumentConfig config, bool plugged,
                                     const std::string& name) {
  TSimDeviceDesc desc;
  desc.Name = name;
  desc.VendorID = 0x04D8;
  desc.ProductID = 0x003F;
  desc.ReleaseNumber = 0x0107;
  desc.Product = L"HID QLX SOLAR";
  desc.Firmware = std::make_shared<TSimFirmware>(std::move(config));
  return AddDevice(std::move(desc), plugged);
}

int TSimulatedBackend::AddMouse(bool plugged) {
  TSimDeviceDesc desc;
  desc.Name = "mouse";
  desc.VendorID = 0x046D;
  desc.ProductID = 0xC077;
  desc.ReleaseNumber = 0x7200;
  desc.Product = L"USB Optical Mouse";
  desc.NumberedReports = true;
  return AddDevice(std::move(desc), plugged);
}

void TSimulatedBackend::Plug(int index) {
  {
    std::lock_guard<std::mutex> lock(m_);
    TSimDevice& dev = devices_.at(static_cast<std::size_t>(index));
    if (dev.plugged) return;
    dev.plugged = true;
    ++dev.generation;  // a new device to the system
  }
  NotifyChange();
}

void TSimulatedBackend::Unplug(int index) {
  {
    std::lock_guard<std::mutex> lock(m_);
    TSimDevice& dev = devices_.at(static_cast<std::size_t>(index));
    if (!dev.plugged) return;
    dev.plugged = false;
  }
  cv_.notify_all();  // waiting reads fail at once
  NotifyChange();
}

bool TSimulatedBackend::IsPlugged(int index) const {
  std::lock_guard<std::mutex> lock(m_);
  return devices_.at(static_cast<std::size_t>(index)).plugged;
}

int TSimulatedBackend::DeviceCount() const {
  std::lock_guard<std::mutex> lock(m_);
  return static_cast<int>(devices_.size());
}

int TSimulatedBackend::FirstOfKind(bool instrument) const {
  for (std::size_t i = 0; i < devices_.size(); ++i)
    if ((devices_[i].desc.Firmware != nullptr) == instrument) return static_cast<int>(i);
  return -1;
}

TSimFirmware* TSimulatedBackend::FirmwareAt(int index) const {
  if (index < 0) index = FirstOfKind(true);
  if (index < 0 || static_cast<std::size_t>(index) >= devices_.size()) return nullptr;
  return devices_[static_cast<std::size_t>(index)].desc.Firmware.get();
}

int TSimulatedBackend::InstrumentIndex() const {
  std::lock_guard<std::mutex> lock(m_);
  return FirstOfKind(true);
}

int TSimulatedBackend::MouseIndex() const {
  std::lock_guard<std::mutex> lock(m_);
  return FirstOfKind(false);
}

void TSimulatedBackend::Apply(TFaultAction action) {
  const int instrument = InstrumentIndex();
  const int mouse = MouseIndex();
  switch (action) {
    case TFaultAction::Unplug:
      if (instrument >= 0) Unplug(instrument);
      break;
    case TFaultAction::Plug:
      if (instrument >= 0) Plug(instrument);
      break;
    case TFaultAction::Silence:
      SetAnswerMode(TAnswerMode::Silent);
      break;
    case TFaultAction::Talk:
    case TFaultAction::Normal:
      SetAnswerMode(TAnswerMode::Normal);
      break;
    case TFaultAction::WrongEcho:
      SetAnswerMode(TAnswerMode::WrongEcho);
      break;
    case TFaultAction::Garbage:
      SetAnswerMode(TAnswerMode::Garbage);
      break;
    case TFaultAction::Short:
      SetAnswerMode(TAnswerMode::Short);
      break;
    case TFaultAction::Erase:
      EraseCalibration();
      break;
    case TFaultAction::MousePlug:
      if (mouse < 0)
        AddMouse(true);
      else
        Plug(mouse);
      break;
    case TFaultAction::MouseUnplug:
      if (mouse >= 0) Unplug(mouse);
      break;
  }
}

void TSimulatedBackend::SetAnswerMode(TAnswerMode mode) {
  std::lock_guard<std::mutex> lock(m_);
  if (TSimFirmware* fw = FirmwareAt(-1)) fw->SetAnswerMode(mode);
}

void TSimulatedBackend::EraseCalibration() {
  std::lock_guard<std::mutex> lock(m_);
  if (TSimFirmware* fw = FirmwareAt(-1)) fw->EraseCalibration();
}

void TSimulatedBackend::SetSchedule(std::vector<TFaultEvent> events) {
  StopScheduler();
  {
    std::lock_guard<std::mutex> lock(scheduleMutex_);
    schedule_ = std::move(events);
    nextEvent_ = 0;
    scheduleStartMs_ = CurrentClock().UtcMs();
    schedulerStop_ = false;
    if (schedule_.empty()) return;
  }
  scheduler_ = std::thread([this] { SchedulerLoop(); });
}

int TSimulatedBackend::ApplyDueEvents() {
  std::lock_guard<std::mutex> order(applyMutex_);
  std::vector<TFaultAction> due;
  {
    std::lock_guard<std::mutex> lock(scheduleMutex_);
    const std::int64_t now = CurrentClock().UtcMs();
    while (nextEvent_ < schedule_.size() &&
           static_cast<double>(scheduleStartMs_) + schedule_[nextEvent_].AtSeconds * 1000.0 <=
               static_cast<double>(now))
      due.push_back(schedule_[nextEvent_++].Action);
  }
  for (TFaultAction a : due) Apply(a);
  return static_cast<int>(due.size());
}

int TSimulatedBackend::PendingEvents() const {
  std::lock_guard<std::mutex> lock(scheduleMutex_);
  return static_cast<int>(schedule_.size() - nextEvent_);
}

void TSimulatedBackend::SchedulerLoop() {
  while (true) {
    {
      std::unique_lock<std::mutex> lock(scheduleMutex_);
      scheduleCv_.wait_for(lock, std::chrono::milliseconds(20), [this] { return schedulerStop_; });
      if (schedulerStop_ || nextEvent_ >= schedule_.size()) return;
    }
    ApplyDueEvents();
  }
}

void TSimulatedBackend::StopScheduler() {
  {
    std::lock_guard<std::mutex> lock(scheduleMutex_);
    schedulerStop_ = true;
  }
  scheduleCv_.notify_all();
  if (scheduler_.joinable()) scheduler_.join();
}

void TSimulatedBackend::InjectInput(int index, const std::vector<std::uint8_t>& report) {
  std::lock_guard<std::mutex> lock(m_);
  TSimDevice& dev = devices_.at(static_cast<std::size_t>(index));
  if (!dev.plugged) return;
  std::vector<std::uint8_t> full = report;
  if (!dev.desc.NumberedReports) full.insert(full.begin(), 0);
  Deliver(dev, full);
}

void TSimulatedBackend::Deliver(TSimDevice& dev, const std::vector<std::uint8_t>& report) {
  for (TSimHandle* h : dev.handles)
    if (h->Generation() == dev.generation) h->Push(report);
  cv_.notify_all();
}

bool TSimulatedBackend::ReplayOver() const {
  std::lock_guard<std::mutex> lock(m_);
  return replayOver_;
}

void TSimulatedBackend::SetReplayOverCallback(std::function<void()> callback) {
  std::lock_guard<std::mutex> lock(m_);
  replayOverCallback_ = std::move(callback);
}

std::vector<std::uint8_t> TSimulatedBackend::LastRequest(int index) const {
  std::lock_guard<std::mutex> lock(m_);
  return devices_.at(static_cast<std::size_t>(index)).lastRequest;
}

int TSimulatedBackend::RequestCount(int index) const {
  std::lock_guard<std::mutex> lock(m_);
  return devices_.at(static_cast<std::size_t>(index)).requests;
}

int TSimulatedBackend::OpenHandles(int index) const {
  std::lock_guard<std::mutex> lock(m_);
  return static_cast<int>(devices_.at(static_cast<std::size_t>(index)).handles.size());
}

TSimTruth TSimulatedBackend::LastTruth(int index) const {
  std::lock_guard<std::mutex> lock(m_);
  const TSimFirmware* fw = FirmwareAt(index);
  return fw ? fw->LastTruth() : TSimTruth{};
}

TSimNvm TSimulatedBackend::Nvm(int index) const {
  std::lock_guard<std::mutex> lock(m_);
  const TSimFirmware* fw = FirmwareAt(index);
  return fw ? fw->Nvm() : TSimNvm{};
}

std::vector<THidDeviceEntry> TSimulatedBackend::Enumerate() {
  std::lock_guard<std::mutex> lock(m_);
  std::vector<THidDeviceEntry> out;
  for (const TSimDevice& dev : devices_) {
    if (!dev.plugged) continue;
    THidDeviceEntry e;
    e.Path = kPathPrefix + dev.desc.Name;
    e.Identity = e.Path + "#" + std::to_string(dev.generation);
    e.VendorID = dev.desc.VendorID;
    e.ProductID = dev.desc.ProductID;
    e.ReleaseNumber = dev.desc.ReleaseNumber;
    e.ProductString = dev.desc.Product;
    e.SerialNumber = dev.desc.Serial;
    e.BusInfo = "simulated";
    out.push_back(std::move(e));
  }
  return out;
}

std::unique_ptr<IHidHandle> TSimulatedBackend::Open(const std::string& path, THidOpenMode,
                                                    THidError& error) {
  std::lock_guard<std::mutex> lock(m_);
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    TSimDevice& dev = devices_[i];
    if (kPathPrefix + dev.desc.Name != path) continue;
    if (!dev.plugged) break;
    if (!dev.desc.ReadWriteAccess) {
      error = {"Permission denied", hiderr::kAccess};
      return nullptr;
    }
    auto h = std::make_unique<TSimHandle>(*this, static_cast<int>(i), dev.generation,
                                          dev.desc.NumberedReports);
    dev.handles.push_back(h.get());
    return h;
  }
  error = {"No such device", hiderr::kNoDevice};
  return nullptr;
}

void TSimulatedBackend::SetChangeListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  listener_ = std::move(listener);
}

void TSimulatedBackend::NotifyChange() {
  std::lock_guard<std::mutex> lock(listenerMutex_);
  if (listener_) listener_();
}

}  // namespace quorvel
