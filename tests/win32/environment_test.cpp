// Checks the environment the Win32 programs are tested in: a screen the size
// and depth of the handheld's, 16-bit wchar_t, and the device's folders reached
// through root-relative paths on the current drive.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

LRESULT CALLBACK TestWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcW(hwnd, msg, wp, lp);
}

class ScreenDC {
 public:
  ScreenDC() : dc_(GetDC(nullptr)) {}
  ~ScreenDC() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

bool IsDirectory(const wchar_t* path) {
  const DWORD attrs = GetFileAttributesW(path);
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

TEST(Win32Environment, WideCharactersAreUtf16Units) {
  static_assert(sizeof(wchar_t) == 2, "Win32 wide strings are UTF-16");
  EXPECT_EQ(sizeof(WCHAR), 2u);
  EXPECT_EQ(sizeof(TCHAR), 2u);  // UNICODE is defined for every Win32 build
}

TEST(Win32Environment, ScreenIsPortraitQvga16Bit) {
  ScreenDC screen;
  ASSERT_NE(screen.get(), nullptr);
  EXPECT_EQ(GetDeviceCaps(screen.get(), HORZRES), 240);
  EXPECT_EQ(GetDeviceCaps(screen.get(), VERTRES), 320);
  EXPECT_EQ(GetDeviceCaps(screen.get(), BITSPIXEL), 16);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 320);
}

TEST(Win32Environment, RealWindowCanBeCreatedShownAndPainted) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = TestWndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = L"PvEnvironmentTestWindow";
  const ATOM atom = RegisterClassW(&wc);
  ASSERT_NE(atom, 0) << "RegisterClassW failed: " << GetLastError();

  HWND hwnd = CreateWindowExW(0, L"PvEnvironmentTestWindow", L"Environment test",
                              WS_POPUP | WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr,
                              instance, nullptr);
  ASSERT_NE(hwnd, nullptr) << "CreateWindowExW failed: " << GetLastError();
  UpdateWindow(hwnd);

  RECT client = {};
  ASSERT_TRUE(GetClientRect(hwnd, &client));
  EXPECT_EQ(client.right - client.left, 240);
  EXPECT_EQ(client.bottom - client.top, 320);

  // Draw a pixel through the window's DC and read it back.
  HDC dc = GetDC(hwnd);
  ASSERT_NE(dc, nullptr);
  const COLORREF red = RGB(255, 0, 0);
  SetPixel(dc, 10, 20, red);
  EXPECT_EQ(GetPixel(dc, 10, 20), red);
  ReleaseDC(hwnd, dc);

  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_TRUE(UnregisterClassW(L"PvEnvironmentTestWindow", instance));
}

TEST(Win32Environment, DeviceFoldersAreAtTheRootOfTheCurrentDrive) {
  EXPECT_TRUE(IsDirectory(L"\\Temp"));
  EXPECT_TRUE(IsDirectory(L"\\My Documents"));
  EXPECT_TRUE(IsDirectory(L"\\Storage Card"));
  EXPECT_FALSE(IsDirectory(L"\\No Such Folder"));
}

TEST(Win32Environment, RootRelativePathsReachTheDeviceRoot) {
  // The programs start at the root of drive D:, which is the device root.
  wchar_t cwd[MAX_PATH] = {};
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, cwd), 0u);
  EXPECT_STREQ(cwd, L"D:\\");

  // A file made through "\Temp\..." must land in Temp of the device root
  // folder on the host, which Wine shows through drive Z:.
  wchar_t device[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(L"PV_DEVICE_ROOT", device, MAX_PATH);
  ASSERT_TRUE(n > 0 && n < MAX_PATH) << "PV_DEVICE_ROOT is not set";

  wchar_t name[64];
  wsprintfW(name, L"\\Temp\\env-test-%lu.txt", GetCurrentProcessId());
  HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "CreateFileW failed: " << GetLastError();
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "pv", 2, &written, nullptr));
  CloseHandle(file);

  std::wstring host = L"Z:";
  host += device;
  host += name;
  for (wchar_t& c : host) {
    if (c == L'/') c = L'\\';
  }
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  EXPECT_TRUE(GetFileAttributesExW(host.c_str(), GetFileExInfoStandard, &data))
      << "not found on the host side";
  EXPECT_EQ(data.nFileSizeLow, 2u);
  EXPECT_TRUE(DeleteFileW(name));
}
