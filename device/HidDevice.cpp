#include <QMetaObject>
#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>

#include "common/Format.h"
#include "device/HidController.h"
#include "device/HidText.h"

namespace quorvel {

// The read-thread handle. The thread holds the lock while it reads (one
// slice at most), so closing it from the main thread waits for that read.
struct THidDevice::TReadSlot {
  std::mutex m;
  std::unique_ptr<IHidHandle> h;
  int requested = 0;
};

namespace {

// A call the read thread wants run on the main thread.
struct TJob {
  std::function<void()> fn;
  bool done = false;
};

// Longest single read of the read thread, so that stopping it never waits
// long whatever ThreadSleepTime says.
constexpr int kMaxReadSliceMs = 100;

}  // namespace

struct THidDeviceReadThread::TMailbox {
  std::mutex m;
  std::condition_variable cv;
  bool stop = false;
  std::shared_ptr<TJob> pending;
};

// ---------------------------------------------------------------- THidDevice

THidDevice::THidDevice(THidDeviceController& controller, IHidBackend& backend,
                       const THidDeviceEntry& entry)
    : FController(controller),
      FBackend(backend),
      FEntry(entry),
      FReadSlot(std::make_shared<TReadSlot>()) {
  FAttributes.VendorID = entry.VendorID;
  FAttributes.ProductID = entry.ProductID;
  FAttributes.VersionNumber = entry.ReleaseNumber;
  FPnPInfo.DeviceID = entry.Identity;
  FPnPInfo.DevicePath = entry.Path;
  FPnPInfo.BusInfo = entry.BusInfo;
  // Opened once to learn whether it can be written; closed at once. A device
  // that refuses stays listed: its strings and attributes come from the
  // enumeration, and its I/O fails with the platform's reason.
  THidError error;
  FHasReadWriteAccess = backend.Open(entry.Path, THidOpenMode::Sync, error) != nullptr;
}

THidDevice::~THidDevice() {
  FDestroying = true;
  StopReadThread();
  CloseAll();
}

bool THidDevice::CanOpen() const {
  return FPluggedIn.load() && !FGone.load() && (FCheckedOut.load() || FIsEnumerated.load());
}

THidError THidDevice::AccessError() const {
  if (!FPluggedIn.load() || FGone.load()) return {"Device unplugged", hiderr::kNoDevice};
  return {"Device not checked out", hiderr::kAccess};
}

bool THidDevice::OpenSync() {
  if (!CanOpen()) {
    FLastError = AccessError();
    return false;
  }
  if (FSyncHandle) return true;
  THidError error;
  auto h = FBackend.Open(FEntry.Path, THidOpenMode::Sync, error);
  if (!h) {
    FLastError = error;
    return false;
  }
  if (FRequestedInputBuffers > 0) FNumInputBuffers = h->SetInputQueueLength(FRequestedInputBuffers);
  FSyncHandle = std::move(h);
  return true;
}

void THidDevice::CloseFile() {
  FSyncHandle.reset();
  FNumInputBuffers = 0;
}

void THidDevice::CloseAll() {
  CloseFile();
  std::lock_guard<std::mutex> lock(FReadSlot->m);
  FReadSlot->h.reset();
  FNumOverlappedBuffers = 0;
}

void THidDevice::MarkUnplugged() {
  FPluggedIn = false;
  CloseAll();
  THidEvent unplug = std::move(OnUnplug);
  OnUnplug = nullptr;
  if (unplug) unplug(this);
}

void THidDevice::NoteFailure(IHidHandle& handle) {
  FLastError = handle.LastError();
  if (handle.IsGone()) {
    FGone = true;
    CloseFile();
    // The platform may not have told anyone: have the device set looked at
    // again, so that this one is removed and a returned one arrives anew.
    FController.NotifyDeviceChange();
  }
}

bool THidDevice::WithSyncHandle(const std::function<void(IHidHandle&)>& use) {
  const bool wasOpen = FSyncHandle != nullptr;
  if (!OpenSync()) return false;
  use(*FSyncHandle);
  if (!wasOpen) CloseFile();
  return true;
}

std::string THidDevice::ProductName() {
  if (FProductName) return *FProductName;
  if (!CanOpen()) return {};
  if (!FHasReadWriteAccess) {
    FProductName = WideToUtf8(FEntry.ProductString);
    return *FProductName;
  }
  WithSyncHandle([this](IHidHandle& h) {
    std::wstring text;
    if (h.GetProductString(text))
      FProductName = WideToUtf8(text);
    else
      FLastError = h.LastError();
  });
  return FProductName.value_or(std::string());
}

std::string THidDevice::SerialNumber() {
  if (FSerialNumber) return *FSerialNumber;
  if (!CanOpen()) return {};
  if (!FHasReadWriteAccess) {
    FSerialNumber = SerialNumberFromDescriptors(FEntry.SerialNumber, std::nullopt);
    return *FSerialNumber;
  }
  WithSyncHandle([this](IHidHandle& h) {
    std::wstring text;
    if (h.GetSerialNumberString(text))
      FSerialNumber = SerialNumberFromDescriptors(text, h.GetLanguageIds());
    else
      FLastError = h.LastError();
  });
  return FSerialNumber.value_or(std::string());
}

THidCaps THidDevice::Caps() {
  if (FCaps) return *FCaps;
  if (!CanOpen()) return THidCaps{};
  THidCaps caps;
  caps.InputReportByteLength = kDefaultReportLength;
  caps.OutputReportByteLength = kDefaultReportLength;
  FCaps = caps;
  return caps;
}

bool THidDevice::WriteFile(const void* Report, std::uint32_t ToWrite, std::uint32_t& BytesWritten) {
  BytesWritten = 0;
  if (!OpenSync()) return false;
  const int n = FSyncHandle->Write(static_cast<const std::uint8_t*>(Report), ToWrite);
  if (n < 0) {
    NoteFailure(*FSyncHandle);
    return false;
  }
  BytesWritten = static_cast<std::uint32_t>(n);
  return true;
}

bool THidDevice::ReadFile(void* Report, std::uint32_t ToRead, std::uint32_t& BytesRead) {
  return ReadFile(Report, ToRead, BytesRead, FReadTimeoutMs);
}

bool THidDevice::ReadFile(void* Report, std::uint32_t ToRead, std::uint32_t& BytesRead,
                          int TimeoutMs) {
  BytesRead = 0;
  if (!OpenSync()) return false;
  if (ToRead == 0) return true;
  auto* out = static_cast<std::uint8_t*>(Report);
  IHidHandle& h = *FSyncHandle;
  const bool numbered = h.NumberedReports();
  // Without numbered reports the platform leaves the report ID out: read
  // the data behind byte 0 and give byte 0 the implied ID 0.
  const std::size_t room = numbered ? ToRead : std::max<std::uint32_t>(ToRead - 1, 1);
  std::vector<std::uint8_t> buf(room);
  const int n = h.Read(buf.data(), room, TimeoutMs < 0 ? -1 : TimeoutMs);
  if (n < 0) {
    NoteFailure(h);
    return false;
  }
  if (n == 0) {
    FLastError = {Format("Read timed out after %d ms", {TimeoutMs}), hiderr::kTimedOut};
    return false;
  }
  const auto got = static_cast<std::size_t>(n);
  if (numbered) {
    std::copy_n(buf.begin(), std::min<std::size_t>(got, ToRead), out);
    BytesRead = static_cast<std::uint32_t>(std::min<std::size_t>(got, ToRead));
  } else {
    out[0] = 0;
    const std::size_t copied = std::min<std::size_t>(got, ToRead - 1);
    std::copy_n(buf.begin(), copied, out + 1);
    BytesRead = static_cast<std::uint32_t>(copied + 1);
  }
  return true;
}

void THidDevice::FlushQueue() {
  if (FSyncHandle && CanOpen()) FSyncHandle->DiscardInput();
}

void THidDevice::SetNumInputBuffers(int Value) {
  if (Value == FNumInputBuffers) return;
  FRequestedInputBuffers = Value;
  if (!OpenSync()) return;
  FNumInputBuffers = FSyncHandle->SetInputQueueLength(Value);
}

void THidDevice::SetNumOverlappedBuffers(int Value) {
  if (Value == FNumOverlappedBuffers.load()) return;
  std::lock_guard<std::mutex> lock(FReadSlot->m);
  FReadSlot->requested = Value;
  if (!FReadSlot->h) {
    if (!CanOpen()) return;
    THidError error;
    FReadSlot->h = FBackend.Open(FEntry.Path, THidOpenMode::Monitor, error);
    if (!FReadSlot->h) return;
  }
  FNumOverlappedBuffers = FReadSlot->h->SetInputQueueLength(Value);
}

void THidDevice::SetThreadSleepTime(int Value) {
  if (Value >= kThreadSleepTimeMin && Value <= kThreadSleepTimeMax) FThreadSleepTime = Value;
}

void THidDevice::SetOnData(THidDataEvent Value) {
  if (!Value) {
    FOnData = nullptr;
    StopReadThread();
    return;
  }
  FOnData = std::move(Value);
  StartReadThreadIfReady();
}

void THidDevice::StartReadThreadIfReady() {
  if (FDataThread || FStoppingThread || FDestroying || !FOnData) return;
  if (!FPluggedIn.load() || !FCheckedOut.load() || !FHasReadWriteAccess) return;
  std::size_t length = Caps().InputReportByteLength;
  if (length < 2) length = kDefaultReportLength;
  FDataThread.reset(new THidDeviceReadThread(*this, length));
  FDataThread->Start();
}

void THidDevice::StopReadThread() {
  // A callback served while stopping may clear OnData again: one stop only.
  if (!FDataThread || FStoppingThread) return;
  FStoppingThread = true;
  FDataThread->Stop();
  FDataThread.reset();
  FStoppingThread = false;
}

// ------------------------------------------------------- THidDeviceReadThread

THidDeviceReadThread::THidDeviceReadThread(THidDevice& device, std::size_t reportLength)
    : FDevice(device), FReportLength(reportLength), FMailbox(std::make_shared<TMailbox>()) {}

THidDeviceReadThread::~THidDeviceReadThread() {
  Stop();
}

// Main thread: runs the delivery the read thread is waiting for, if any.
void THidDeviceReadThread::Serve(const std::shared_ptr<TMailbox>& mb) {
  std::shared_ptr<TJob> job;
  {
    std::lock_guard<std::mutex> lock(mb->m);
    job = std::move(mb->pending);
    mb->pending.reset();
  }
  if (!job) return;
  struct Finish {
    TMailbox& mb;
    TJob& job;
    ~Finish() {
      {
        std::lock_guard<std::mutex> lock(mb.m);
        job.done = true;
      }
      mb.cv.notify_all();
    }
  } finish{*mb, *job};
  job->fn();
}

void THidDeviceReadThread::Start() {
  FThread = std::thread([this] { Run(); });
}

void THidDeviceReadThread::Stop() {
  if (FStopping) return;
  FStopping = true;
  {
    std::lock_guard<std::mutex> lock(FMailbox->m);
    FMailbox->stop = true;
  }
  FMailbox->cv.notify_all();
  // The thread may be waiting for us to run its callback: serve it rather
  // than wait for each other.
  Serve(FMailbox);
  if (FThread.joinable()) FThread.join();
}

void THidDeviceReadThread::Pause(int ms) {
  std::unique_lock<std::mutex> lock(FMailbox->m);
  FMailbox->cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FMailbox->stop; });
}

void THidDeviceReadThread::Deliver(std::function<void()> fn) {
  auto job = std::make_shared<TJob>();
  job->fn = std::move(fn);
  std::shared_ptr<TMailbox> mb = FMailbox;
  {
    std::lock_guard<std::mutex> lock(mb->m);
    if (mb->stop) return;
    mb->pending = job;
  }
  QMetaObject::invokeMethod(
      &FDevice.FController, [mb] { Serve(mb); }, Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(mb->m);
  // On a stop the job stays posted: Stop() serves it before the thread ends.
  mb->cv.wait(lock, [&] { return job->done || mb->stop; });
}

void THidDeviceReadThread::Run() {
  THidDevice* dev = &FDevice;
  THidDevice::TReadSlot& slot = *dev->FReadSlot;
  std::vector<std::uint8_t> buf(FReportLength);
  auto stopped = [this] {
    std::lock_guard<std::mutex> lock(FMailbox->m);
    return FMailbox->stop;
  };
  auto fail = [&](std::uint32_t code) {
    FErr = code;
    Deliver([dev, code] {
      if (dev->FDestroying) return;
      THidDataErrorEvent cb = dev->OnDataError;
      if (cb) cb(dev, code);
    });
    // Without a pause a device that is gone would be retried flat out.
    Pause(dev->ThreadSleepTime());
  };

  while (!stopped()) {
    std::unique_lock<std::mutex> hold(slot.m);
    if (!slot.h) {
      THidError error = dev->AccessError();
      if (dev->CanOpen())
        slot.h = dev->FBackend.Open(dev->FEntry.Path, THidOpenMode::Monitor, error);
      if (!slot.h) {
        hold.unlock();
        fail(error.Code);
        continue;
      }
      if (slot.requested > 0)
        dev->FNumOverlappedBuffers = slot.h->SetInputQueueLength(slot.requested);
    }
    IHidHandle& h = *slot.h;
    const bool numbered = h.NumberedReports();
    std::fill(buf.begin(), buf.end(), std::uint8_t{0});
    std::uint8_t* dst = numbered ? buf.data() : buf.data() + 1;
    const std::size_t room = numbered ? buf.size() : buf.size() - 1;
    const int slice = std::min(dev->ThreadSleepTime(), kMaxReadSliceMs);
    const int n = h.Read(dst, room, slice);
    if (n < 0) {
      const THidError error = h.LastError();
      if (h.IsGone() && !dev->FGone.exchange(true)) dev->FController.NotifyDeviceChange();
      slot.h.reset();
      dev->FNumOverlappedBuffers = 0;
      hold.unlock();
      fail(error.Code);
      continue;
    }
    hold.unlock();
    if (n == 0) continue;
    const std::size_t total =
        std::min(buf.size(), static_cast<std::size_t>(n) + (numbered ? 0 : 1));
    FNumBytesRead = static_cast<std::uint32_t>(total);
    const std::uint8_t reportId = buf[0];
    std::vector<std::uint8_t> data(buf.begin() + 1, buf.begin() + static_cast<long>(total));
    Deliver([dev, reportId, data = std::move(data)] {
      if (dev->FDestroying) return;
      THidDataEvent cb = dev->FOnData;  // the callback may replace itself
      if (cb) cb(dev, reportId, data.data(), static_cast<std::uint16_t>(data.size()));
    });
  }
  std::lock_guard<std::mutex> lock(slot.m);
  slot.h.reset();
  dev->FNumOverlappedBuffers = 0;
}

// ------------------------------------------------------------------ helpers

std::string SerialNumberFromDescriptors(
    const std::wstring& serial, const std::optional<std::vector<std::uint16_t>>& languageIds) {
  if (!languageIds)
    return serial == std::wstring(1, L'\x0409') ? std::string() : WideToUtf8(serial);
  std::array<std::uint16_t, 254> list;
  list.fill(0xFFFF);
  std::copy_n(languageIds->begin(), std::min<std::size_t>(languageIds->size(), list.size()),
              list.begin());
  std::size_t length = 0;
  for (std::size_t i = list.size(); i-- > 0;) {
    if (list[i] != 0xFFFF) {
      length = list[i] == 0 ? i : i + 1;
      break;
    }
  }
  for (std::size_t i = 0; i < length; ++i) {
    const auto c = i < serial.size() ? static_cast<std::uint32_t>(serial[i]) : 0u;
    if (c != list[i]) return WideToUtf8(serial);
  }
  return {};
}

std::string DeviceName(THidDevice* HidDev) {
  std::string name = HidDev->ProductName();
  if (name.empty())
    name = Format("Device VID=%.4x PID=%.4x",
                  {HidDev->Attributes().VendorID, HidDev->Attributes().ProductID});
  const std::string serial = HidDev->SerialNumber();
  if (!serial.empty()) name += Format(" (Serial=%s)", {serial});
  return name;
}

}  // namespace quorvel
