#include <gtest/gtest.h>

#include <memory>

#include "DeviceTestSupport.h"
#include "device/HidController.h"
#include "device/HidapiBackend.h"

namespace quorvel {
namespace {

// No HID hardware can be assumed here: the real backend must enumerate and
// start quietly whatever the machine has.
TEST(HidapiBackend, StartsAndEnumeratesQuietly) {
  test::App();
  auto backend = std::make_shared<THidapiBackend>();
  const auto entries = backend->Enumerate();
  for (const auto& e : entries) {
    EXPECT_FALSE(e.Path.empty());
    EXPECT_EQ(e.Identity.rfind(e.Path, 0), 0u);
  }
  THidDeviceController ctl(backend);
  int changes = 0;
  int arrivals = 0;
  ctl.OnArrival = [&](THidDevice*) { ++arrivals; };
  ctl.OnDeviceChange = [&](QObject*) { ++changes; };
  ASSERT_TRUE(test::PumpUntil([&] { return changes == 1; }));
  test::Pump(100);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(arrivals, static_cast<int>(entries.size()));
  EXPECT_TRUE(ctl.ChangeWatchMode() == "udev" || ctl.ChangeWatchMode() == "poll")
      << ctl.ChangeWatchMode();
}

TEST(HidapiBackend, OpeningAMissingPathFailsWithAReason) {
  THidapiBackend backend;
  THidError error;
  EXPECT_EQ(backend.Open("/dev/hidraw-quorvel-missing", THidOpenMode::Sync, error), nullptr);
  EXPECT_FALSE(error.Text.empty());
}

TEST(ReportDescriptor, TellsNumberedReports) {
  using D = std::vector<std::uint8_t>;
  struct Case {
    const char* name;
    D descriptor;
    bool numbered;
  };
  const Case cases[] = {
      // Vendor page, 64-byte input and output reports, no report ID.
      {"instrument",
       D{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x19, 0x01, 0x29, 0x40, 0x15, 0x00, 0x26, 0xFF,
         0x00, 0x75, 0x08, 0x95, 0x40, 0x81, 0x00, 0x19, 0x01, 0x29, 0x40, 0x91, 0x00, 0xC0},
       false},
      {"mouse", D{0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x02, 0x09, 0x01, 0xC0}, true},
      // 0x85 only as data of another item.
      {"data", D{0x26, 0x85, 0x00, 0x16, 0x85, 0x84}, false},
      // A long item whose data holds 0x85 is skipped whole.
      {"long", D{0xFE, 0x02, 0x10, 0x85, 0x01, 0x85, 0x03}, true},
      {"long-only", D{0xFE, 0x02, 0x10, 0x85, 0x01}, false},
      {"truncated", D{0x26, 0xFF}, false},
      {"empty", D{}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReportDescriptorUsesIds(c.descriptor), c.numbered) << c.name;
}

}  // namespace
}  // namespace quorvel
