#include "edit_box_text.hpp"

namespace prelivo {

WideText WindowsEditBoxText::read() {
    const int length = GetWindowTextLengthW(editBox_);
    if (length <= 0) return {};
    WideText text(static_cast<size_t>(length) + 1, u'\0');
    const int copied = GetWindowTextW(editBox_, reinterpret_cast<wchar_t*>(text.data()), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    if (const auto zero = text.find(u'\0'); zero != WideText::npos) text.resize(zero);
    return text;
}

void WindowsEditBoxText::replace(View text) {
    const WideText terminated(text);
    SetWindowTextW(editBox_, reinterpret_cast<const wchar_t*>(terminated.c_str()));
}

}  // namespace prelivo
