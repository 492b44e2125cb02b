// The Windows clipboard, read and written for real: the data checked here is
// what any other program on the desktop would get.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "windows_clipboard.hpp"

namespace prelivo {
namespace {

// Puts raw data on the clipboard, the way another program might.
void place(UINT format, const void* data, size_t bytes) {
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    ASSERT_TRUE(block);
    std::memcpy(GlobalLock(block), data, bytes);
    GlobalUnlock(block);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    EXPECT_TRUE(SetClipboardData(format, block));
    CloseClipboard();
}

void placePicture() {
    BITMAPINFOHEADER dib{};
    dib.biSize = sizeof dib;
    dib.biWidth = 2;
    dib.biHeight = 2;
    dib.biPlanes = 1;
    dib.biBitCount = 32;
    std::vector<unsigned char> data(sizeof dib + 16, 0x7F);
    std::memcpy(data.data(), &dib, sizeof dib);
    place(CF_DIB, data.data(), data.size());
}

void emptyClipboard() {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
}

bool available(UINT format) { return IsClipboardFormatAvailable(format) != FALSE; }

// The whole CF_UNICODETEXT block, final zero included, as other programs
// see it.
std::u16string rawUnicodeText() {
    std::u16string raw;
    if (!OpenClipboard(nullptr)) return u"<not opened>";
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        raw.assign(static_cast<const char16_t*>(GlobalLock(data)), GlobalSize(data) / sizeof(char16_t));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return raw;
}

TEST(WindowsClipboard, TextRoundTripsExactly) {
    const std::u16string texts[] = {
        u"\u7B2C\u4E00\u884C\r\n\u7B2C\u4E8C\u884C\u3002\U0001F600\r\n\r\nlast",
        u"x",
        u"\r\n\r\n",
        std::u16string(200000, u'\u5B57') + u"\r\nend",
    };
    WindowsClipboard clipboard;
    for (const auto& text : texts) {
        placePicture();
        ASSERT_TRUE(clipboard.setClipboardText(text));
        EXPECT_FALSE(available(CF_DIB)) << "the old content is replaced as a whole";
        EXPECT_EQ(rawUnicodeText(), text + u'\0');
        EXPECT_EQ(clipboard.getClipboardText(), text);
        EXPECT_EQ(clipboard.getClipboardText(), text) << "reading leaves the clipboard as it was";
    }
}

TEST(WindowsClipboard, EmptyTextIsPlacedAsEmptyText) {
    WindowsClipboard clipboard;
    placePicture();
    ASSERT_TRUE(clipboard.setClipboardText(u""));
    EXPECT_TRUE(available(CF_UNICODETEXT));
    EXPECT_FALSE(available(CF_DIB));
    EXPECT_EQ(rawUnicodeText(), std::u16string(1, u'\0'));
    EXPECT_EQ(clipboard.getClipboardText(), u"");
}

TEST(WindowsClipboard, ClipboardWithoutTextReadsEmpty) {
    WindowsClipboard clipboard;
    placePicture();
    EXPECT_EQ(clipboard.getClipboardText(), u"");
    EXPECT_TRUE(available(CF_DIB)) << "reading must not change the clipboard";
    emptyClipboard();
    EXPECT_EQ(clipboard.getClipboardText(), u"");
}

TEST(WindowsClipboard, TextEndsAtFirstZero) {
    struct Case {
        std::u16string data;
        std::u16string expected;
    } cases[] = {
        {std::u16string(u"ab\0cd\0", 6), u"ab"},
        {std::u16string(u"\0ab\0", 4), u""},
    };
    WindowsClipboard clipboard;
    for (const auto& [data, expected] : cases) {
        place(CF_UNICODETEXT, data.data(), data.size() * sizeof(char16_t));
        EXPECT_EQ(clipboard.getClipboardText(), expected);
    }
}

// Another program that keeps the clipboard open, holding `text`, for
// `milliseconds` after it has signalled that it holds it.
class Holder {
public:
    Holder(DWORD milliseconds, const std::wstring& text) {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, L"prelivo-clipboard-holder-ready");
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring helper = self;
        helper.replace(helper.find_last_of(L"\\/") + 1, std::wstring::npos, L"clipboard_holder.exe");
        std::wstring command = L"\"" + helper + L"\" prelivo-clipboard-holder-ready " +
                               std::to_wstring(milliseconds) + L" " + text;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessW(helper.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &process_);
        if (started_) CloseHandle(process_.hThread);
    }
    ~Holder() {
        if (started_) {
            WaitForSingleObject(process_.hProcess, 20000);
            CloseHandle(process_.hProcess);
        }
        CloseHandle(ready_);
    }
    // Whether the helper holds the clipboard now.
    bool waitUntilHolding() const { return started_ && WaitForSingleObject(ready_, 20000) == WAIT_OBJECT_0; }
    DWORD waitForExit() const {
        DWORD code = 99;
        WaitForSingleObject(process_.hProcess, 20000);
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    HANDLE ready_;
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

TEST(WindowsClipboard, WaitsBrieflyForAnotherProgramToCloseIt) {
    WindowsClipboard clipboard;
    {
        Holder holder(30, L"held");
        ASSERT_TRUE(holder.waitUntilHolding());
        ASSERT_FALSE(OpenClipboard(nullptr)) << "the helper must hold the clipboard when the read starts";
        EXPECT_EQ(clipboard.getClipboardText(), u"held");
        EXPECT_EQ(holder.waitForExit(), 0u);
    }
    {
        Holder holder(30, L"held");
        ASSERT_TRUE(holder.waitUntilHolding());
        ASSERT_FALSE(OpenClipboard(nullptr));
        EXPECT_TRUE(clipboard.setClipboardText(u"mine"));
        EXPECT_EQ(holder.waitForExit(), 0u);
        EXPECT_EQ(clipboard.getClipboardText(), u"mine");
    }
}

TEST(WindowsClipboard, GivesUpWhileAnotherProgramKeepsItOpen) {
    WindowsClipboard clipboard;
    Holder holder(3000, L"theirs");
    ASSERT_TRUE(holder.waitUntilHolding());
    EXPECT_EQ(clipboard.getClipboardText(), u"");
    EXPECT_FALSE(clipboard.setClipboardText(u"mine"));
    EXPECT_FALSE(OpenClipboard(nullptr)) << "both calls gave up while the other program still held the clipboard";
    EXPECT_EQ(holder.waitForExit(), 0u);
    EXPECT_EQ(clipboard.getClipboardText(), u"theirs");
}

}  // namespace
}  // namespace prelivo
