#include <windows.h>

#include "platform/string_resource.h"

namespace platform {

NativeString load_string(std::uint32_t id, std::uint16_t language) {
    // The table of this exact language rather than the loader's choice, which
    // on Windows goes by the thread's and the system's languages. Strings are
    // kept 16 to a block (block id / 16 + 1), each as its length in UTF-16
    // units and then the units.
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC block = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
    const HGLOBAL loaded = block != nullptr ? LoadResource(module, block) : nullptr;
    const auto* units =
        static_cast<const wchar_t*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (units == nullptr) {
        return {};
    }
    const wchar_t* const end = units + SizeofResource(module, block) / sizeof(wchar_t);
    for (std::uint32_t skipped = 0; skipped < id % 16 && units < end; ++skipped) {
        units += 1 + *units;
    }
    return units < end && *units <= end - units - 1 ? NativeString(units + 1, *units)
                                                    : NativeString();
}

}  // namespace platform
