#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/win32.h"
#include "test_window.h"

TEST(RawInput, FakeDevicesAreListedWithTheirInfoAndName) {
  HANDLE a = vsplat::addFakeHidDevice(0x1234, 0x0001, 1, 4);
  HANDLE b = vsplat::addFakeHidDevice(0x1234, 0x0001, 1, 5);
  UINT n = 0;
  ASSERT_EQ(GetRawInputDeviceList(nullptr, &n, sizeof(RAWINPUTDEVICELIST)), 0u);
  ASSERT_EQ(n, 2u);
  std::vector<RAWINPUTDEVICELIST> list(n);
  UINT small = 1;
  EXPECT_EQ(GetRawInputDeviceList(list.data(), &small, sizeof(RAWINPUTDEVICELIST)), (UINT)-1);
  ASSERT_EQ(GetRawInputDeviceList(list.data(), &n, sizeof(RAWINPUTDEVICELIST)), 2u);
  EXPECT_EQ(list[0].hDevice, a);
  EXPECT_EQ(list[1].hDevice, b);
  EXPECT_EQ(list[1].dwType, (DWORD)RIM_TYPEHID);

  RID_DEVICE_INFO info = {};
  UINT size = sizeof info;
  ASSERT_EQ(GetRawInputDeviceInfoA(b, RIDI_DEVICEINFO, &info, &size), (UINT)sizeof info);
  EXPECT_EQ(info.dwType, (DWORD)RIM_TYPEHID);
  EXPECT_EQ(info.hid.dwVendorId, 0x1234u);
  EXPECT_EQ(info.hid.usUsage, 5);

  char name[1024];
  size = sizeof name;
  UINT got = GetRawInputDeviceInfoA(a, RIDI_DEVICENAME, name, &size);
  ASSERT_GT(got, 2u);
  EXPECT_EQ(got, (UINT)strlen(name) + 1);
  EXPECT_EQ(std::string(name, 4), "\\??\\");
  char tiny[3];
  size = sizeof tiny;
  EXPECT_EQ(GetRawInputDeviceInfoA(a, RIDI_DEVICENAME, tiny, &size), (UINT)-1);
  EXPECT_EQ(GetRawInputDeviceInfoA((HANDLE)(uintptr_t)1, RIDI_DEVICEINFO, &info, &size), (UINT)-1);
}

TEST(RawInput, RegisteredDeviceInputArrivesAsWmInput) {
  HWND w = testwin::make();
  SetFocus(w);
  HANDLE dev = vsplat::addFakeHidDevice(0x1111, 0x2222, 0xFF00, 1);
  vsplat::queueFakeHidInput(dev, {0xA1, 0xB2, 0xC3});
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, w, WM_INPUT, WM_INPUT, PM_REMOVE));  // not registered yet
  RAWINPUTDEVICE r = {0xFF00, 1, 0, nullptr};
  ASSERT_TRUE(RegisterRawInputDevices(&r, 1, sizeof r));
  ASSERT_TRUE(PeekMessageA(&m, w, WM_INPUT, WM_INPUT, PM_REMOVE));
  UINT size = 0;
  ASSERT_EQ(GetRawInputData((HRAWINPUT)m.lParam, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)), 0u);
  std::vector<uint8_t> buf(size);
  ASSERT_EQ(GetRawInputData((HRAWINPUT)m.lParam, RID_INPUT, buf.data(), &size, sizeof(RAWINPUTHEADER)), size);
  const RAWINPUT* ri = reinterpret_cast<const RAWINPUT*>(buf.data());
  EXPECT_EQ(ri->header.dwType, (DWORD)RIM_TYPEHID);
  EXPECT_EQ(ri->header.hDevice, dev);
  EXPECT_EQ(ri->data.hid.dwSizeHid, 3u);
  EXPECT_EQ(ri->data.hid.dwCount, 1u);
  EXPECT_EQ(ri->data.hid.bRawData[2], 0xC3);
  // A wrong header size is refused.
  EXPECT_EQ(GetRawInputData((HRAWINPUT)m.lParam, RID_INPUT, nullptr, &size, 8), (UINT)-1);
}

TEST(RawInput, OutputReportsGoThroughTheOpenableName) {
  HANDLE dev = vsplat::addFakeHidDevice(1, 2, 3, 4);
  char name[1024];
  UINT size = sizeof name;
  ASSERT_GT(GetRawInputDeviceInfoA(dev, RIDI_DEVICENAME, name, &size), 2u);
  // The raw-input name opens once its second character is a backslash.
  EXPECT_EQ(CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  name[1] = '\\';
  HANDLE f = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  const uint8_t report[] = {0, 5, 6};
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(f, report, sizeof report, &written, nullptr));
  EXPECT_EQ(written, 3u);
  EXPECT_TRUE(CloseHandle(f));
  auto writes = vsplat::fakeHidWrites(dev);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0], std::vector<uint8_t>({0, 5, 6}));
}

TEST(RawInput, ARecordShorterThanAHeaderGivesNoHeader) {
  HWND w = testwin::make();
  vsplat::postRawInputRecord(w, {1, 2, 3, 4});
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, w, WM_INPUT, WM_INPUT, PM_REMOVE));
  RAWINPUTHEADER header;
  UINT size = sizeof header;
  EXPECT_EQ(GetRawInputData((HRAWINPUT)m.lParam, RID_HEADER, &header, &size, sizeof header), (UINT)-1);
  size = sizeof header;
  EXPECT_EQ(GetRawInputData((HRAWINPUT)m.lParam, RID_INPUT, &header, &size, sizeof header), 4u);
}
