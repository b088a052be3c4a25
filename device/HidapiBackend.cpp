#include "device/HidapiBackend.h"

#include <hidapi/hidapi.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "device/HidText.h"

namespace quorvel {

namespace {

// hidapi keeps its library-wide error text and its enumeration state in
// globals: calls that touch them are serialised. Per-handle calls are not.
std::mutex g_hidapiMutex;
int g_hidapiUsers = 0;

// The hidraw node's inode changes every time the node is created again, so
// it tells a re-plugged device from the one that left, even on the same path.
bool NodeInode(const std::string& path, std::uint64_t& inode) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  inode = static_cast<std::uint64_t>(st.st_ino);
  return true;
}

std::string Basename(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadsNumberedReports(const std::string& path) {
  std::ifstream in("/sys/class/hidraw/" + Basename(path) + "/device/report_descriptor",
                   std::ios::binary);
  if (!in) return false;  // the instrument's own case: no report IDs
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  return ReportDescriptorUsesIds(bytes);
}

THidError ErrorFrom(const wchar_t* text, int savedErrno) {
  THidError e;
  e.Code = static_cast<std::uint32_t>(savedErrno);
  if (text && *text) e.Text = WideToUtf8(text);
  if (e.Text.empty() || e.Text == "Success")
    e.Text = savedErrno ? std::strerror(savedErrno) : "Unknown HID error";
  return e;
}

class THidapiHandle final : public IHidHandle {
 public:
  THidapiHandle(hid_device* dev, std::string path, std::uint64_t inode, bool haveInode)
      : dev_(dev),
        path_(std::move(path)),
        inode_(inode),
        haveInode_(haveInode),
        numbered_(ReadsNumberedReports(path_)) {}
  ~THidapiHandle() override { hid_close(dev_); }

  int Write(const std::uint8_t* data, std::size_t length) override {
    errno = 0;
    const int n = hid_write(dev_, data, length);
    if (n < 0) Fail();
    return n;
  }

  int Read(std::uint8_t* data, std::size_t length, int timeoutMs) override {
    errno = 0;
    const int n = hid_read_timeout(dev_, data, length, timeoutMs);
    if (n < 0) Fail();
    return n;
  }

  void DiscardInput() override {
    std::uint8_t scratch[256];
    // Bounded: a device that streams faster than we drain must not hang us.
    for (int i = 0; i < 1024; ++i)
      if (hid_read_timeout(dev_, scratch, sizeof scratch, 0) <= 0) break;
  }

  bool NumberedReports() const override { return numbered_; }

  bool GetProductString(std::wstring& out) override {
    wchar_t buf[255] = {};
    if (hid_get_product_string(dev_, buf, 254) != 0) {
      Fail();
      return false;
    }
    out = buf;
    return true;
  }

  bool GetSerialNumberString(std::wstring& out) override {
    wchar_t buf[255] = {};
    if (hid_get_serial_number_string(dev_, buf, 254) != 0) {
      Fail();
      return false;
    }
    out = buf;
    return true;
  }

  // hidapi cannot read string descriptor 0.
  std::optional<std::vector<std::uint16_t>> GetLanguageIds() override { return std::nullopt; }

  // hidraw gives every open file its own fixed queue of 64 reports.
  int SetInputQueueLength(int) override { return 64; }

  bool IsGone() override {
    std::uint64_t now = 0;
    if (!NodeInode(path_, now)) return true;
    return haveInode_ && now != inode_;
  }

  THidError LastError() const override { return error_; }

 private:
  void Fail() {
    const int saved = errno;
    error_ = ErrorFrom(hid_error(dev_), saved);
  }

  hid_device* dev_;
  std::string path_;
  std::uint64_t inode_;
  bool haveInode_;
  bool numbered_;
  THidError error_;
};

}  // namespace

bool ReportDescriptorUsesIds(const std::vector<std::uint8_t>& d) {
  std::size_t i = 0;
  while (i < d.size()) {
    const std::uint8_t prefix = d[i];
    if (prefix == 0xFE) {  // long item: size, tag, data
      if (i + 1 >= d.size()) break;
      i += 3u + d[i + 1];
      continue;
    }
    static constexpr std::size_t kSizes[4] = {0, 1, 2, 4};
    if ((prefix & 0xFC) == 0x84) return true;  // global item Report ID
    i += 1 + kSizes[prefix & 3];
  }
  return false;
}

THidapiBackend::THidapiBackend() {
  std::lock_guard<std::mutex> lock(g_hidapiMutex);
  if (g_hidapiUsers++ == 0) hid_init();
}

THidapiBackend::~THidapiBackend() {
  std::lock_guard<std::mutex> lock(g_hidapiMutex);
  if (--g_hidapiUsers == 0) hid_exit();
}

std::vector<THidDeviceEntry> THidapiBackend::Enumerate() {
  std::vector<THidDeviceEntry> out;
  std::lock_guard<std::mutex> lock(g_hidapiMutex);
  hid_device_info* list = hid_enumerate(0, 0);
  for (hid_device_info* d = list; d; d = d->next) {
    if (!d->path) continue;  // nothing to open it by: skip
    THidDeviceEntry e;
    e.Path = d->path;
    std::uint64_t inode = 0;
    e.Identity = e.Path;
    if (NodeInode(e.Path, inode)) e.Identity += "#" + std::to_string(inode);
    e.VendorID = d->vendor_id;
    e.ProductID = d->product_id;
    e.ReleaseNumber = d->release_number;
    if (d->product_string) e.ProductString = d->product_string;
    if (d->serial_number) e.SerialNumber = d->serial_number;
    e.BusInfo = "interface " + std::to_string(d->interface_number) + ", usage page " +
                std::to_string(d->usage_page) + ", usage " + std::to_string(d->usage);
    out.push_back(std::move(e));
  }
  hid_free_enumeration(list);
  return out;
}

std::unique_ptr<IHidHandle> THidapiBackend::Open(const std::string& path, THidOpenMode,
                                                 THidError& error) {
  std::lock_guard<std::mutex> lock(g_hidapiMutex);
  std::uint64_t inode = 0;
  const bool haveInode = NodeInode(path, inode);
  errno = 0;
  hid_device* dev = hid_open_path(path.c_str());
  if (!dev) {
    const int saved = errno;
    error = ErrorFrom(hid_error(nullptr), saved);
    return nullptr;
  }
  return std::make_unique<THidapiHandle>(dev, path, inode, haveInode);
}

}  // namespace quorvel
