#include <windows.h>

#include "platform/string_resource.h"

namespace platform {

NativeString load_string(std::uint32_t id) {
    // With a buffer size of 0, LoadStringW hands out where the text lies in
    // the mapped resource (not 0-terminated there) and gives its length.
    const wchar_t* text = nullptr;
    const int length =
        LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? NativeString(text, static_cast<std::size_t>(length)) : NativeString();
}

}  // namespace platform
