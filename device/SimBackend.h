// The simulated backend: one or more simulated HID devices that can be
// plugged and unplugged at run time. The instrument (VID 0x04D8, PID 0x003F,
// "HID QLX SOLAR") answers through its simulated firmware; a mouse may come
// and go beside it. Behaves like hidraw where it matters: every open handle
// gets its own copy of each input report, the report ID byte is left out of
// reads for devices without numbered reports, and a device that was pulled
// out gets a new identity when it comes back. Plain C++, thread-safe.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/HidBackend.h"
#include "device/SimInstrument.h"

namespace quorvel {

class TSimHandle;

struct TSimDeviceDesc {
  std::string Name;  // the device path is "sim:" + Name
  std::uint16_t VendorID = 0;
  std::uint16_t ProductID = 0;
  std::uint16_t ReleaseNumber = 0x0100;
  std::wstring Product;
  std::wstring Serial;
  // String descriptor 0; nothing = the platform cannot read it.
  std::optional<std::vector<std::uint16_t>> LanguageIds = std::vector<std::uint16_t>{0x0409};
  bool NumberedReports = false;
  bool ReadWriteAccess = true;
  // Answers requests; none for a device that never answers (the mouse).
  std::shared_ptr<TSimFirmware> Firmware;
};

class TSimulatedBackend final : public IHidBackend {
 public:
  TSimulatedBackend();
  ~TSimulatedBackend() override;
  TSimulatedBackend(const TSimulatedBackend&) = delete;
  TSimulatedBackend& operator=(const TSimulatedBackend&) = delete;

  // Devices. Each returns the device's index.
  int AddDevice(TSimDeviceDesc desc, bool plugged);
  int AddInstrument(TSimInstrumentConfig config = {}, bool plugged = true,
                    const std::string& name = "instrument");
  // VID 0x046D, PID 0xC077, "USB Optical Mouse", numbered reports.
  int AddMouse(bool plugged = true);
  void Plug(int index);
  void Unplug(int index);
  bool IsPlugged(int index) const;
  int DeviceCount() const;
  // The first instrument and the first mouse, -1 if none.
  int InstrumentIndex() const;
  int MouseIndex() const;

  // Faults, on the first instrument (the mouse for the mouse actions).
  void Apply(TFaultAction action);
  void SetAnswerMode(TAnswerMode mode);
  void EraseCalibration();
  // Starts a fault schedule whose times count from now (the program's
  // clock) and a thread that applies each action when its time has come.
  void SetSchedule(std::vector<TFaultEvent> events);
  // Applies the actions that are due; returns how many.
  int ApplyDueEvents();
  int PendingEvents() const;

  // An input report that a device sends without being asked (report ID at
  // byte 0 for numbered devices).
  void InjectInput(int index, const std::vector<std::uint8_t>& report);

  // The replay ran out; the callback runs once, on the thread whose request
  // found the replay exhausted, outside the backend's lock.
  bool ReplayOver() const;
  void SetReplayOverCallback(std::function<void()> callback);

  // Inspection for tests and demos.
  std::vector<std::uint8_t> LastRequest(int index) const;  // with report ID
  int RequestCount(int index) const;
  int OpenHandles(int index) const;
  TSimTruth LastTruth(int index = -1) const;
  TSimNvm Nvm(int index = -1) const;

  // IHidBackend
  std::vector<THidDeviceEntry> Enumerate() override;
  std::unique_ptr<IHidHandle> Open(const std::string& path, THidOpenMode mode,
                                   THidError& error) override;
  THidChangeSource ChangeSource() const override { return THidChangeSource::Self; }
  void SetChangeListener(std::function<void()> listener) override;

 private:
  friend class TSimHandle;
  struct TSimDevice {
    TSimDeviceDesc desc;
    bool plugged = false;
    std::uint64_t generation = 0;
    std::vector<TSimHandle*> handles;
    std::vector<std::uint8_t> lastRequest;
    int requests = 0;
  };

  void NotifyChange();
  void Deliver(TSimDevice& dev, const std::vector<std::uint8_t>& report);
  // With m_ held.
  int FirstOfKind(bool instrument) const;
  TSimFirmware* FirmwareAt(int index) const;
  void SchedulerLoop();
  void StopScheduler();

  mutable std::mutex m_;
  std::condition_variable cv_;
  std::vector<TSimDevice> devices_;
  bool replayOver_ = false;
  std::function<void()> replayOverCallback_;

  std::mutex listenerMutex_;
  std::function<void()> listener_;

  std::mutex applyMutex_;  // keeps scheduled actions in order
  mutable std::mutex scheduleMutex_;
  std::condition_variable scheduleCv_;
  std::vector<TFaultEvent> schedule_;
  std::size_t nextEvent_ = 0;
  std::int64_t scheduleStartMs_ = 0;
  bool schedulerStop_ = false;
  std::thread scheduler_;
};

}  // namespace quorvel
