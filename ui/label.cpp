#include "label.hpp"

#include <string>

#include "window_class.hpp"

namespace prelivo {

const wchar_t LABEL_CLASS[] = L"PrelivoLabel";

namespace {

void paintLabel(HWND label) {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(label, &paint);
    FillRect(dc, &paint.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
    const int length = GetWindowTextLengthW(label);
    if (length > 0) {
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        GetWindowTextW(label, text.data(), length + 1);
        RECT client;
        GetClientRect(label, &client);
        const HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        DrawTextW(dc, text.c_str(), -1, &client, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOCLIP);
        SelectObject(dc, oldFont);
    }
    EndPaint(label, &paint);
}

LRESULT CALLBACK labelProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        paintLabel(label);
        return 0;
    }
    return DefWindowProcW(label, message, wParam, lParam);
}

}  // namespace

bool registerLabelClass(HINSTANCE instance) { return registerWindowClassOnce(instance, LABEL_CLASS, labelProc); }

}  // namespace prelivo
