// Arbitrary runtime.json text must give either nothing or a real port, and
// never a port from a text holding a NUL byte (no JSON text does).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "server_link/runtime_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto port = server_link::parse_runtime_port(text);
    if (port && (*port == 0 || text.find('\0') != std::string_view::npos)) {
        std::abort();
    }
    return 0;
}
