#include "main_window.hpp"

#include <vector>

#include "edit_box_text.hpp"
#include "label.hpp"
#include "reformat.hpp"
#include "resources/resource.h"
#include "window_class.hpp"

namespace prelivo {
namespace {

const wchar_t WINDOW_CLASS[] = L"PrelivoMainWindow";
const wchar_t TITLE[] = L"Prelivo--Korvessa：Talmiro";
constexpr int WINDOW_WIDTH = 495;
constexpr int WINDOW_HEIGHT = 360;
constexpr int ICON_SIZE = 128;

// Shown in the edit box until the first click replaces it.
const wchar_t HELP_TEXT[] =
    L"Prelivo 说明：\r\n"
    L"\r\n"
    L"    本软件主要用于OCR软件识别文字后断行处理，部分网页、pdf同样可处理。\r\n"
    L"\r\n"
    L"\r\n"
    L"使用说明：\r\n"
    L"\r\n"
    L"    复制需要处理的文字后到软件里\r\n"
    L"\r\n"
    L"    【鼠标单击左键】--------将剪切板的内容处理后并复制（直接去粘贴即可）\r\n"
    L"\r\n"
    L"    【鼠标双击左键】--------清空内容\r\n"
    L"\r\n"
    L"\r\n"
    L"    注：如果页面较小  可以双击标题最大化 或 拉动软件边缘\r\n"
    L"\r\n"
    L"\r\n"
    L"    \r\n"
    L"    ";

constexpr UINT ZORDER_ONLY = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;


// A hidden child control in the window's font, as all three controls are.
HWND createChild(HINSTANCE instance, HWND parent, DWORD exStyle, const wchar_t* windowClass, const wchar_t* text,
                 DWORD style, RECT place, int id) {
    const HWND child =
        CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_CLIPSIBLINGS | style, place.left, place.top,
                        place.right, place.bottom, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                        instance, nullptr);
    if (child) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return child;
}

bool keyHeld(int virtualKey) { return GetKeyState(virtualKey) < 0; }

}  // namespace

MainWindow::~MainWindow() {
    if (window_) DestroyWindow(window_);
}

bool MainWindow::create(HINSTANCE instance) {
    if (!registerWindowClassOnce(instance, WINDOW_CLASS, windowProc)) return false;
    const int left = (GetSystemMetrics(SM_CXSCREEN) - WINDOW_WIDTH) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - WINDOW_HEIGHT) / 2;
    if (!CreateWindowExW(0, WINDOW_CLASS, TITLE, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, left, top, WINDOW_WIDTH,
                         WINDOW_HEIGHT, nullptr, nullptr, instance, this)) {
        return false;
    }
    RECT outer;
    GetWindowRect(window_, &outer);
    if (outer.right - outer.left != WINDOW_WIDTH || outer.bottom - outer.top != WINDOW_HEIGHT) {
        MoveWindow(window_, left, top, WINDOW_WIDTH, WINDOW_HEIGHT, TRUE);
    }
    setIcons(instance);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    if (!createControls(instance)) {
        DestroyWindow(window_);
        return false;
    }
    live_ = true;
    fitEditBoxToWindow();
    return true;
}

void MainWindow::setIcons(HINSTANCE instance) {
    // One 128 x 128 image serves both sizes; the system scales it down
    // where it draws the small one.
    bigIcon_.reset(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_PRELIVO), IMAGE_ICON, ICON_SIZE, ICON_SIZE, LR_DEFAULTCOLOR)));
    smallIcon_.reset(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_PRELIVO), IMAGE_ICON, ICON_SIZE, ICON_SIZE, LR_DEFAULTCOLOR)));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
}

bool MainWindow::createControls(HINSTANCE instance) {
    controls_.编辑框1 = createChild(instance, window_, WS_EX_CLIENTEDGE, L"EDIT", HELP_TEXT,
                                    WS_TABSTOP | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                                    {8, 8, 384, 272}, EDIT_BOX_ID);
    if (!controls_.编辑框1) return false;
    editBoxBrush_.reset(CreateSolidBrush(RGB(255, 255, 255)));
    SendMessageW(controls_.编辑框1, EM_SETLIMITTEXT, 0, 0);  // 0: the largest the system allows
    SendMessageW(controls_.编辑框1, EM_SETSEL, 0, 0);
    SendMessageW(controls_.编辑框1, EM_SCROLLCARET, 0, 0);

    controls_.按钮1 = createChild(instance, window_, 0, L"BUTTON", L"排版",
                                  WS_TABSTOP | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | BS_MULTILINE,
                                  {136, 296, 88, 32}, BUTTON_ID);
    if (!controls_.按钮1) return false;

    if (!registerLabelClass(instance)) return false;
    controls_.标签1 = createChild(instance, window_, 0, LABEL_CLASS, L"标签", 0, {656, 136, 80, 24}, LABEL_ID);
    if (!controls_.标签1) return false;

    // From the top: label, button, edit box. The label stays in front where
    // the stretched edit box reaches under it.
    SetWindowPos(controls_.标签1, HWND_TOP, 0, 0, 0, 0, ZORDER_ONLY);
    SetWindowPos(controls_.按钮1, controls_.标签1, 0, 0, 0, 0, ZORDER_ONLY);
    SetWindowPos(controls_.编辑框1, controls_.按钮1, 0, 0, 0, 0, ZORDER_ONLY);

    ShowWindow(controls_.编辑框1, SW_SHOWNA);
    ShowWindow(controls_.标签1, SW_SHOWNA);
    ShowWindow(controls_.按钮1, SW_HIDE);
    return true;
}

void MainWindow::show() { ShowWindow(window_, SW_SHOW); }

void MainWindow::fitEditBoxToWindow() {
    // The client area, not the outer window: the box's last lines, its
    // lower scroll arrow and a caret on the last line must stay in view.
    RECT client;
    GetClientRect(window_, &client);
    MoveWindow(controls_.编辑框1, 0, 0, client.right, client.bottom, TRUE);
}

void MainWindow::reformatClipboardText() {
    WindowsEditBoxText editBox(controls_.编辑框1);
    prelivo::reformatClipboardText(clipboard_, editBox);
}

void MainWindow::clearEditBox() {
    WindowsEditBoxText editBox(controls_.编辑框1);
    prelivo::clearEditBox(editBox);
}

bool MainWindow::preTranslateMessage(const MSG& message) {
    if (!window_) return false;
    // Mouse actions run before the edit box handles the same message, which
    // then goes on unchanged: the box still takes the focus, places its
    // caret in the new content and selects.
    if (message.hwnd == controls_.编辑框1) {
        switch (message.message) {
        case WM_LBUTTONDOWN:
            reformatClipboardText();
            break;
        case WM_LBUTTONDBLCLK:
            clearEditBox();
            break;
        default:
            break;
        }
    }
    if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) &&
        (message.hwnd == window_ || IsChild(window_, message.hwnd))) {
        return handleKey(message);
    }
    return false;
}

bool MainWindow::handleKey(const MSG& message) {
    const bool ctrl = keyHeld(VK_CONTROL);
    const bool shift = keyHeld(VK_SHIFT);
    const bool alt = keyHeld(VK_MENU);
    if (message.wParam == VK_ESCAPE && !ctrl && !shift && !alt) {
        SendMessageW(window_, WM_CLOSE, 0, 0);
        return true;
    }
    // Tab never reaches a control, so the edit box never types a tab
    // character; the focus moves among the tab stops, which here is the
    // edit box alone.
    if (message.wParam == VK_TAB && !ctrl && !alt) {
        if (const HWND next = nextTabStop(GetFocus(), shift)) SetFocus(next);
        return true;
    }
    return false;
}

HWND MainWindow::nextTabStop(HWND from, bool backwards) const {
    // Tab order is the order of the children from the top of the z-order.
    std::vector<HWND> stops;
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const auto style = GetWindowLongW(child, GWL_STYLE);
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED)) stops.push_back(child);
    }
    if (stops.empty()) return nullptr;
    size_t at = 0;
    while (at < stops.size() && stops[at] != from) ++at;
    if (at == stops.size()) return backwards ? stops.back() : stops.front();
    return stops[backwards ? (at + stops.size() - 1) % stops.size() : (at + 1) % stops.size()];
}

void MainWindow::onSize() {
    if (live_) fitEditBoxToWindow();
}

void MainWindow::onPaint() {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window_, &paint);
    FillRect(dc, &paint.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
    EndPaint(window_, &paint);
}

void MainWindow::onSetFocus() {
    HWND target = focusWhenDeactivated_;
    if (!target || !IsWindow(target) || !IsChild(window_, target)) target = nextTabStop(nullptr, false);
    if (target) SetFocus(target);
}

void MainWindow::onDeactivate() {
    const HWND focus = GetFocus();
    if (focus && IsChild(window_, focus)) focusWhenDeactivated_ = focus;
}

LRESULT MainWindow::onCtlColorEdit(HDC dc) {
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    return reinterpret_cast<LRESULT>(editBoxBrush_.get());
}

void MainWindow::onNcDestroy() {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    window_ = nullptr;
    controls_ = {};
    focusWhenDeactivated_ = nullptr;
    editBoxBrush_.reset();
    if (live_) PostQuitMessage(0);
    live_ = false;
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);

    switch (message) {
    case WM_SIZE: {
        const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        self->onSize();
        return result;
    }
    case WM_PAINT:
        self->onPaint();
        return 0;
    case WM_SETFOCUS:
        DefWindowProcW(window, message, wParam, lParam);
        self->onSetFocus();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) self->onDeactivate();
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_CTLCOLOREDIT:
        if (reinterpret_cast<HWND>(lParam) == self->controls_.编辑框1) {
            return self->onCtlColorEdit(reinterpret_cast<HDC>(wParam));
        }
        break;
    case WM_QUERYENDSESSION:
        return TRUE;  // the program has nothing to save
    case WM_NCDESTROY: {
        const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
        self->onNcDestroy();
        return result;
    }
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void processMessage(MainWindow& window, const MSG& message) {
    if (window.preTranslateMessage(message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

int runMessageLoop(MainWindow& window) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) processMessage(window, message);
    return static_cast<int>(message.wParam);
}

}  // namespace prelivo
