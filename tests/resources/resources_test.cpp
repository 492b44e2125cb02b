// Checks the resources that prelivo_add_windows_resources builds into an
// executable, from inside a program that carries them, the way Windows
// itself reads them: the icon through LoadImageW, the version resource
// through the version API, the manifest through the common controls that
// the loader binds to the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "resource.h"

namespace {

// Kept equal to the DESCRIPTION in CMakeLists.txt: quotes, a backslash and
// Chinese test the escaping and the code page of the generated script.
constexpr wchar_t kDescription[] = L"Prelivo 资源测试 \"quoted\" back\\slash";

struct IconPixels {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  std::vector<std::uint32_t> argb;  // top-down rows, 0xAARRGGBB

  std::uint32_t at(int x, int y) const {
    return argb[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                static_cast<std::size_t>(x)];
  }
};

IconPixels readIcon(HICON icon) {
  IconPixels result;
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return result;
  BITMAP bitmap{};
  if (info.hbmColor && GetObjectW(info.hbmColor, sizeof bitmap, &bitmap)) {
    result.width = bitmap.bmWidth;
    result.height = bitmap.bmHeight;
    result.bitsPerPixel = bitmap.bmBitsPixel;
    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof request.bmiHeader;
    request.bmiHeader.biWidth = bitmap.bmWidth;
    request.bmiHeader.biHeight = -bitmap.bmHeight;
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    result.argb.resize(static_cast<std::size_t>(bitmap.bmWidth) *
                       static_cast<std::size_t>(bitmap.bmHeight));
    HDC dc = GetDC(nullptr);
    if (GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(bitmap.bmHeight), result.argb.data(),
                  &request, DIB_RGB_COLORS) != bitmap.bmHeight) {
      result.argb.clear();
    }
    ReleaseDC(nullptr, dc);
  }
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  return result;
}

TEST(Icon, LoadsAtItsOwnSizeOf128WithAlpha) {
  // Size 0, 0 without LR_DEFAULTSIZE asks for the image as it is stored, so
  // this sees the resource's own size rather than a scaled copy.
  HANDLE image = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PRELIVO), IMAGE_ICON,
                            0, 0, LR_DEFAULTCOLOR);
  ASSERT_NE(image, nullptr) << "LoadImageW error " << GetLastError();
  IconPixels icon = readIcon(static_cast<HICON>(image));
  DestroyIcon(static_cast<HICON>(image));

  EXPECT_EQ(icon.width, 128);
  EXPECT_EQ(icon.height, 128);
  EXPECT_EQ(icon.bitsPerPixel, 32);
  ASSERT_EQ(icon.argb.size(), 128u * 128u);

  const std::uint32_t blue = 0xFF0074FFu;
  // Rounded corners are transparent; the middle of each edge is the solid blue.
  for (auto [x, y] : {std::pair{0, 0}, {127, 0}, {0, 127}, {127, 127}}) {
    EXPECT_EQ(icon.at(x, y) >> 24, 0u) << "corner " << x << "," << y;
  }
  for (auto [x, y] : {std::pair{64, 0}, {0, 64}, {127, 64}, {64, 127}}) {
    EXPECT_EQ(icon.at(x, y), blue) << "edge " << x << "," << y << std::hex << " " << icon.at(x, y);
  }
  // The two white characters cover a good part of the middle band.
  int white = 0;
  for (int y = 32; y < 96; ++y) {
    for (int x = 0; x < 128; ++x) {
      if (icon.at(x, y) == 0xFFFFFFFFu) ++white;
    }
  }
  EXPECT_GT(white, 600);
}

TEST(Icon, ScalesToTheSmallIconSize) {
  const int small = GetSystemMetrics(SM_CXSMICON);
  HANDLE image = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PRELIVO), IMAGE_ICON,
                            small, small, LR_DEFAULTCOLOR);
  ASSERT_NE(image, nullptr) << "LoadImageW error " << GetLastError();
  IconPixels icon = readIcon(static_cast<HICON>(image));
  DestroyIcon(static_cast<HICON>(image));
  EXPECT_EQ(icon.width, small);
  EXPECT_EQ(icon.height, small);
}

std::wstring versionString(const std::vector<BYTE>& block, const wchar_t* name) {
  std::wstring path = L"\\StringFileInfo\\040904B0\\";
  path += name;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value) return L"<missing>";
  // The length counts the terminating zero, where there is one.
  std::wstring text(static_cast<const wchar_t*>(value), length);
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

TEST(Version, NamesTheProgram) {
  wchar_t file[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, file, MAX_PATH), 0u);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(file, &ignored);
  ASSERT_GT(size, 0u) << "no version resource, error " << GetLastError();
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(file, 0, size, block.data()));

  const std::wstring version = L"" PRELIVO_TEST_VERSION;
  struct Case {
    const wchar_t* name;
    std::wstring expected;
  };
  for (const Case& c : {Case{L"CompanyName", L"Prelivo"}, Case{L"ProductName", L"Prelivo"},
                        Case{L"FileDescription", kDescription}, Case{L"FileVersion", version},
                        Case{L"ProductVersion", version}, Case{L"InternalName", L"resources_test"},
                        Case{L"OriginalFilename", L"resources_test.exe"}}) {
    EXPECT_EQ(versionString(block, c.name), c.expected) << "value " << std::string(c.name, c.name + wcslen(c.name));
  }
  EXPECT_NE(versionString(block, L"LegalCopyright"), L"<missing>");

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                               std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                               std::to_wstring(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, version);
}

TEST(Manifest, BindsCommonControlsVersion6) {
  // Only the manifest's dependency makes the loader redirect comctl32.dll
  // from the system directory to the side-by-side assembly of version 6.
  ACTCTX_SECTION_KEYED_DATA redirection{};
  redirection.cbSize = sizeof redirection;
  EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                       L"comctl32.dll", &redirection))
      << "no redirection of comctl32.dll, error " << GetLastError();

  HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  ASSERT_NE(comctl, nullptr);
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(comctl, path, MAX_PATH), 0u);
  std::wstring loaded(path);
  FreeLibrary(comctl);
  CharLowerW(loaded.data());
  EXPECT_NE(loaded.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."),
            std::wstring::npos)
      << "comctl32.dll loaded from " << std::string(loaded.begin(), loaded.end());
}

}  // namespace
