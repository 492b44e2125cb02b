#include "text_check.hpp"

#include <cstring>

namespace prelivo::cli {

void Checker::search(const unsigned char* p, std::size_t n) {
    switch (encoding_) {
    case Encoding::utf8: {
        // In valid UTF-8 a CR byte is always the character CR.
        std::size_t i = 0;
        if (pendingCr_) {
            pendingCr_ = false;
            if (p[0] == '\n') {
                found_ = true;
                return;
            }
        }
        while (const void* hit = std::memchr(p + i, '\r', n - i)) {
            i = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p);
            if (i + 1 == n) {
                pendingCr_ = true;
                return;
            }
            if (p[i + 1] == '\n') {
                found_ = true;
                return;
            }
            ++i;
        }
        break;
    }
    case Encoding::gbk: {
        // A byte below 0x80 always ends a character (it is one, or a
        // trail byte), so a character starts right after it, and a run
        // of bytes of 0x80 or above pairs off from its start. Whether a
        // CR starts a character thus shows in the length of the run
        // before it, and only the CRs need a look.
        std::size_t from = 0;  // a character starts here
        if (pendingLead_) {
            pendingLead_ = false;
            from = 1;  // past the lead byte's partner, whatever it is
        } else if (pendingCr_) {
            pendingCr_ = false;
            if (p[0] == '\n') {
                found_ = true;
                return;
            }
        }
        const auto runStart = [p, &from](std::size_t end) {
            while (end > from && p[end - 1] >= 0x80) --end;
            return end;
        };
        while (const void* hit = std::memchr(p + from, '\r', n - from)) {
            const auto cr = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p);
            if ((cr - runStart(cr)) % 2 == 0) {
                if (cr + 1 == n) {
                    pendingCr_ = true;
                    return;
                }
                if (p[cr + 1] == '\n') {
                    found_ = true;
                    return;
                }
            }
            from = cr + 1;
        }
        pendingLead_ = (n - runStart(n)) % 2 != 0;
        break;
    }
    case Encoding::utf16le: {
        std::size_t i = 0;
        if (haveOdd_) {
            haveOdd_ = false;
            if (unit(static_cast<unsigned>(oddByte_ | p[0] << 8))) return;
            i = 1;
        }
        static constexpr unsigned char kCrUnits[8] = {0x0D, 0, 0x0D, 0, 0x0D, 0, 0x0D, 0};
        std::uint64_t crUnits;
        std::memcpy(&crUnits, kCrUnits, 8);
        while (i + 1 < n) {
            if (!pendingCr_ && n - i >= 8) {
                // Four units at a time while none of them is a CR.
                std::uint64_t word;
                std::memcpy(&word, p + i, 8);
                const std::uint64_t x = word ^ crUnits;
                if (((x - 0x0001000100010001u) & ~x & 0x8000800080008000u) == 0) {
                    i += 8;
                    continue;
                }
            }
            if (unit(static_cast<unsigned>(p[i] | p[i + 1] << 8))) return;
            i += 2;
        }
        if (i < n) {
            oddByte_ = p[i];
            haveOdd_ = true;
        }
        break;
    }
    }
}

}  // namespace prelivo::cli
