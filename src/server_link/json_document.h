#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

namespace server_link {

// Parses one complete JSON text strictly: valid UTF-8 throughout, no byte-order
// mark, no NUL byte, white space only around the value, containers nested fewer than 128
// deep; the later of two equal keys wins. Nothing on any error.
std::optional<nlohmann::json> parse_json_document(std::string_view text);

}  // namespace server_link
