#include <gtest/gtest.h>

#include <QThread>
#include <algorithm>
#include <chrono>
#include <memory>

#include "DeviceTestSupport.h"
#include "device/HidController.h"
#include "device/SimBackend.h"

namespace quorvel {
namespace {

using test::App;
using test::Pump;
using test::PumpUntil;

// The simulated devices without their own change notices: the controller
// has to poll, as it does on a system without udev.
class TPollOnlyBackend final : public IHidBackend {
 public:
  explicit TPollOnlyBackend(std::shared_ptr<TSimulatedBackend> sim) : sim_(std::move(sim)) {}
  std::vector<THidDeviceEntry> Enumerate() override { return sim_->Enumerate(); }
  std::unique_ptr<IHidHandle> Open(const std::string& path, THidOpenMode mode,
                                   THidError& error) override {
    return sim_->Open(path, mode, error);
  }
  THidChangeSource ChangeSource() const override { return THidChangeSource::Poll; }
  void SetChangeListener(std::function<void()>) override {}

 private:
  std::shared_ptr<TSimulatedBackend> sim_;
};

// The simulated devices as a platform that cannot tell a re-plugged device
// from the one that left: same identity, and no notice of the change.
class TForgetfulBackend final : public IHidBackend {
 public:
  explicit TForgetfulBackend(std::shared_ptr<TSimulatedBackend> sim) : sim_(std::move(sim)) {}
  std::vector<THidDeviceEntry> Enumerate() override {
    auto entries = sim_->Enumerate();
    for (auto& e : entries) e.Identity = e.Path;
    return entries;
  }
  std::unique_ptr<IHidHandle> Open(const std::string& path, THidOpenMode mode,
                                   THidError& error) override {
    return sim_->Open(path, mode, error);
  }
  THidChangeSource ChangeSource() const override { return THidChangeSource::Self; }
  void SetChangeListener(std::function<void()>) override {}

 private:
  std::shared_ptr<TSimulatedBackend> sim_;
};

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { App(); }

  // Builds the controller with handlers shaped like the main window's:
  // every change checks out all devices and sizes their queues.
  void Start(std::shared_ptr<IHidBackend> backend) {
    ctl = std::make_unique<THidDeviceController>(std::move(backend));
    ctl->OnArrival = [this](THidDevice* d) {
      seq.push_back("arrival:" + DeviceName(d));
      arrived.push_back(d);
    };
    ctl->OnRemoval = [this](THidDevice* d) { seq.push_back("removal:" + DeviceName(d)); };
    ctl->OnDeviceUnplug = [this](THidDevice* d) { seq.push_back("unplug:" + DeviceName(d)); };
    ctl->OnDeviceChange = [this](QObject* sender) {
      EXPECT_EQ(sender, ctl.get());
      seq.push_back("change");
      ++changes;
      if (!checkOutAll) return;
      THidDevice* d = nullptr;
      while (ctl->CheckOut(d)) {
        d->SetNumInputBuffers(128);
        d->SetNumOverlappedBuffers(128);
      }
    };
  }
  void StartSim() { Start(sim); }
  bool WaitChanges(int n, int ms = 3000) {
    return PumpUntil([&] { return changes >= n; }, ms);
  }
  int Count(const std::string& event) const {
    return static_cast<int>(std::count(seq.begin(), seq.end(), event));
  }

  std::shared_ptr<TSimulatedBackend> sim = std::make_shared<TSimulatedBackend>();
  std::unique_ptr<THidDeviceController> ctl;
  std::vector<std::string> seq;
  std::vector<THidDevice*> arrived;
  int changes = 0;
  bool checkOutAll = true;
};

TEST_F(ControllerTest, StartWithoutDevicesReportsOneChangeAndNoArrival) {
  sim->AddInstrument({}, /*plugged=*/false);
  StartSim();
  EXPECT_TRUE(seq.empty()) << "nothing may happen before the event loop runs";
  ASSERT_TRUE(WaitChanges(1));
  Pump(200);
  EXPECT_EQ(seq, std::vector<std::string>({"change"}));
  EXPECT_EQ(ctl->Count(), 0u);
  EXPECT_EQ(ctl->ChangeWatchMode(), "backend");
}

TEST_F(ControllerTest, DevicesPresentAtStartArriveBeforeTheChange) {
  sim->AddInstrument();
  sim->AddMouse();
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  // The names were read inside the arrivals, before any check-out.
  EXPECT_EQ(seq, std::vector<std::string>(
                     {"arrival:HID QLX SOLAR", "arrival:USB Optical Mouse", "change"}));
  ASSERT_EQ(ctl->Count(), 2u);
  EXPECT_EQ(ctl->NumCheckedOutDevices(), 2);
  EXPECT_EQ(ctl->NumCheckedInDevices(), 0);
  EXPECT_EQ(ctl->NumUnpluggedDevices(), 0);
  THidDevice* instrument = ctl->Device(0);
  EXPECT_EQ(instrument->Attributes().VendorID, 0x04D8);
  EXPECT_EQ(instrument->Attributes().ProductID, 0x003F);
  EXPECT_EQ(instrument->NumInputBuffers(), 128);
  EXPECT_EQ(instrument->NumOverlappedBuffers(), 128);
  EXPECT_EQ(ctl->Version(), "1.0.34");
}

TEST_F(ControllerTest, UnpluggedCheckedOutDeviceStaysListedAndIsReportedAgain) {
  const int instrument = sim->AddInstrument();
  const int mouse = sim->AddMouse();
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* dev = ctl->Device(0);
  seq.clear();

  sim->Unplug(instrument);
  ASSERT_TRUE(WaitChanges(2));
  EXPECT_EQ(seq,
            std::vector<std::string>({"unplug:HID QLX SOLAR", "removal:HID QLX SOLAR", "change"}));
  ASSERT_EQ(ctl->Count(), 2u);
  EXPECT_EQ(ctl->Device(0), dev);
  EXPECT_FALSE(dev->IsPluggedIn());
  EXPECT_TRUE(dev->IsCheckedOut());
  EXPECT_EQ(ctl->NumUnpluggedDevices(), 1);
  EXPECT_EQ(ctl->NumCheckedOutDevices(), 1);
  EXPECT_EQ(dev->NumInputBuffers(), 0) << "handles closed";

  // Any later change reports it again, but unplugs it only once.
  seq.clear();
  sim->Unplug(mouse);
  ASSERT_TRUE(WaitChanges(3));
  EXPECT_EQ(Count("removal:HID QLX SOLAR"), 1);
  EXPECT_EQ(Count("unplug:HID QLX SOLAR"), 0);
  EXPECT_EQ(Count("removal:USB Optical Mouse"), 1);
  EXPECT_EQ(seq.back(), "change");
}

TEST_F(ControllerTest, ReplugYieldsANewDeviceObjectAndArrival) {
  const int instrument = sim->AddInstrument();
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* first = ctl->Device(0);
  const std::string firstId = first->PnPInfo().DeviceID;

  sim->Unplug(instrument);
  ASSERT_TRUE(WaitChanges(2));
  seq.clear();
  arrived.clear();
  sim->Plug(instrument);
  ASSERT_TRUE(WaitChanges(3));
  ASSERT_EQ(arrived.size(), 1u);
  EXPECT_NE(arrived[0], first);
  EXPECT_NE(arrived[0]->PnPInfo().DeviceID, firstId);
  EXPECT_EQ(arrived[0]->PnPInfo().DevicePath, first->PnPInfo().DevicePath);
  EXPECT_EQ(seq,
            std::vector<std::string>({"removal:HID QLX SOLAR", "arrival:HID QLX SOLAR", "change"}));
  EXPECT_TRUE(arrived[0]->IsCheckedOut());
}

TEST_F(ControllerTest, ReplugBeforeTheChangeRunStillEndsAsRemovalAndArrival) {
  const int instrument = sim->AddInstrument();
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* first = ctl->Device(0);
  seq.clear();
  sim->Unplug(instrument);
  sim->Plug(instrument);  // both before the event loop runs again
  ASSERT_TRUE(WaitChanges(2));
  Pump(100);
  EXPECT_EQ(seq, std::vector<std::string>({"unplug:HID QLX SOLAR", "removal:HID QLX SOLAR",
                                           "arrival:HID QLX SOLAR", "change"}));
  EXPECT_FALSE(first->IsPluggedIn());
  EXPECT_EQ(changes, 2);
}

TEST_F(ControllerTest, DeviceWhoseIoFailedBecauseItIsGoneArrivesAnew) {
  const int instrument = sim->AddInstrument();
  Start(std::make_shared<TForgetfulBackend>(sim));
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* first = ctl->Device(0);
  std::uint8_t report[65] = {0, 0x81};
  std::uint32_t n = 0;
  ASSERT_TRUE(first->WriteFile(report, 65, n));

  sim->Unplug(instrument);
  sim->Plug(instrument);
  Pump(100);
  EXPECT_EQ(changes, 1) << "nobody noticed";
  seq.clear();
  EXPECT_FALSE(first->WriteFile(report, 65, n));
  EXPECT_EQ(first->LastError().Text, "No such device");
  ASSERT_TRUE(WaitChanges(2));
  EXPECT_EQ(seq, std::vector<std::string>({"unplug:HID QLX SOLAR", "removal:HID QLX SOLAR",
                                           "arrival:HID QLX SOLAR", "change"}));
  ASSERT_EQ(arrived.size(), 2u);
  EXPECT_TRUE(arrived[1]->WriteFile(report, 65, n));
}

TEST_F(ControllerTest, PollingNoticesChangesIncludingAFastReplug) {
  const int instrument = sim->AddInstrument();
  Start(std::make_shared<TPollOnlyBackend>(sim));
  ASSERT_TRUE(WaitChanges(1));
  EXPECT_EQ(ctl->ChangeWatchMode(), "poll");
  THidDevice* first = ctl->Device(0);

  // Out and back in within one polling interval.
  sim->Unplug(instrument);
  sim->Plug(instrument);
  ASSERT_TRUE(WaitChanges(2, 2500));
  EXPECT_FALSE(first->IsPluggedIn());
  EXPECT_EQ(arrived.size(), 2u);

  // Polling reports real changes only, although an unplugged checked-out
  // device is still listed.
  Pump(2300);
  EXPECT_EQ(changes, 2);
}

TEST_F(ControllerTest, ANoticeDuringAChangeIsNotLost) {
  sim->AddInstrument();
  bool plugged = false;
  StartSim();
  auto base = ctl->OnDeviceChange;
  ctl->OnDeviceChange = [&](QObject* s) {
    base(s);
    if (!plugged) {
      plugged = true;
      sim->AddMouse();
      // A modal message box runs a nested event loop here.
      Pump(100);
    }
  };
  ASSERT_TRUE(WaitChanges(2));
  EXPECT_EQ(Count("arrival:USB Optical Mouse"), 1);
  EXPECT_EQ(ctl->Count(), 2u);
}

TEST_F(ControllerTest, CheckInGivesBackOrFreesTheDevice) {
  const int instrument = sim->AddInstrument();
  sim->AddMouse();
  checkOutAll = false;
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  EXPECT_EQ(ctl->NumCheckedInDevices(), 2);
  THidDevice* a = nullptr;
  THidDevice* b = nullptr;
  THidDevice* none = nullptr;
  ASSERT_TRUE(ctl->CheckOut(a));
  ASSERT_TRUE(ctl->CheckOut(b));
  EXPECT_FALSE(ctl->CheckOut(none));
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(a, ctl->Device(0));
  EXPECT_EQ(ctl->NumCheckedOutDevices(), 2);

  THidDevice* mouse = b;
  ctl->CheckIn(mouse);
  EXPECT_EQ(mouse, nullptr);
  EXPECT_EQ(ctl->Count(), 2u);
  EXPECT_EQ(ctl->NumCheckedInDevices(), 1);

  sim->Unplug(instrument);
  ASSERT_TRUE(WaitChanges(2));
  EXPECT_EQ(ctl->Count(), 2u);  // checked out: stays
  ctl->CheckIn(a);
  EXPECT_EQ(ctl->Count(), 1u);  // unplugged and given back: freed
  EXPECT_EQ(ctl->NumUnpluggedDevices(), 0);
}

TEST_F(ControllerTest, AccessRuleAppliesOutsideArrival) {
  sim->AddInstrument();
  checkOutAll = false;
  std::string nameInArrival;
  StartSim();
  ctl->OnArrival = [&](THidDevice* d) {
    std::uint8_t report[65] = {0, 0x80};
    std::uint32_t n = 0;
    EXPECT_TRUE(d->WriteFile(report, 65, n)) << "usable inside its arrival";
  };
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* dev = ctl->Device(0);
  EXPECT_EQ(dev->ProductName(), "") << "not read in the arrival, not accessible now";
  std::uint8_t report[65] = {0, 0x81};
  std::uint32_t n = 0;
  EXPECT_FALSE(dev->WriteFile(report, 65, n));
  EXPECT_EQ(dev->LastError().Text, "Device not checked out");
  EXPECT_EQ(dev->LastError().Code, hiderr::kAccess);
  EXPECT_EQ(dev->Caps().OutputReportByteLength, 0) << "zeroed when it cannot be opened";
  THidDevice* out = nullptr;
  ASSERT_TRUE(ctl->CheckOut(out));
  EXPECT_EQ(DeviceName(out), "HID QLX SOLAR");
  EXPECT_EQ(out->Caps().OutputReportByteLength, 65);
  EXPECT_EQ(out->Caps().InputReportByteLength, 65);
}

TEST_F(ControllerTest, DeviceWithoutWriteAccessIsListedButCannotBeUsed) {
  TSimDeviceDesc desc;
  desc.Name = "locked";
  desc.VendorID = 0x04D8;
  desc.ProductID = 0x003F;
  desc.Product = L"HID QLX SOLAR";
  desc.ReadWriteAccess = false;
  sim->AddDevice(desc, true);
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  EXPECT_EQ(seq.front(), "arrival:HID QLX SOLAR");
  THidDevice* dev = ctl->Device(0);
  EXPECT_FALSE(dev->HasReadWriteAccess());
  dev->SetOnData([](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
  EXPECT_FALSE(dev->HasReadThread());
  std::uint8_t report[65] = {0, 0x81};
  std::uint32_t n = 0;
  EXPECT_FALSE(dev->WriteFile(report, 65, n));
  EXPECT_EQ(dev->LastError().Text, "Permission denied");
}

TEST_F(ControllerTest, InertControllerReportsNothing) {
  Start(nullptr);
  Pump(200);
  EXPECT_TRUE(ctl->Inert());
  EXPECT_TRUE(seq.empty());
  EXPECT_EQ(ctl->ChangeWatchMode(), "none");
}

TEST_F(ControllerTest, ThreadSleepTimeAcceptsTenToTenThousand) {
  sim->AddInstrument();
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* dev = ctl->Device(0);
  struct Case {
    int set;
    int expected;
  };
  for (const Case c : {Case{9, 100}, Case{10, 10}, Case{10000, 10000}, Case{10001, 100}}) {
    dev->SetThreadSleepTime(100);
    dev->SetThreadSleepTime(c.set);
    EXPECT_EQ(dev->ThreadSleepTime(), c.expected) << c.set;
    ctl->SetDevThreadSleepTime(100);
    ctl->SetDevThreadSleepTime(c.set);
    EXPECT_EQ(ctl->DevThreadSleepTime(), c.expected) << c.set;
  }
}

TEST_F(ControllerTest, DeviceNameAndSerialNumberRules) {
  struct Case {
    const char* name;
    std::wstring product;
    std::wstring serial;
    std::optional<std::vector<std::uint16_t>> langs;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"plain", L"HID QLX SOLAR", L"", std::vector<std::uint16_t>{0x0409}, "HID QLX SOLAR"},
      {"noproduct", L"", L"", std::vector<std::uint16_t>{0x0409}, "Device VID=04D8 PID=003F"},
      {"serial", L"HID QLX SOLAR", L"A1B2", std::vector<std::uint16_t>{0x0409},
       "HID QLX SOLAR (Serial=A1B2)"},
      {"langlist", L"HID QLX SOLAR", std::wstring(1, L'\x0409'), std::vector<std::uint16_t>{0x0409},
       "HID QLX SOLAR"},
      {"nolist", L"", L"77", std::vector<std::uint16_t>{}, "Device VID=04D8 PID=003F"},
      {"unreadable", L"", L"77", std::nullopt, "Device VID=04D8 PID=003F (Serial=77)"},
  };
  for (const auto& c : cases) {
    TSimDeviceDesc desc;
    desc.Name = c.name;
    desc.VendorID = 0x04D8;
    desc.ProductID = 0x003F;
    desc.Product = c.product;
    desc.Serial = c.serial;
    desc.LanguageIds = c.langs;
    sim->AddDevice(desc, true);
  }
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  ASSERT_EQ(ctl->Count(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(DeviceName(ctl->Device(i)), cases[i].expected) << cases[i].name;
}

TEST(SerialNumberRule, ComparesWithTheLanguageListUpToItsLength) {
  using V = std::vector<std::uint16_t>;
  struct Case {
    std::wstring serial;
    std::optional<V> langs;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {L"12345", V{0x0409}, "12345"},
      {std::wstring(1, L'\x0409'), V{0x0409}, ""},
      // The list runs to its last word that is not 0xFFFF, a final 0 not counted.
      {std::wstring(1, L'\x0409'), V{0x0409, 0x0000}, ""},
      {std::wstring(L"\x0409\x0407"), V{0x0409, 0x0407}, ""},
      {std::wstring(L"\x0409X"), V{0x0409, 0xFFFF, 0xFFFF}, ""},
      {L"AB", V{0x0409, 0x0407}, "AB"},
      {L"AB", V{}, ""},
      {L"AB", std::nullopt, "AB"},
      {std::wstring(1, L'\x0409'), std::nullopt, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SerialNumberFromDescriptors(c.serial, c.langs), c.expected);
}

TEST_F(ControllerTest, ReadsGiveTheReportIdAtByteZero) {
  sim->AddInstrument();
  const int mouse = sim->AddMouse();
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* instrument = ctl->Device(0);
  THidDevice* mouseDev = ctl->Device(1);

  std::uint8_t request[65];
  std::fill(std::begin(request), std::end(request), 0xAA);
  request[0] = 0;
  request[1] = 0x80;
  std::uint32_t n = 0;
  ASSERT_TRUE(instrument->WriteFile(request, 65, n));
  EXPECT_EQ(n, 65u);
  std::uint8_t answer[65];
  std::fill(std::begin(answer), std::end(answer), 0x55);
  ASSERT_TRUE(instrument->ReadFile(answer, 65, n));
  EXPECT_EQ(n, 65u);
  EXPECT_EQ(answer[0], 0) << "implied report ID";
  EXPECT_EQ(answer[1], 0x80);
  EXPECT_EQ(answer[2], 1);
  EXPECT_EQ(answer[3], 7);

  // A device with numbered reports keeps its own report ID.
  sim->InjectInput(mouse, {0x02, 0x10, 0x20});
  ASSERT_TRUE(mouseDev->ReadFile(answer, 65, n));
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(answer[0], 0x02);
  EXPECT_EQ(answer[1], 0x10);
}

TEST_F(ControllerTest, ReadTimesOutOnASilentDevice) {
  sim->AddInstrument();
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* dev = ctl->Device(0);
  sim->SetAnswerMode(TAnswerMode::Silent);
  std::uint8_t buf[65] = {0, 0x81};
  std::uint32_t n = 0;
  ASSERT_TRUE(dev->WriteFile(buf, 65, n));
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(dev->ReadFile(buf, 65, n, 120));
  const auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(waited, std::chrono::milliseconds(100));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
  EXPECT_EQ(dev->LastError().Text, "Read timed out after 120 ms");
  EXPECT_EQ(dev->LastError().Code, hiderr::kTimedOut);
}

// ------------------------------------------------------------ read thread

struct TReports {
  std::vector<std::vector<std::uint8_t>> got;
  THidDataEvent Callback() {
    return [this](THidDevice*, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
      std::vector<std::uint8_t> r{id};
      r.insert(r.end(), data, data + size);
      got.push_back(std::move(r));
    };
  }
};

TEST_F(ControllerTest, ReadThreadGetsItsOwnCopyOfEveryAnswer) {
  const int instrument = sim->AddInstrument();
  StartSim();
  TReports reports;
  ctl->OnArrival = [&](THidDevice* d) { d->SetOnData(reports.Callback()); };
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* dev = ctl->Device(0);
  ASSERT_TRUE(dev->HasReadThread()) << "started at the check-out";
  PumpUntil([&] { return sim->OpenHandles(instrument) == 2; });

  test::TLogLines log;
  test::TStatusTexts status;
  TInstrumentProtocol protocol(log, status);
  protocol.FCurrentDevice = dev;
  constexpr int kExchanges = 50;
  for (int i = 0; i < kExchanges; ++i) {
    TReportBuffer in;
    TReportBuffer out{};
    SingleCommand_Init(in);
    protocol.DeviceRequest(i % 2 ? 0x81 : 0x80, in, out);
    ASSERT_EQ(out[1], i % 2 ? 0x81 : 0x80) << "exchange " << i;
  }
  ASSERT_TRUE(PumpUntil([&] { return reports.got.size() == kExchanges; }));
  for (int i = 0; i < kExchanges; ++i) {
    EXPECT_EQ(reports.got[i].size(), 65u);
    EXPECT_EQ(reports.got[i][0], 0);
    EXPECT_EQ(reports.got[i][1], i % 2 ? 0x81 : 0x80);
  }
}

TEST_F(ControllerTest, NewDevicesTakeTheControllersDataCallbacks) {
  const int instrument = sim->AddInstrument();
  StartSim();
  TReports reports;
  std::vector<std::uint32_t> errors;
  ctl->OnDeviceData = reports.Callback();
  ctl->OnDeviceDataError = [&](THidDevice*, std::uint32_t code) { errors.push_back(code); };
  ctl->SetDevThreadSleepTime(20);
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* dev = ctl->Device(0);
  EXPECT_EQ(dev->ThreadSleepTime(), 20);
  ASSERT_TRUE(dev->HasReadThread()) << "started at the check-out";
  ASSERT_TRUE(PumpUntil([&] { return sim->OpenHandles(instrument) == 2; }));
  sim->InjectInput(instrument, {0x81, 0x3F});
  ASSERT_TRUE(PumpUntil([&] { return !reports.got.empty(); }));
  EXPECT_EQ(reports.got[0], (std::vector<std::uint8_t>{0x00, 0x81, 0x3F}));
  sim->Unplug(instrument);
  ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
}

TEST_F(ControllerTest, ReadThreadReportsErrorsOnceTheDeviceIsGone) {
  const int instrument = sim->AddInstrument();
  StartSim();
  TReports reports;
  std::vector<std::uint32_t> errors;
  ctl->OnArrival = [&](THidDevice* d) {
    d->SetOnData(reports.Callback());
    d->OnDataError = [&](THidDevice*, std::uint32_t code) { errors.push_back(code); };
  };
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* dev = ctl->Device(0);
  dev->SetThreadSleepTime(20);
  sim->Unplug(instrument);
  ASSERT_TRUE(PumpUntil([&] { return errors.size() >= 3; }));
  EXPECT_TRUE(dev->HasReadThread()) << "an unplugged device keeps its thread";
  dev->SetOnData(nullptr);
  EXPECT_FALSE(dev->HasReadThread());
}

// The thread has handed a report to the main thread and waits for it; the
// main thread stops it without serving the event loop first.
TEST(ReadThreadStop, NeverDeadlocksWithACallbackPending) {
  App();
  enum class Way { ClearOnData, CheckIn, DestroyController };
  struct Case {
    Way way;
    int expectedCalls;  // the pending report is served only at a check-in
  };
  for (const Case c :
       {Case{Way::ClearOnData, 0}, Case{Way::CheckIn, 1}, Case{Way::DestroyController, 0}}) {
    auto sim = std::make_shared<TSimulatedBackend>();
    const int instrument = sim->AddInstrument();
    auto ctl = std::make_unique<THidDeviceController>(sim);
    bool changed = false;
    ctl->OnDeviceChange = [&](QObject*) { changed = true; };
    ASSERT_TRUE(PumpUntil([&] { return changed; }));
    THidDevice* dev = nullptr;
    ASSERT_TRUE(ctl->CheckOut(dev));
    int calls = 0;
    dev->SetOnData([&](THidDevice*, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++calls; });
    ASSERT_TRUE(dev->HasReadThread());
    ASSERT_TRUE(PumpUntil([&] { return sim->OpenHandles(instrument) == 1; }));

    sim->InjectInput(instrument, {0x81, 0x3F});
    // Read, posted, waiting: the loop is not pumped.
    for (int i = 0; i < 500 && dev->DataThread()->NumBytesRead() == 0; ++i) QThread::msleep(10);
    ASSERT_EQ(dev->DataThread()->NumBytesRead(), 3u) << "report ID and two bytes";
    QThread::msleep(50);

    const auto t0 = std::chrono::steady_clock::now();
    switch (c.way) {
      case Way::ClearOnData:
        dev->SetOnData(nullptr);
        EXPECT_FALSE(dev->HasReadThread());
        break;
      case Way::CheckIn:
        ctl->CheckIn(dev);
        break;
      case Way::DestroyController:
        ctl.reset();
        break;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1000));
    Pump(50);
    EXPECT_EQ(calls, c.expectedCalls) << static_cast<int>(c.way);
    EXPECT_EQ(sim->OpenHandles(instrument), 0) << static_cast<int>(c.way);
  }
}

TEST_F(ControllerTest, CallbackMayClearItselfWhileRunning) {
  const int instrument = sim->AddInstrument();
  StartSim();
  ASSERT_TRUE(WaitChanges(1));
  THidDevice* dev = ctl->Device(0);
  int calls = 0;
  dev->SetOnData([&](THidDevice* d, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    ++calls;
    d->SetOnData(nullptr);
  });
  sim->InjectInput(instrument, {0x81});
  sim->InjectInput(instrument, {0x81});
  ASSERT_TRUE(PumpUntil([&] { return calls >= 1; }));
  Pump(200);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(dev->HasReadThread());
}

}  // namespace
}  // namespace quorvel
