// The program's own window classes (the main window and the label) share
// their settings: redrawn whole on a size change, double-clicks reported,
// the arrow cursor, and no background brush, since each paints its whole
// background itself in WM_PAINT and nothing is to be erased before.
#pragma once

#include <windows.h>

namespace prelivo {

// Registers the class unless it is registered already; false on failure.
bool registerWindowClassOnce(HINSTANCE instance, const wchar_t* name, WNDPROC procedure);

}  // namespace prelivo
