// The main window built inside the test program, driven by messages that go
// through the program's own message handling (pre-translation, translation,
// dispatch), as the program's loop would take them from the queue.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "edit_box_text.hpp"
#include "main_window.hpp"
#include "windows_clipboard.hpp"

namespace prelivo {
namespace {

RECT windowRect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

RECT clientRect(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    return r;
}

// A child's place in its parent's client area.
RECT childRect(HWND child) {
    RECT r = windowRect(child);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring className(HWND window) {
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

testing::AssertionResult fillsClient(HWND editBox) {
    const RECT box = childRect(editBox);
    const RECT client = clientRect(GetParent(editBox));
    if (box.left == 0 && box.top == 0 && box.right == client.right && box.bottom == client.bottom) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "edit box " << box.left << "," << box.top << " " << box.right << "x"
                                       << box.bottom << ", client area " << client.right << "x" << client.bottom;
}

LPARAM point(int x, int y) { return MAKELPARAM(x, y); }

// Handles messages as the program's loop does, for one window.
class WindowTest : public testing::Test {
protected:
    void TearDown() override {
        // Keys held for one test must not leak into the next.
        BYTE keys[256] = {};
        SetKeyboardState(keys);
    }

    // Handles everything queued.
    void pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quitCode = static_cast<int>(message.wParam);
                continue;
            }
            processMessage(*window, message);
        }
    }
    void post(HWND target, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        PostMessageW(target, message, wParam, lParam);
        pump();
    }
    void pressKey(HWND target, WORD key) {
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
        pump();
    }
    // Modifier keys as GetKeyState reports them to the window->
    void holdKeys(std::initializer_list<int> held) {
        BYTE keys[256] = {};
        for (int key : held) keys[key] = 0x80;
        SetKeyboardState(keys);
    }
    std::u16string content() { return WindowsEditBoxText(editBox).read(); }
    void setContent(std::u16string_view text) { WindowsEditBoxText(editBox).replace(text); }

    MainWindow* window = nullptr;
    HWND editBox = nullptr;
    int quitCode = -1;
};

// A window of its own for each test: the state right after start, and
// closing.
class FreshWindowTest : public WindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(own.create(GetModuleHandleW(nullptr)));
        window = &own;
        own.show();
        pump();
        editBox = own.controls().编辑框1;
    }
    MainWindow own;
};

// One window for the rest: without a window manager, Wine waits two seconds
// for every top-level window that is hidden or destroyed. Each test starts
// from the window's normal size and place, with the focus in the edit box.
class MainWindowTest : public WindowTest {
protected:
    static void SetUpTestSuite() {
        shared = std::make_unique<MainWindow>();
        if (shared->create(GetModuleHandleW(nullptr))) shared->show();
    }
    static void TearDownTestSuite() { shared.reset(); }
    void SetUp() override {
        ASSERT_TRUE(shared->handle());
        window = shared.get();
        editBox = shared->controls().编辑框1;
        const HWND main = shared->handle();
        if (IsIconic(main) || IsZoomed(main)) ShowWindow(main, SW_RESTORE);
        SetWindowPos(main, HWND_TOP, (GetSystemMetrics(SM_CXSCREEN) - 495) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - 360) / 2, 495, 360, 0);
        SetForegroundWindow(main);
        SetFocus(editBox);
        pump();
    }
    static std::unique_ptr<MainWindow> shared;
};
std::unique_ptr<MainWindow> MainWindowTest::shared;

TEST_F(FreshWindowTest, StartsCentredWithEditBoxFittedAndFocused) {
    const HWND main = window->handle();
    EXPECT_EQ(windowText(main), L"Prelivo--Korvessa\uFF1ATalmiro");
    const RECT outer = windowRect(main);
    EXPECT_EQ(outer.right - outer.left, 495);
    EXPECT_EQ(outer.bottom - outer.top, 360);
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXSCREEN) - 495) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYSCREEN) - 360) / 2);
    const auto style = GetWindowLongW(main, GWL_STYLE);
    EXPECT_EQ(style & (WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_FALSE(GetParent(main));
    EXPECT_FALSE(GetMenu(main));
    EXPECT_EQ(GetFocus(), editBox);
    EXPECT_TRUE(fillsClient(editBox));

    // Both window icons come from the program's one 128 x 128 image.
    for (WPARAM which : {ICON_BIG, ICON_SMALL}) {
        const auto icon = reinterpret_cast<HICON>(SendMessageW(main, WM_GETICON, which, 0));
        ICONINFO info{};
        ASSERT_TRUE(icon && GetIconInfo(icon, &info)) << which;
        BITMAP bitmap{};
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, 128) << which;
        EXPECT_EQ(bitmap.bmHeight, 128) << which;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
}

TEST_F(FreshWindowTest, HelpTextReadsBackExactly) {
    const std::u16string lines[] = {
        u"Prelivo \u8BF4\u660E\uFF1A",
        u"",
        u"    \u672C\u8F6F\u4EF6\u4E3B\u8981\u7528\u4E8EOCR\u8F6F\u4EF6\u8BC6\u522B\u6587\u5B57\u540E\u65AD\u884C\u5904\u7406"
        u"\uFF0C\u90E8\u5206\u7F51\u9875\u3001pdf\u540C\u6837\u53EF\u5904\u7406\u3002",
        u"",
        u"",
        u"\u4F7F\u7528\u8BF4\u660E\uFF1A",
        u"",
        u"    \u590D\u5236\u9700\u8981\u5904\u7406\u7684\u6587\u5B57\u540E\u5230\u8F6F\u4EF6\u91CC",
        u"",
        u"    \u3010\u9F20\u6807\u5355\u51FB\u5DE6\u952E\u3011--------\u5C06\u526A\u5207\u677F\u7684\u5185\u5BB9\u5904\u7406"
        u"\u540E\u5E76\u590D\u5236\uFF08\u76F4\u63A5\u53BB\u7C98\u8D34\u5373\u53EF\uFF09",
        u"",
        u"    \u3010\u9F20\u6807\u53CC\u51FB\u5DE6\u952E\u3011--------\u6E05\u7A7A\u5185\u5BB9",
        u"",
        u"",
        u"    \u6CE8\uFF1A\u5982\u679C\u9875\u9762\u8F83\u5C0F  \u53EF\u4EE5\u53CC\u51FB\u6807\u9898\u6700\u5927\u5316 \u6216 "
        u"\u62C9\u52A8\u8F6F\u4EF6\u8FB9\u7F18",
        u"",
        u"",
        u"    ",
        u"    ",
    };
    std::u16string expected;
    for (const auto& line : lines) expected += (&line == lines ? u"" : u"\r\n") + line;
    EXPECT_EQ(content(), expected);
}

TEST_F(FreshWindowTest, EscClosesAndEndsLoopWithZero) {
    pressKey(editBox, VK_ESCAPE);
    EXPECT_FALSE(window->handle());
    EXPECT_EQ(quitCode, 0);
}

TEST_F(MainWindowTest, ControlsIdentifiersClassesStylesAndOrder) {
    const Controls& c = window->controls();
    struct Expected {
        HWND control;
        int id;
        const wchar_t* windowClass;
        LONG style;
        LONG exStyle;
        bool visible;
        const wchar_t* text;
    } expected[] = {
        {c.编辑框1, 100, L"Edit",
         WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
         WS_EX_CLIENTEDGE, true, nullptr},
        {c.按钮1, 110, L"Button",
         WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE, 0, false,
         L"\u6392\u7248"},
        {c.标签1, 120, L"PrelivoLabel", WS_CHILD | WS_CLIPSIBLINGS, 0, true, L"\u6807\u7B7E"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        ASSERT_TRUE(IsWindow(e.control));
        EXPECT_EQ(GetParent(e.control), window->handle());
        EXPECT_EQ(GetDlgCtrlID(e.control), e.id);
        EXPECT_EQ(_wcsicmp(className(e.control).c_str(), e.windowClass), 0) << className(e.control).c_str();
        const LONG style = GetWindowLongW(e.control, GWL_STYLE);
        EXPECT_EQ(style & ~(WS_VISIBLE | WS_BORDER), e.style) << std::hex << style;
        EXPECT_EQ(GetWindowLongW(e.control, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, e.exStyle);
        EXPECT_EQ(IsWindowVisible(e.control) != FALSE, e.visible);
        if (e.text) {
            EXPECT_EQ(windowText(e.control), e.text);
        }
    }
    EXPECT_EQ(GetWindowLongW(c.编辑框1, GWL_STYLE) & (WS_HSCROLL | ES_AUTOHSCROLL | ES_READONLY), 0);

    // From the top: label, button, edit box.
    EXPECT_EQ(GetWindow(window->handle(), GW_CHILD), c.标签1);
    EXPECT_EQ(GetWindow(c.标签1, GW_HWNDNEXT), c.按钮1);
    EXPECT_EQ(GetWindow(c.按钮1, GW_HWNDNEXT), c.编辑框1);
    EXPECT_FALSE(GetWindow(c.编辑框1, GW_HWNDNEXT));

    const RECT button = childRect(c.按钮1);
    EXPECT_EQ(button.left, 136);
    EXPECT_EQ(button.top, 296);
    EXPECT_EQ(button.right - button.left, 88);
    EXPECT_EQ(button.bottom - button.top, 32);
    const RECT label = childRect(c.标签1);
    EXPECT_EQ(label.left, 656);
    EXPECT_EQ(label.top, 136);
    EXPECT_EQ(label.right - label.left, 80);
    EXPECT_EQ(label.bottom - label.top, 24);
}

TEST_F(MainWindowTest, EditBoxFitsClientAreaThroughEverySizeChange) {
    const HWND main = window->handle();
    EXPECT_TRUE(fillsClient(editBox)) << "after start";

    SetWindowPos(main, nullptr, 0, 0, 900, 640, SWP_NOMOVE | SWP_NOZORDER);
    pump();
    EXPECT_TRUE(fillsClient(editBox)) << "after a resize";
    EXPECT_GT(clientRect(main).right, 656);
    EXPECT_TRUE(IsWindowVisible(window->controls().标签1));

    ShowWindow(main, SW_MINIMIZE);
    pump();
    EXPECT_TRUE(IsIconic(main));
    ShowWindow(main, SW_RESTORE);
    pump();
    const RECT restored = windowRect(main);
    EXPECT_EQ(restored.right - restored.left, 900);
    EXPECT_EQ(restored.bottom - restored.top, 640);
    EXPECT_TRUE(fillsClient(editBox)) << "after minimise and restore";

    ShowWindow(main, SW_MAXIMIZE);
    pump();
    EXPECT_TRUE(fillsClient(editBox)) << "maximised";

    SetWindowPos(main, nullptr, 0, 0, 10, 10, SWP_NOMOVE | SWP_NOZORDER);
    pump();
    EXPECT_TRUE(fillsClient(editBox)) << "tiny";
    EXPECT_FALSE(IsWindowVisible(window->controls().按钮1)) << "the button is never shown";
}

TEST_F(MainWindowTest, EditBoxKeepsWhatIsWrittenUnchanged) {
    const std::u16string texts[] = {
        u"",
        u"lone\rCR and lone\nLF\r\n",
        std::u16string(3000, u'\u5B57') + u"\r\n" + std::u16string(40, u'x'),
        u"\U0001F600\u3002\r\n\r\n",
    };
    for (const auto& text : texts) {
        setContent(text);
        EXPECT_EQ(content(), text);
    }
}

TEST_F(MainWindowTest, EscWithModifierDoesNotClose) {
    for (int modifier : {VK_CONTROL, VK_SHIFT, VK_MENU}) {
        holdKeys({modifier});
        pressKey(editBox, VK_ESCAPE);
        EXPECT_TRUE(window->handle()) << modifier;
    }
}

TEST_F(MainWindowTest, TabTypesNothingAndKeepsFocus) {
    for (bool shift : {false, true}) {
        setContent(u"ab");
        SendMessageW(editBox, EM_SETSEL, 2, 2);
        if (shift) holdKeys({VK_SHIFT});
        pressKey(editBox, VK_TAB);
        holdKeys({});
        EXPECT_EQ(content(), u"ab") << shift;
        EXPECT_EQ(GetFocus(), editBox);
    }
    // Enter is the edit box's own: the same path types a line break.
    pressKey(editBox, VK_RETURN);
    EXPECT_EQ(content(), u"ab\r\n");
}

TEST_F(MainWindowTest, FocusReturnsToEditBox) {
    SetFocus(window->handle());
    EXPECT_EQ(GetFocus(), editBox);
}

TEST_F(MainWindowTest, EditBoxIsBlackOnWhite) {
    const HDC dc = CreateCompatibleDC(nullptr);
    const auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(window->handle(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(editBox)));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
    LOGBRUSH logBrush{};
    ASSERT_EQ(GetObjectW(brush, sizeof logBrush, &logBrush), static_cast<int>(sizeof logBrush));
    EXPECT_EQ(logBrush.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(logBrush.lbColor, RGB(255, 255, 255));
    DeleteDC(dc);
}

TEST_F(MainWindowTest, AgreesToEndSession) {
    EXPECT_EQ(SendMessageW(window->handle(), WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_TRUE(window->handle());
}

// The wiring, with posted mouse messages.
class WiringTest : public MainWindowTest {
protected:
    const std::u16string broken = u"\u7B2C\u4E00\r\n\u884C\u3002\r\n\U0001F600\r\n\r\nnext";
    const std::u16string joined = u"\u7B2C\u4E00\u884C\u3002\r\n\U0001F600next";
    WindowsClipboard clipboard;
};

TEST_F(WiringTest, LeftPressReformatsIntoEditBoxAndClipboard) {
    ASSERT_TRUE(clipboard.setClipboardText(broken));
    SetFocus(nullptr);
    post(editBox, WM_LBUTTONDOWN, MK_LBUTTON, point(2, 2));
    post(editBox, WM_MOUSEMOVE, MK_LBUTTON, point(200, 2));
    post(editBox, WM_LBUTTONUP, 0, point(200, 2));
    EXPECT_EQ(content(), joined);
    EXPECT_EQ(clipboard.getClipboardText(), joined);
    // The press still reached the edit box, after the action: it took the
    // focus and the drag selected in the new content.
    EXPECT_EQ(GetFocus(), editBox);
    DWORD start = 99, end = 0;
    SendMessageW(editBox, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_GT(end, 0u);
}

TEST_F(WiringTest, DoubleClickEmptiesEditBoxAndClipboardKeepsJoinedText) {
    ASSERT_TRUE(clipboard.setClipboardText(broken));
    post(editBox, WM_LBUTTONDOWN, MK_LBUTTON, point(5, 5));
    post(editBox, WM_LBUTTONUP, 0, point(5, 5));
    post(editBox, WM_LBUTTONDBLCLK, MK_LBUTTON, point(5, 5));
    post(editBox, WM_LBUTTONUP, 0, point(5, 5));
    EXPECT_EQ(content(), u"");
    EXPECT_EQ(clipboard.getClipboardText(), joined);
}

// Closes the edit box's context menu once it is open.
bool contextMenuSeen = false;
void CALLBACK closeContextMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    contextMenuSeen = FindWindowW(L"#32768", nullptr) != nullptr;
    EndMenu();
    KillTimer(nullptr, timer);
}

TEST_F(WiringTest, RightClickStartsNothingAndOpensContextMenu) {
    ASSERT_TRUE(clipboard.setClipboardText(broken));
    const std::u16string before = content();
    const UINT_PTR timer = SetTimer(nullptr, 0, 300, closeContextMenu);
    post(editBox, WM_RBUTTONDOWN, MK_RBUTTON, point(5, 5));
    post(editBox, WM_RBUTTONUP, 0, point(5, 5));
    KillTimer(nullptr, timer);
    EXPECT_TRUE(contextMenuSeen);
    EXPECT_EQ(content(), before);
    EXPECT_EQ(clipboard.getClipboardText(), broken);
}

TEST_F(WiringTest, PressOnLabelStartsNothing) {
    ASSERT_TRUE(clipboard.setClipboardText(broken));
    SetWindowPos(window->handle(), nullptr, 0, 0, 900, 400, SWP_NOMOVE | SWP_NOZORDER);
    pump();
    const std::u16string before = content();
    const HWND label = window->controls().标签1;
    post(label, WM_LBUTTONDOWN, MK_LBUTTON, point(5, 5));
    post(label, WM_LBUTTONUP, 0, point(5, 5));
    post(label, WM_LBUTTONDBLCLK, MK_LBUTTON, point(5, 5));
    post(label, WM_LBUTTONUP, 0, point(5, 5));
    EXPECT_EQ(content(), before);
    EXPECT_EQ(clipboard.getClipboardText(), broken);
}

}  // namespace
}  // namespace prelivo
