#include "platform/text.h"

#include <cstdint>
#include <optional>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at bytes[i], advancing i. The ranges of the lead's
// next byte rule out overlong forms, surrogates and values above U+10FFFF, as
// RFC 3629 requires. A sequence that breaks off is consumed only up to the
// byte that does not fit, so each maximal ill-formed part of the text becomes
// one U+FFFD and the bytes after it still count (the Unicode Standard's
// recommended practice).
std::optional<char32_t> decode_one(std::string_view bytes, std::size_t& i) {
    const std::uint8_t lead = static_cast<std::uint8_t>(bytes[i++]);
    if (lead < 0x80) {
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, cp = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, cp = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return std::nullopt;
    }
    for (int k = 0; k < extra; ++k, low = 0x80, high = 0xBF) {
        const auto next = i < bytes.size() ? static_cast<std::uint8_t>(bytes[i]) : 0;
        if (next < low || next > high) {
            return std::nullopt;
        }
        cp = (cp << 6) | (next & 0x3F);
        ++i;
    }
    return cp;
}

}  // namespace

NativeString to_wide(std::string_view utf8) {
    NativeString out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = decode_one(utf8, i).value_or(kReplacement);
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (v >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (v & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
    return out;
}

bool is_valid_utf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        if (!decode_one(bytes, i)) {
            return false;
        }
    }
    return true;
}

bool is_valid_utf16(std::wstring_view units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto u = static_cast<std::uint32_t>(static_cast<char16_t>(units[i]));
        if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 == units.size()) {
                return false;
            }
            const auto next = static_cast<std::uint32_t>(static_cast<char16_t>(units[i + 1]));
            if (next < 0xDC00 || next > 0xDFFF) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

}  // namespace platform
