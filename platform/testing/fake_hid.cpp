// Fake HID devices for tests: a raw-input backend whose devices get their
// input reports from the test and keep what is written to them.
#ifndef _WIN32
#include <deque>
#include <string>
#include <vector>

#include "platform/hid_backend.h"
#include "platform/testing.h"

namespace vsplat {

namespace {

struct FakeDevice {
  HidDeviceDesc desc;
  std::deque<std::vector<uint8_t>> input;
  std::vector<std::vector<uint8_t>> writes;
};

class FakeBackend;
FakeDevice* findFake(const std::string& path);

class FakePort final : public HidPort {
 public:
  explicit FakePort(std::string path) : path_(std::move(path)) {}
  int read(uint8_t* buffer, size_t size) override {
    FakeDevice* d = findFake(path_);
    if (!d || d->input.empty()) return 0;
    std::vector<uint8_t> report = std::move(d->input.front());
    d->input.pop_front();
    if (report.size() > size) report.resize(size);
    std::copy(report.begin(), report.end(), buffer);
    return static_cast<int>(report.size());
  }
  int write(const uint8_t* bytes, size_t size) override {
    FakeDevice* d = findFake(path_);
    if (!d) return -1;
    d->writes.emplace_back(bytes, bytes + size);
    return static_cast<int>(size);
  }

 private:
  std::string path_;
};

class FakeBackend final : public HidBackend {
 public:
  std::vector<HidDeviceDesc> enumerate() override {
    std::vector<HidDeviceDesc> all;
    for (const FakeDevice& d : devices) all.push_back(d.desc);
    return all;
  }
  std::unique_ptr<HidPort> open(const std::string& path) override {
    return findFake(path) ? std::make_unique<FakePort>(path) : nullptr;
  }
  std::deque<FakeDevice> devices;
  bool installed = false;
  int added = 0;
};

FakeBackend g_fakes;

FakeDevice* findFake(const std::string& path) {
  for (FakeDevice& d : g_fakes.devices)
    if (d.desc.path == path) return &d;
  return nullptr;
}

FakeDevice* fakeOf(HANDLE device) {
  for (FakeDevice& d : g_fakes.devices)
    if (hidDeviceHandle(d.desc.path) == device) return &d;
  return nullptr;
}

}  // namespace

HANDLE addFakeHidDevice(WORD vendor, WORD product, USHORT usagePage, USHORT usage) {
  if (!g_fakes.installed) {
    // From here on the machine's own devices are not listed.
    setHidBackend(&g_fakes);
    g_fakes.installed = true;
  }
  FakeDevice d;
  d.desc.path = "fake-hid-" + std::to_string(++g_fakes.added);
  d.desc.info.dwVendorId = vendor;
  d.desc.info.dwProductId = product;
  d.desc.info.usUsagePage = usagePage;
  d.desc.info.usUsage = usage;
  g_fakes.devices.push_back(d);
  refreshHidDevices();
  return hidDeviceHandle(d.desc.path);
}

void queueFakeHidInput(HANDLE device, const std::vector<uint8_t>& report) {
  if (FakeDevice* d = fakeOf(device)) d->input.push_back(report);
}

void postRawInputRecord(HWND hwnd, const std::vector<uint8_t>& record) { queueRawInput(hwnd, record); }

std::vector<std::vector<uint8_t>> fakeHidWrites(HANDLE device) {
  FakeDevice* d = fakeOf(device);
  return d ? d->writes : std::vector<std::vector<uint8_t>>();
}

void removeFakeHidDevices() {
  g_fakes.devices.clear();
  setHidBackend(g_fakes.installed ? &g_fakes : nullptr);
}

}  // namespace vsplat
#endif
