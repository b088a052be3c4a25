// Real hardware through hidapi's hidraw backend. Kept thin: every operation
// maps onto one hidapi call; what hidapi cannot tell (report framing, device
// identity across a re-plug, whether a device is gone) comes from the hidraw
// node and sysfs.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/HidBackend.h"

namespace quorvel {

class THidapiBackend final : public IHidBackend {
 public:
  // The first backend of the program calls hid_init, the last one hid_exit.
  THidapiBackend();
  ~THidapiBackend() override;
  THidapiBackend(const THidapiBackend&) = delete;
  THidapiBackend& operator=(const THidapiBackend&) = delete;

  std::vector<THidDeviceEntry> Enumerate() override;
  std::unique_ptr<IHidHandle> Open(const std::string& path, THidOpenMode mode,
                                   THidError& error) override;
  THidChangeSource ChangeSource() const override { return THidChangeSource::Hidraw; }
  void SetChangeListener(std::function<void()>) override {}
};

// True when a HID report descriptor declares report IDs (a Report ID item),
// i.e. the device's reports start with their ID byte. A truncated descriptor
// is read as far as it goes.
bool ReportDescriptorUsesIds(const std::vector<std::uint8_t>& descriptor);

}  // namespace quorvel
