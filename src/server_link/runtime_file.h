#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace server_link {

// The port the server published in runtime.json, read afresh on every call.
std::optional<std::uint16_t> read_runtime_port();

// The port in a runtime.json text: a positive integer member "port" of the
// top-level object, at most 65535.
std::optional<std::uint16_t> parse_runtime_port(std::string_view text);

}  // namespace server_link
