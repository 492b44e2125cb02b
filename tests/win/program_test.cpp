// prelivo.exe itself, started as another process and used as a user would:
// real mouse input through the system, and Esc to close it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "windows_clipboard.hpp"

namespace prelivo {
namespace {

std::wstring programPath() {
    std::wstring path = PRELIVO_EXE;
    // Under Wine the build's Unix path is reached through drive Z:.
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    return path;
}

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

template <class Condition>
bool waitFor(Condition condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        Sleep(10);
    }
    return condition();
}

std::u16string editBoxText(HWND editBox) {
    std::u16string text(static_cast<size_t>(SendMessageW(editBox, WM_GETTEXTLENGTH, 0, 0)) + 1, u'\0');
    const auto copied = SendMessageW(editBox, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

// A real press and release of the left button at a point of the screen,
// through the system's input queue.
void click(POINT at) {
    INPUT input[3] = {};
    for (auto& i : input) {
        i.type = INPUT_MOUSE;
        i.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        i.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(3, input, sizeof(INPUT));
}

class ProgramTest : public testing::Test {
protected:
    void SetUp() override {
        std::wstring command = L"\"" + programPath() + L"\" --arguments are-ignored";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process))
            << GetLastError();
        CloseHandle(process.hThread);
        WaitForInputIdle(process.hProcess, 10000);
        Search search{process.dwProcessId, nullptr};
        ASSERT_TRUE(waitFor([&] {
            EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        }));
        window = search.found;
        editBox = GetDlgItem(window, 100);
        ASSERT_TRUE(editBox);
    }
    void TearDown() override {
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 99);
            CloseHandle(process.hProcess);
        }
    }
    DWORD waitForExit() {
        DWORD code = 99;
        if (WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
    POINT insideEditBox() {
        RECT box;
        GetWindowRect(editBox, &box);
        return {box.left + 40, box.top + 40};
    }

    PROCESS_INFORMATION process{};
    HWND window = nullptr;
    HWND editBox = nullptr;
};

TEST_F(ProgramTest, OpensCentredAndClosesOnEscWithZero) {
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Prelivo--Korvessa\uFF1ATalmiro");
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 495);
    EXPECT_EQ(outer.bottom - outer.top, 360);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 495) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 360) / 2);

    PostMessageW(editBox, WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_EQ(waitForExit(), 0u);
}

TEST_F(ProgramTest, ClicksReformatAndEmpty) {
    WindowsClipboard clipboard;
    const std::u16string broken = u"\u7B2C\u4E00\r\n\u884C\u3002\r\n\r\n\U0001F600 end";
    const std::u16string joined = u"\u7B2C\u4E00\u884C\u3002\r\n\U0001F600 end";
    ASSERT_TRUE(clipboard.setClipboardText(broken));

    click(insideEditBox());
    EXPECT_TRUE(waitFor([&] { return editBoxText(editBox) == joined; }))
        << testing::PrintToString(editBoxText(editBox));
    EXPECT_EQ(clipboard.getClipboardText(), joined);

    Sleep(GetDoubleClickTime() + 100);  // the next two clicks must not pair with the first
    ASSERT_TRUE(clipboard.setClipboardText(broken));
    click(insideEditBox());
    click(insideEditBox());
    EXPECT_TRUE(waitFor([&] { return editBoxText(editBox).empty(); }));
    EXPECT_EQ(clipboard.getClipboardText(), joined);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(waitForExit(), 0u);
}

}  // namespace
}  // namespace prelivo
