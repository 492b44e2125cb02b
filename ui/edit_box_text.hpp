// The content of an edit control as the reformat action reads and replaces
// it: UTF-16, byte for byte what the control holds.
#pragma once

#include <windows.h>

#include "reformat.hpp"

namespace prelivo {

class WindowsEditBoxText final : public WideEditBoxText {
public:
    explicit WindowsEditBoxText(HWND editBox) : editBox_(editBox) {}
    WideText read() override;
    // The text goes in as it stands: line breaks are not converted, and the
    // control's typing limit does not apply to text set this way.
    void replace(View text) override;

private:
    HWND editBox_;
};

}  // namespace prelivo
