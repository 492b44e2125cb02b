// A plain text label: no border, the dialog colour behind black text in the
// default GUI font, drawn on one line and centred vertically.
#pragma once

#include <windows.h>

namespace prelivo {

// Registers the label's window class the first time; false when it cannot
// be registered.
bool registerLabelClass(HINSTANCE instance);
extern const wchar_t LABEL_CLASS[];

}  // namespace prelivo
