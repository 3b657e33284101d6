#include "platform/text.h"

#include <cstdint>
#include <optional>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at bytes[i], advancing i. Rejects overlong forms,
// surrogates and values above U+10FFFF, as RFC 3629 requires.
std::optional<char32_t> decode_one(std::string_view bytes, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(bytes[k]); };
    const std::uint8_t lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
        ++i;
        return std::nullopt;
    }
    if (bytes.size() - i <= static_cast<std::size_t>(extra)) {
        i = bytes.size();
        return std::nullopt;
    }
    for (int k = 1; k <= extra; ++k) {
        const std::uint8_t cont = byte(i + k);
        if ((cont & 0xC0) != 0x80) {
            i += k;
            return std::nullopt;
        }
        cp = (cp << 6) | (cont & 0x3F);
    }
    i += extra + 1;
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
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
