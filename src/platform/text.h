#pragma once

#include <string>
#include <string_view>

// Text crosses into the platform as UTF-16 code units held in std::wstring. On
// Windows that is the native wide string; on the Linux test build each wchar_t
// simply carries one UTF-16 code unit.
namespace platform {

using NativeString = std::wstring;

// Which way a language reads: what a menu or a dialog in it must follow.
enum class TextDirection { LeftToRight, RightToLeft };

// UTF-8 to UTF-16; code points above U+FFFF become surrogate pairs. c_str()
// supplies the terminating 0 unit. Malformed input becomes U+FFFD.
NativeString to_wide(std::string_view utf8);

// True when the bytes are well-formed UTF-8 throughout (RFC 3629).
bool is_valid_utf8(std::string_view bytes);

// True when every surrogate unit is part of a proper pair.
bool is_valid_utf16(std::wstring_view units);

}  // namespace platform
