// Conversions the tests use to compare the text forms: GBK through the
// platform's own converter (glibc's iconv, or code page 936 on Windows),
// UTF-8 written out by hand.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace prelivo::testing {

// Empty optional when the bytes are not valid GBK.
std::optional<std::u16string> gbkToUtf16(std::string_view gbk);
std::optional<std::string> utf16ToGbk(std::u16string_view text);
std::string utf16ToUtf8(std::u16string_view text);  // text must be valid UTF-16

}  // namespace prelivo::testing
