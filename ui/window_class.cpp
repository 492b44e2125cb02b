#include "window_class.hpp"

namespace prelivo {

bool registerWindowClassOnce(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(instance, name, &existing)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

}  // namespace prelivo
