// The system clipboard's text, as UTF-16 (CF_UNICODETEXT), so that no
// character is lost to the ANSI code page or the keyboard layout.
#pragma once

#include "reformat.hpp"

namespace prelivo {

class WindowsClipboard final : public WideClipboard {
public:
    // Empty when the clipboard holds no text or stays held by another
    // program; the text ends at its first zero character.
    WideText getClipboardText() override;
    // The text is placed as CF_UNICODETEXT, the empty text included (as an
    // empty text, not as no text). On false the clipboard keeps what it had,
    // unless it refused the new data after being emptied.
    bool setClipboardText(View text) override;
};

}  // namespace prelivo
