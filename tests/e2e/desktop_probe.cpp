// desktop_probe: the end-to-end test's eyes inside Wine. It never touches
// Prelivo's window; it starts the program, reports its exit code, and looks
// at what a person would see or could paste.
//
//   desktop_probe launch PROGRAM EXIT_FILE
//       Starts PROGRAM, waits for it to end and writes its exit code to
//       EXIT_FILE. `wine explorer /desktop=...` does not pass on the exit
//       code of what it starts, so the test starts this launcher there and
//       the launcher starts the program in the same desktop.
//   desktop_probe text-length DESKTOP
//       Prints the length in characters of the text in Prelivo's edit box.
//   desktop_probe await-text DESKTOP FILE
//       Waits until the clipboard holds the UTF-8 text of FILE, as Wine's
//       clipboard bridge hands it to Windows programs (a lone LF becomes
//       CR LF).
//   desktop_probe await-no-text DESKTOP
//       Waits until the clipboard offers a picture and no text.
//
// Exit status 0 when done, 1 when the condition was not met in time, 2 on
// bad usage or when Prelivo's window is not there.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const wchar_t TITLE[] = L"Prelivo--Korvessa\uFF1ATalmiro";
constexpr int EDIT_BOX_ID = 100;
constexpr DWORD WAIT_LIMIT_MS = 10000;
constexpr DWORD POLL_MS = 20;

// Under Wine a Unix path reaches Windows through drive Z:.
std::wstring windowsPath(std::wstring path) {
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    return path;
}

// Windows of another desktop are invisible to FindWindow; the program runs
// in the test's virtual desktop, not in this process's default one.
bool joinDesktop(const wchar_t* name) {
    HDESK desktop = OpenDesktopW(name, 0, FALSE, GENERIC_ALL);
    if (!desktop) {
        std::fwprintf(stderr, L"desktop_probe: no desktop %ls\n", name);
        return false;
    }
    return SetThreadDesktop(desktop) != FALSE;
}

template <class Condition>
bool waitFor(Condition condition) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > WAIT_LIMIT_MS) return false;
        Sleep(POLL_MS);
    }
    return true;
}

int launch(const wchar_t* program, const wchar_t* exitFile) {
    std::wstring command = L"\"" + windowsPath(program) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fwprintf(stderr, L"desktop_probe: cannot start %ls (error %lu)\n", command.c_str(), GetLastError());
        return 2;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    // Written whole and then renamed, so that the test never reads half a
    // number.
    const std::wstring target = windowsPath(exitFile);
    const std::wstring partial = target + L".part";
    {
        std::ofstream out(partial.c_str(), std::ios::binary);
        out << code << '\n';
    }
    return MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 2;
}

int textLength() {
    const HWND window = FindWindowW(nullptr, TITLE);
    const HWND editBox = window ? GetDlgItem(window, EDIT_BOX_ID) : nullptr;
    if (!editBox) {
        std::fwprintf(stderr, L"desktop_probe: Prelivo's edit box is not there\n");
        return 2;
    }
    std::printf("%ld\n", static_cast<long>(SendMessageW(editBox, WM_GETTEXTLENGTH, 0, 0)));
    return 0;
}

// The clipboard's Unicode text, and whether it has any.
bool clipboardText(std::wstring& text) {
    if (!OpenClipboard(nullptr)) return false;
    bool found = false;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            found = true;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return found;
}

std::wstring expectedText(const wchar_t* file) {
    std::ifstream in(windowsPath(file).c_str(), std::ios::binary);
    const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                        wide.data(), static_cast<int>(wide.size()))));
    std::wstring crlf;
    for (const wchar_t c : wide) {
        if (c == L'\n' && (crlf.empty() || crlf.back() != L'\r')) crlf += L'\r';
        crlf += c;
    }
    return crlf;
}

int awaitText(const wchar_t* file) {
    const std::wstring expected = expectedText(file);
    std::wstring seen;
    if (waitFor([&] { return clipboardText(seen) && seen == expected; })) return 0;
    std::fwprintf(stderr, L"desktop_probe: the clipboard has %zu characters of text, not the %zu expected\n",
                  seen.size(), expected.size());
    return 1;
}

int awaitNoText() {
    const auto pictureOnly = [] {
        if (!OpenClipboard(nullptr)) return false;
        const bool text = IsClipboardFormatAvailable(CF_UNICODETEXT) || IsClipboardFormatAvailable(CF_TEXT);
        const bool picture = IsClipboardFormatAvailable(CF_DIB) || IsClipboardFormatAvailable(CF_BITMAP) ||
                             IsClipboardFormatAvailable(RegisterClipboardFormatW(L"PNG"));
        CloseClipboard();
        return picture && !text;
    };
    if (waitFor(pictureOnly)) return 0;
    std::fwprintf(stderr, L"desktop_probe: the clipboard does not hold a picture without text\n");
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"launch" && argc == 4) return launch(argv[2], argv[3]);
    if (argc < 3 || !joinDesktop(argv[2])) {
        std::fwprintf(stderr, L"usage: desktop_probe launch PROGRAM EXIT_FILE | text-length DESKTOP |"
                              L" await-text DESKTOP FILE | await-no-text DESKTOP\n");
        return 2;
    }
    if (command == L"text-length" && argc == 3) return textLength();
    if (command == L"await-text" && argc == 4) return awaitText(argv[3]);
    if (command == L"await-no-text" && argc == 3) return awaitNoText();
    std::fwprintf(stderr, L"desktop_probe: unknown command %ls\n", command.c_str());
    return 2;
}
