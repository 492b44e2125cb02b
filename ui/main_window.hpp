// The program's one window: the edit box that the user clicks, fitted to
// the window's client area, a hidden push button and a label beyond the
// right edge at the window's normal size.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

#include "windows_clipboard.hpp"

namespace prelivo {

inline constexpr int EDIT_BOX_ID = 100;
inline constexpr int BUTTON_ID = 110;
inline constexpr int LABEL_ID = 120;

// Child windows; the main window destroys them with itself.
struct Controls {
    HWND 编辑框1 = nullptr;
    HWND 按钮1 = nullptr;  // never shown
    HWND 标签1 = nullptr;
};

class MainWindow {
public:
    MainWindow() = default;
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Builds the window and its controls, hidden, with the edit box already
    // fitted; false when any of them cannot be created (nothing is left
    // behind then).
    bool create(HINSTANCE instance);
    // Shows and activates the window; the focus goes to the edit box.
    void show();

    HWND handle() const { return window_; }
    const Controls& controls() const { return controls_; }

    // Sees every queued message before it is translated and dispatched.
    // True when the message has been dealt with and must not be dispatched.
    bool preTranslateMessage(const MSG& message);

    void fitEditBoxToWindow();
    void reformatClipboardText();
    void clearEditBox();

private:
    struct GdiObjectFree {
        void operator()(HBRUSH brush) const { DeleteObject(brush); }
    };
    struct IconFree {
        void operator()(HICON icon) const { DestroyIcon(icon); }
    };
    using OwnedBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectFree>;
    using OwnedIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconFree>;

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    bool createControls(HINSTANCE instance);
    void setIcons(HINSTANCE instance);
    bool handleKey(const MSG& message);
    HWND nextTabStop(HWND from, bool backwards) const;

    void onSize();
    void onPaint();
    void onSetFocus();
    void onDeactivate();
    LRESULT onCtlColorEdit(HDC dc);
    void onNcDestroy();

    HWND window_ = nullptr;
    Controls controls_;
    OwnedBrush editBoxBrush_;  // lives as long as the edit box
    OwnedIcon bigIcon_;
    OwnedIcon smallIcon_;
    HWND focusWhenDeactivated_ = nullptr;
    // Set once the window is built: size messages of the creation itself
    // must not fit the edit box, and only a window that got this far ends
    // the message loop when it goes.
    bool live_ = false;
    WindowsClipboard clipboard_;
};

// Offers the message to the window's pre-translation, then translates and
// dispatches it unless the pre-translation dealt with it.
void processMessage(MainWindow& window, const MSG& message);
// Runs until the quit message; returns its exit code.
int runMessageLoop(MainWindow& window);

}  // namespace prelivo
