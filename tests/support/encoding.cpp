#include "encoding.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstring>
#include <vector>

namespace prelivo::testing {

#ifdef _WIN32
std::optional<std::u16string> gbkToUtf16(std::string_view gbk) {
    if (gbk.empty()) return std::u16string{};
    const int len = static_cast<int>(gbk.size());
    const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), len, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), len, w.data(), n);
    return std::u16string(w.begin(), w.end());
}

std::optional<std::string> utf16ToGbk(std::u16string_view text) {
    if (text.empty()) return std::string{};
    const std::wstring w(text.begin(), text.end());
    BOOL lossy = FALSE;
    const int len = static_cast<int>(w.size());
    const int n = WideCharToMultiByte(936, 0, w.data(), len, nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(936, 0, w.data(), len, out.data(), n, nullptr, nullptr);
    return out;
}
#else
namespace {
std::optional<std::string> convert(const char* to, const char* from, const char* data, std::size_t size) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::vector<char> in(data, data + size);
    std::string out(size * 4 + 16, '\0');
    char* inp = in.data();
    std::size_t inLeft = in.size();
    char* outp = out.data();
    std::size_t outLeft = out.size();
    const std::size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || inLeft != 0) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}
}  // namespace

std::optional<std::u16string> gbkToUtf16(std::string_view gbk) {
    auto bytes = convert("UTF-16LE", "GBK", gbk.data(), gbk.size());
    if (!bytes) return std::nullopt;
    std::u16string out(bytes->size() / 2, u'\0');
    std::memcpy(out.data(), bytes->data(), out.size() * 2);
    return out;
}

std::optional<std::string> utf16ToGbk(std::u16string_view text) {
    return convert("GBK", "UTF-16LE", reinterpret_cast<const char*>(text.data()), text.size() * 2);
}
#endif

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00u);
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | cp >> 6);
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | cp >> 12);
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | cp >> 18);
            out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace prelivo::testing
