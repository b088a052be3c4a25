// The boundary between HID access and whatever provides the devices: the
// hidapi (hidraw) backend for real hardware, the simulated instrument for
// demos and tests, and the capture wrapper around either. Nothing above this
// interface knows which one is in use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// Error codes handed to callers alongside the error text. Backends use the
// platform's errno values where one applies, so "(%x)" of an error message
// shows errno in hexadecimal; 0 when the platform gave no code.
namespace hiderr {
constexpr std::uint32_t kNone = 0;
constexpr std::uint32_t kNoDevice = 19;   // ENODEV: unplugged
constexpr std::uint32_t kAccess = 13;     // EACCES: not accessible now
constexpr std::uint32_t kTimedOut = 110;  // ETIMEDOUT: no answer in time
constexpr std::uint32_t kInvalid = 22;    // EINVAL: bad length or buffer
}  // namespace hiderr

// One entry of an enumeration.
struct THidDeviceEntry {
  std::string Path;  // opens the device
  // Identity across enumerations: the path plus what the platform tells
  // apart (device node inode for hidraw, plug generation for the simulator).
  // A device unplugged and plugged again gets a different identity even
  // when it gets the same path back.
  std::string Identity;
  std::uint16_t VendorID = 0;
  std::uint16_t ProductID = 0;
  std::uint16_t ReleaseNumber = 0;
  // Strings as the enumeration reports them (readable without opening).
  std::wstring ProductString;
  std::wstring SerialNumber;
  std::string BusInfo;  // descriptive only
};

// Why a handle is opened: the capture wrapper records what synchronous
// handles read (the answers), not the read thread's copies.
enum class THidOpenMode { Sync, Monitor };

// How a backend learns that devices came or went.
enum class THidChangeSource {
  Self,    // the backend calls its change listener itself
  Hidraw,  // Linux hidraw devices: watch udev, or poll the enumeration
  Poll,    // poll the enumeration
};

struct THidError {
  std::string Text;
  std::uint32_t Code = hiderr::kNone;
};

// One open handle on a device. A handle is used by one thread at a time;
// SetInputQueueLength may be called from any thread.
class IHidHandle {
 public:
  virtual ~IHidHandle() = default;
  // Writes one report whose byte 0 is the report ID. Returns the byte count
  // or -1 (see LastError).
  virtual int Write(const std::uint8_t* data, std::size_t length) = 0;
  // Reads one input report as the platform delivers it: without the report
  // ID byte when the device has no numbered reports. Waits at most
  // timeoutMs (0: do not wait). Returns the byte count, 0 on time-out, -1 on
  // failure.
  virtual int Read(std::uint8_t* data, std::size_t length, int timeoutMs) = 0;
  // Drops every input report already queued on this handle.
  virtual void DiscardInput() = 0;
  // True when the device's reports carry a report ID byte.
  virtual bool NumberedReports() const = 0;
  virtual bool GetProductString(std::wstring& out) = 0;
  virtual bool GetSerialNumberString(std::wstring& out) = 0;
  // The device's language-ID list (string descriptor 0), if the platform can
  // read it.
  virtual std::optional<std::vector<std::uint16_t>> GetLanguageIds() = 0;
  // Applies an input-queue length and returns the effective one.
  virtual int SetInputQueueLength(int requested) = 0;
  // True once the device behind this handle is known to be gone.
  virtual bool IsGone() = 0;
  virtual THidError LastError() const = 0;
};

class IHidBackend {
 public:
  virtual ~IHidBackend() = default;
  virtual std::vector<THidDeviceEntry> Enumerate() = 0;
  // Opens a device by path for reading and writing; nullptr and `error` on
  // failure.
  virtual std::unique_ptr<IHidHandle> Open(const std::string& path, THidOpenMode mode,
                                           THidError& error) = 0;
  virtual THidChangeSource ChangeSource() const = 0;
  // For backends whose ChangeSource() is Self: called from any thread when
  // the device set may have changed. After SetChangeListener({}) returns the
  // old listener is never called again.
  virtual void SetChangeListener(std::function<void()> listener) = 0;
};

}  // namespace quorvel
