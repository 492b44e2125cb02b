#include "windows_clipboard.hpp"

#include <windows.h>

#include <chrono>
#include <cstring>

namespace prelivo {
namespace {

// Clipboard managers, remote desktop and Wine's bridge to the X selection
// open the clipboard for a moment now and then; a short retry rides that out
// without making a click feel slow. No messages are pumped while waiting, so
// no other action can start in between.
constexpr auto OPEN_RETRY_LIMIT = std::chrono::milliseconds(100);
constexpr DWORD OPEN_RETRY_PAUSE_MS = 5;

class OpenedClipboard {
public:
    OpenedClipboard() {
        const auto deadline = std::chrono::steady_clock::now() + OPEN_RETRY_LIMIT;
        while (!(open_ = OpenClipboard(nullptr) != FALSE) && std::chrono::steady_clock::now() < deadline) {
            Sleep(OPEN_RETRY_PAUSE_MS);
        }
    }
    ~OpenedClipboard() {
        if (open_) CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    explicit operator bool() const { return open_; }

private:
    bool open_ = false;
};

// A global memory block that is freed unless the clipboard took it.
class GlobalBlock {
public:
    explicit GlobalBlock(SIZE_T bytes) : handle_(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes)) {}
    ~GlobalBlock() {
        if (handle_) GlobalFree(handle_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL get() const { return handle_; }
    void release() { handle_ = nullptr; }

private:
    HGLOBAL handle_;
};

}  // namespace

WideText WindowsClipboard::getClipboardText() {
    const OpenedClipboard clipboard;
    if (!clipboard) return {};
    const HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) return {};
    const auto* chars = static_cast<const char16_t*>(GlobalLock(data));
    if (!chars) return {};
    // Another program may have placed data without a final zero; the
    // block's size bounds the scan. Clipboard text ends at its first zero.
    const SIZE_T capacity = GlobalSize(data) / sizeof(char16_t);
    SIZE_T length = 0;
    while ((capacity == 0 || length < capacity) && chars[length] != u'\0') ++length;
    WideText text(chars, length);
    GlobalUnlock(data);
    return text;
}

bool WindowsClipboard::setClipboardText(View text) {
    // The block is made and filled before the clipboard is opened and
    // emptied, so that a lack of memory costs the clipboard nothing.
    GlobalBlock block((text.size() + 1) * sizeof(char16_t));
    if (!block.get()) return false;
    void* target = GlobalLock(block.get());
    if (!target) return false;
    if (!text.empty()) std::memcpy(target, text.data(), text.size() * sizeof(char16_t));  // the zero is there already
    GlobalUnlock(block.get());

    const OpenedClipboard clipboard;
    if (!clipboard || !EmptyClipboard()) return false;
    if (!SetClipboardData(CF_UNICODETEXT, block.get())) return false;
    block.release();  // the clipboard owns it now
    return true;
}

}  // namespace prelivo
