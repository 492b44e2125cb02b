#include "os_files.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <csetjmp>
#include <csignal>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>
#endif

namespace prelivo::cli {
namespace {

IoError errnoError(int error) { return IoError(std::strerror(error)); }

#ifdef _WIN32

// The CRT's _read and _write count in int.
constexpr std::size_t kMaxIo = std::size_t{1} << 30;

IoError windowsError(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = n > 0 ? wideToUtf8(std::wstring_view(text, n)) : "error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.' ||
                                message.back() == ' ')) {
        message.pop_back();
    }
    return IoError(message);
}

#endif

#ifndef _WIN32

class PosixMapping final : public MappedBytes {
public:
    PosixMapping(void* address, std::size_t length) noexcept : address_(address), length_(length) {}
    PosixMapping(const PosixMapping&) = delete;
    PosixMapping& operator=(const PosixMapping&) = delete;
    ~PosixMapping() override { ::munmap(address_, length_); }
    const char* data() const noexcept override { return static_cast<const char*>(address_); }

private:
    void* address_;
    std::size_t length_;
};

// A mapped page past the end of a file that shrank raises SIGBUS in the
// thread that reads it. While a guarded read runs, the handler jumps back
// to it; any other SIGBUS ends the process as it would have.
thread_local sigjmp_buf* tGuard = nullptr;

void onBusError(int signal, siginfo_t*, void*) {
    if (sigjmp_buf* guard = tGuard) {
        tGuard = nullptr;
        siglongjmp(*guard, 1);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

#else

class WindowsMapping final : public MappedBytes {
public:
    explicit WindowsMapping(const void* view) noexcept : view_(view) {}
    WindowsMapping(const WindowsMapping&) = delete;
    WindowsMapping& operator=(const WindowsMapping&) = delete;
    ~WindowsMapping() override { UnmapViewOfFile(view_); }
    const char* data() const noexcept override { return static_cast<const char*>(view_); }

private:
    const void* view_;
};

#endif

void writeAll(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
#ifdef _WIN32
        const int n = _write(fd, p, static_cast<unsigned>(std::min(left, kMaxIo)));
#else
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n < 0) throw errnoError(errno);
        if (n == 0) throw errnoError(ENOSPC);
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

// An input, or the spool, on a descriptor.
class FdFile : public Spool {
public:
    FdFile(int fd, bool owned) noexcept : fd_(fd), owned_(owned) {}
    FdFile(const FdFile&) = delete;
    FdFile& operator=(const FdFile&) = delete;
    ~FdFile() override {
#ifdef _WIN32
        if (owned_) _close(fd_);
#else
        if (owned_) ::close(fd_);
#endif
    }

    std::size_t read(char* buffer, std::size_t size) override {
        for (;;) {
#ifdef _WIN32
            const int n = _read(fd_, buffer, static_cast<unsigned>(std::min(size, kMaxIo)));
#else
            const ssize_t n = ::read(fd_, buffer, size);
            if (n < 0 && errno == EINTR) continue;
#endif
            if (n < 0) throw errnoError(errno);
            return static_cast<std::size_t>(n);
        }
    }

    std::optional<Extent> extent() override {
#ifdef _WIN32
        struct _stat64 st;
        if (_fstat64(fd_, &st) != 0) throw errnoError(errno);
        if ((st.st_mode & _S_IFMT) != _S_IFREG) return std::nullopt;
        const __int64 position = _lseeki64(fd_, 0, SEEK_CUR);
#else
        struct stat st;
        if (::fstat(fd_, &st) != 0) throw errnoError(errno);
        if (!S_ISREG(st.st_mode)) return std::nullopt;
        const off_t position = ::lseek(fd_, 0, SEEK_CUR);
#endif
        if (position < 0) return std::nullopt;
        return Extent{static_cast<std::uint64_t>(position), static_cast<std::uint64_t>(st.st_size)};
    }

    void seek(std::uint64_t offset) override {
#ifdef _WIN32
        if (_lseeki64(fd_, static_cast<__int64>(offset), SEEK_SET) < 0) throw errnoError(errno);
#else
        if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) throw errnoError(errno);
#endif
    }

    void write(std::string_view bytes) override { writeAll(fd_, bytes); }

    std::unique_ptr<MappedBytes> map(std::uint64_t offset, std::size_t length) override {
#ifdef _WIN32
        // While a view of it exists the file cannot be cut short, so no
        // page of a view can vanish. The view keeps the mapping object.
        const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
        const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (!mapping) throw windowsError(GetLastError());
        const void* view = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                                         static_cast<DWORD>(offset), length);
        const DWORD error = GetLastError();
        CloseHandle(mapping);
        if (!view) throw windowsError(error);
        return std::make_unique<WindowsMapping>(view);
#else
        void* address = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, static_cast<off_t>(offset));
        if (address == MAP_FAILED) throw errnoError(errno);
        return std::make_unique<PosixMapping>(address, length);
#endif
    }

private:
    int fd_;
    bool owned_;
};

#ifndef _WIN32
// tmpfile() gives a file that vanishes with the process, however it ends.
class TempFile final : public FdFile {
public:
    explicit TempFile(std::FILE* file) noexcept : FdFile(fileno(file), false), file_(file) {}
    ~TempFile() override { std::fclose(file_); }

private:
    std::FILE* file_;
};
#endif

}  // namespace

std::unique_ptr<Input> OsSystem::open(const std::string& name) {
    if (name == "-") return std::make_unique<FdFile>(in_, false);
#ifdef _WIN32
    const std::wstring wide = utf8ToWide(name);
    const int fd = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        const int error = errno;
        struct _stat64 st;
        // The CRT reports a folder as "Permission denied".
        if (error == EACCES && _wstat64(wide.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFDIR) {
            throw errnoError(EISDIR);
        }
        throw errnoError(error);
    }
    auto file = std::make_unique<FdFile>(fd, true);
#else
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw errnoError(errno);
    auto file = std::make_unique<FdFile>(fd, true);
    struct stat st;
    // A directory opens, and would fail only at its first read, when
    // output may already have been written.
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) throw errnoError(EISDIR);
#endif
    return file;
}

std::unique_ptr<Spool> OsSystem::makeSpool() {
#ifdef _WIN32
    // tmpfile() in the Windows C runtime creates its file in the root of the
    // current drive, which ordinary users may not write to.
    wchar_t dir[MAX_PATH + 1];
    const DWORD len = GetTempPathW(MAX_PATH + 1, dir);
    if (len == 0 || len > MAX_PATH) throw windowsError(GetLastError());
    wchar_t path[MAX_PATH];
    if (GetTempFileNameW(dir, L"pjn", 0, path) == 0) throw windowsError(GetLastError());
    const HANDLE handle =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        DeleteFileW(path);
        throw windowsError(error);
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        throw errnoError(EMFILE);
    }
    return std::make_unique<FdFile>(fd, true);
#else
    std::FILE* file = std::tmpfile();
    if (!file) throw errnoError(errno);
    return std::make_unique<TempFile>(file);
#endif
}

void OsSystem::writeOut(std::string_view bytes) { writeAll(out_, bytes); }

#ifndef _WIN32
bool OsSystem::readMapped(const std::function<void()>& read) {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action = {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, nullptr);
    });
    // read holds no objects that need destroying while it touches mapped
    // bytes (the core's loops and the checker's scans), so the jump out of
    // it leaves nothing behind.
    sigjmp_buf guard;
    if (sigsetjmp(guard, 1) != 0) return false;
    tGuard = &guard;
    try {
        read();
    } catch (...) {
        tGuard = nullptr;
        throw;
    }
    tGuard = nullptr;
    return true;
}
#endif

void OsSystem::writeErr(std::string_view text) {
#ifdef _WIN32
    // A console shows UTF-16 as it stands; bytes it would read in its own
    // code page, which garbles any file name outside it.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(err_));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        const std::wstring wide = utf8ToWide(text);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
#endif
    try {
        writeAll(err_, text);
    } catch (const IoError&) {
    }
}

#ifdef _WIN32

std::string wideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(text[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            const std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring utf8ToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    const auto byte = [&text](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(text[i])); };
    const auto cont = [&](std::size_t i) { return i < text.size() && (byte(i) & 0xC0) == 0x80; };
    for (std::size_t i = 0; i < text.size();) {
        const std::uint32_t b = byte(i);
        std::uint32_t c = 0xFFFD;
        std::size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xC2 && b < 0xE0 && cont(i + 1)) {
            c = (b & 0x1F) << 6 | (byte(i + 1) & 0x3F);
            len = 2;
        } else if (b >= 0xE0 && b < 0xF0 && cont(i + 1) && cont(i + 2)) {
            c = (b & 0x0F) << 12 | (byte(i + 1) & 0x3F) << 6 | (byte(i + 2) & 0x3F);
            len = 3;
        } else if (b >= 0xF0 && b < 0xF5 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            c = (b & 0x07) << 18 | (byte(i + 1) & 0x3F) << 12 | (byte(i + 2) & 0x3F) << 6 | (byte(i + 3) & 0x3F);
            len = 4;
        }
        if (c >= 0x10000 && c < 0x110000) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c < 0x10000 ? c : 0xFFFD);
        }
        i += len;
    }
    return out;
}

#endif

}  // namespace prelivo::cli
