// Test helper: another program that puts a text on the clipboard and keeps
// the clipboard open for a while.
//   clipboard_holder <ready-event> <milliseconds> <text>
// Signals the named event once the clipboard is open and holds the text.
#include <windows.h>

#include <cstring>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    const HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
    const DWORD hold = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    const size_t bytes = (std::wcslen(argv[3]) + 1) * sizeof(wchar_t);
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!ready || !block) return 3;
    std::memcpy(GlobalLock(block), argv[3], bytes);
    GlobalUnlock(block);
    // Opened for a window, as a program normally does: Wine lets any number
    // of openers without a window in at once.
    const HWND owner = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!owner || !OpenClipboard(owner)) return 4;
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, block);
    SetEvent(ready);
    Sleep(hold);
    CloseClipboard();
    return 0;
}
