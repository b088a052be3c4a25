// HID device access: the controller that finds devices and notices when they
// come and go, the device objects it hands out, and the per-device read
// thread. Everything here runs on the main (event-loop) thread except the
// read threads, which hand their reports to the main thread synchronously.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/HidBackend.h"

class QTimer;

namespace quorvel {

class THidDevice;
class THidDeviceController;
class THidDeviceReadThread;

// Data callback: the report ID and the bytes that follow it (Size of them).
using THidDataEvent = std::function<void(THidDevice* HidDev, std::uint8_t ReportID,
                                         const std::uint8_t* Data, std::uint16_t Size)>;
using THidDataErrorEvent = std::function<void(THidDevice* HidDev, std::uint32_t Error)>;
using THidEvent = std::function<void(THidDevice* HidDev)>;
// Sender is the controller.
using THidNotifyEvent = std::function<void(QObject* Sender)>;
using THidEnumerateEvent = std::function<bool(THidDevice* HidDev, int Idx)>;

struct THidAttributes {
  std::uint32_t Size = 10;
  std::uint16_t VendorID = 0;
  std::uint16_t ProductID = 0;
  std::uint16_t VersionNumber = 0;
};

// The capability record. Lengths count the report ID byte.
struct THidCaps {
  std::uint16_t Usage = 0;
  std::uint16_t UsagePage = 0;
  std::uint16_t InputReportByteLength = 0;
  std::uint16_t OutputReportByteLength = 0;
  std::uint16_t FeatureReportByteLength = 0;
};

// hidapi has no capabilities query: every accessible device reports the
// instrument's report lengths, 65 bytes with the report ID.
constexpr std::uint16_t kDefaultReportLength = 65;

struct THidPnPInfo {
  std::string DeviceID;    // identity across enumerations (path + platform data)
  std::string DevicePath;  // opens the device
  std::string BusInfo;     // descriptive only
};

constexpr int kThreadSleepTimeMin = 10;
constexpr int kThreadSleepTimeMax = 10000;
constexpr int kThreadSleepTimeDefault = 100;
// Longest wait of a synchronous read: a silent instrument must never freeze
// the program, so a read that gets no report in this time fails.
constexpr int kDefaultReadTimeoutMs = 2000;

class THidDevice {
 public:
  ~THidDevice();
  THidDevice(const THidDevice&) = delete;
  THidDevice& operator=(const THidDevice&) = delete;

  bool IsPluggedIn() const { return FPluggedIn.load(); }
  bool IsCheckedOut() const { return FCheckedOut.load(); }
  bool HasReadWriteAccess() const { return FHasReadWriteAccess; }
  const THidAttributes& Attributes() const { return FAttributes; }
  const THidPnPInfo& PnPInfo() const { return FPnPInfo; }
  THidDeviceController& Controller() const { return FController; }

  // Cached after the first successful read; empty when unknown. A serial
  // number that merely repeats the device's language-ID list is no serial
  // number.
  std::string ProductName();
  std::string SerialNumber();

  // Zeroed when the device cannot be opened and nothing was cached before.
  THidCaps Caps();

  // One report, byte 0 the report ID. ReadFile gives callers the report ID at
  // byte 0 also when the platform drops it (devices without numbered
  // reports: byte 0 is then 0). On false, LastError() tells why.
  bool WriteFile(const void* Report, std::uint32_t ToWrite, std::uint32_t& BytesWritten);
  bool ReadFile(void* Report, std::uint32_t ToRead, std::uint32_t& BytesRead);
  // TimeoutMs < 0 waits without limit.
  bool ReadFile(void* Report, std::uint32_t ToRead, std::uint32_t& BytesRead, int TimeoutMs);
  // Drops input reports already queued on the synchronous handle (a late
  // answer to an earlier request must not pass for the next one's).
  void FlushQueue();
  THidError LastError() const { return FLastError; }
  // Closes the synchronous handle (reopened on demand).
  void CloseFile();

  // Wait of ReadFile without a time-out argument.
  int ReadTimeout() const { return FReadTimeoutMs; }
  void SetReadTimeout(int ms) { FReadTimeoutMs = ms; }

  // Input-queue lengths of the synchronous and the read-thread handle; 0
  // while that handle is closed. Setting opens the handle (if the device is
  // accessible) and reads back the effective length.
  int NumInputBuffers() const { return FNumInputBuffers; }
  void SetNumInputBuffers(int Value);
  int NumOverlappedBuffers() const { return FNumOverlappedBuffers.load(); }
  void SetNumOverlappedBuffers(int Value);

  // Read-thread sleep slice in ms; values outside 10..10000 are ignored.
  int ThreadSleepTime() const { return FThreadSleepTime.load(); }
  void SetThreadSleepTime(int Value);

  // Setting a callback starts the read thread once the device is plugged
  // in, checked out and writable; clearing it stops the thread.
  const THidDataEvent& OnData() const { return FOnData; }
  void SetOnData(THidDataEvent Value);
  void SetDataEvent(THidDataEvent Value) { SetOnData(std::move(Value)); }
  bool HasReadThread() const { return FDataThread != nullptr; }
  const THidDeviceReadThread* DataThread() const { return FDataThread.get(); }

  THidDataErrorEvent OnDataError;
  // Fired once, when the device is found missing.
  THidEvent OnUnplug;

 private:
  friend class THidDeviceController;
  friend class THidDeviceReadThread;
  struct TReadSlot;

  THidDevice(THidDeviceController& controller, IHidBackend& backend, const THidDeviceEntry& entry);

  // Access rule: plugged in (and not known gone) and either checked out or
  // inside its arrival/enumeration callback.
  bool CanOpen() const;
  THidError AccessError() const;
  bool OpenSync();
  void CloseAll();
  void MarkUnplugged();
  void NoteFailure(IHidHandle& handle);
  void StartReadThreadIfReady();
  void StopReadThread();
  // Runs `use` on the synchronous handle, opened for the occasion if it was
  // closed (and closed again afterwards). False if it cannot be opened.
  bool WithSyncHandle(const std::function<void(IHidHandle&)>& use);

  THidDeviceController& FController;
  IHidBackend& FBackend;
  THidDeviceEntry FEntry;
  THidAttributes FAttributes;
  THidPnPInfo FPnPInfo;
  std::atomic<bool> FPluggedIn{true};
  std::atomic<bool> FCheckedOut{false};
  std::atomic<bool> FIsEnumerated{false};
  // Set when I/O failed because the device went away: it then counts as
  // missing at the next change run, however fast it came back.
  std::atomic<bool> FGone{false};
  bool FHasReadWriteAccess = false;
  bool FDestroying = false;
  bool FStoppingThread = false;
  std::unique_ptr<IHidHandle> FSyncHandle;
  std::shared_ptr<TReadSlot> FReadSlot;
  int FNumInputBuffers = 0;
  int FRequestedInputBuffers = 0;
  std::atomic<int> FNumOverlappedBuffers{0};
  std::atomic<int> FThreadSleepTime{kThreadSleepTimeDefault};
  int FReadTimeoutMs = kDefaultReadTimeoutMs;
  std::optional<std::string> FProductName;
  std::optional<std::string> FSerialNumber;
  std::optional<THidCaps> FCaps;
  THidError FLastError;
  THidDataEvent FOnData;
  std::unique_ptr<THidDeviceReadThread> FDataThread;
};

// Reads input reports on its own handle and hands each one to the device's
// OnData on the main thread, waiting until the callback has run. Owned by
// its device; created and stopped through OnData, CheckOut and CheckIn.
class THidDeviceReadThread {
 public:
  ~THidDeviceReadThread();
  THidDevice& Device() const { return FDevice; }
  std::uint32_t NumBytesRead() const { return FNumBytesRead.load(); }
  std::uint32_t LastErrorCode() const { return FErr.load(); }

 private:
  friend class THidDevice;
  struct TMailbox;

  THidDeviceReadThread(THidDevice& device, std::size_t reportLength);
  void Start();
  // Main thread: tells the thread to stop, serves a delivery it may be
  // waiting for, and waits for it to end.
  void Stop();
  void Run();
  void Pause(int ms);
  void Deliver(std::function<void()> job);
  static void Serve(const std::shared_ptr<TMailbox>& mailbox);

  THidDevice& FDevice;
  std::size_t FReportLength;
  std::shared_ptr<TMailbox> FMailbox;
  std::atomic<std::uint32_t> FNumBytesRead{0};
  std::atomic<std::uint32_t> FErr{0};
  bool FStopping = false;
  std::thread FThread;
};

// "HID QLX SOLAR", "Device VID=04D8 PID=003F", "... (Serial=1234)".
std::string DeviceName(THidDevice* HidDev);

// The serial number to show: none when the device returned its language-ID
// list (string descriptor 0) in its place. The list is compared over its
// length up to the last word that is not 0xFFFF (that word only if not 0),
// at most 254 words; an empty list means no serial number. Where the
// platform cannot read the list (`languageIds` empty, as with hidapi), the
// serial is used unless it is the usual one-word list U+0409 (US English).
std::string SerialNumberFromDescriptors(
    const std::wstring& serial, const std::optional<std::vector<std::uint16_t>>& languageIds);

class THidDeviceController : public QObject {
 public:
  // A null backend makes an inert controller: no devices, no events. The
  // first change run (parameter -1) is queued here and runs from the event
  // loop; it always ends with OnDeviceChange.
  explicit THidDeviceController(std::shared_ptr<IHidBackend> backend, QObject* parent = nullptr);
  // Clears the events, stops every read thread and frees every device
  // (checked-out ones included: their pointers die with the controller).
  ~THidDeviceController() override;

  // Hands out the first device in list order that is not checked out.
  bool CheckOut(THidDevice*& HidDev);
  // Gives a device back: stops its read thread, closes its handles; an
  // unplugged device is freed. HidDev is cleared.
  void CheckIn(THidDevice*& HidDev);
  // Calls OnEnumerate for each plugged-in device until it returns false;
  // returns the number of calls.
  int Enumerate();

  int NumCheckedInDevices() const { return FNumCheckedIn; }
  int NumCheckedOutDevices() const { return FNumCheckedOut; }
  int NumUnpluggedDevices() const { return FNumUnplugged; }
  int DevThreadSleepTime() const { return FDevThreadSleepTime; }
  void SetDevThreadSleepTime(int Value);
  const std::string& Version() const { return FVersion; }

  std::size_t Count() const { return FList.size(); }
  THidDevice* Device(std::size_t index) const { return FList.at(index).get(); }
  bool Inert() const { return !FBackend; }
  // How changes are noticed: "backend", "udev", "poll" or "none".
  const std::string& ChangeWatchMode() const { return FWatchMode; }
  bool InDeviceChange() const { return FInDeviceChange; }

  // Queues a change run on the main thread; callable from any thread.
  void NotifyDeviceChange();

  THidEvent OnArrival;
  THidEvent OnRemoval;
  THidNotifyEvent OnDeviceChange;
  THidEnumerateEvent OnEnumerate;
  THidEvent OnDeviceUnplug;
  THidDataEvent OnDeviceData;
  THidDataErrorEvent OnDeviceDataError;

 private:
  friend class THidDevice;
  struct TUdevWatch;

  void HandleNotification(int lParam, std::optional<std::vector<THidDeviceEntry>> fresh);
  void DeviceChange(const std::vector<THidDeviceEntry>& fresh);
  void Poll();
  void Recount();
  bool Holds(const THidDevice* dev) const;
  void Discard(THidDevice* dev);
  static std::string Signature(const std::vector<THidDeviceEntry>& entries);

  std::shared_ptr<IHidBackend> FBackend;
  std::vector<std::unique_ptr<THidDevice>> FList;
  // Devices freed during a change run or a check-in die after it, not under
  // a callback that may still use them.
  std::vector<std::unique_ptr<THidDevice>> FGraveyard;
  int FDeferDepth = 0;
  int FNumCheckedIn = 0;
  int FNumCheckedOut = 0;
  int FNumUnplugged = 0;
  int FDevThreadSleepTime = kThreadSleepTimeDefault;
  std::string FVersion = "1.0.34";
  bool FInDeviceChange = false;
  // A notice that came while a change was processed: run again afterwards
  // instead of losing it.
  bool FChangePending = false;
  int FLParam = 0;
  std::atomic<bool> FNotifyQueued{false};
  std::string FWatchMode = "none";
  std::string FLastSignature;
  QTimer* FPollTimer = nullptr;
  std::unique_ptr<TUdevWatch> FUdev;
};

}  // namespace quorvel
