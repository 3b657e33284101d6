#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace server_link {

// The library server's TCP port on 127.0.0.1; 0 until start-up has learnt it.
// Only start-up writes it.
extern std::uint16_t ServerPort;

// The port the server published in runtime.json, read afresh on every call.
std::optional<std::uint16_t> read_runtime_port();

// The port in a runtime.json text: a positive integer member "port" of the
// top-level object, at most 65535.
std::optional<std::uint16_t> parse_runtime_port(std::string_view text);

std::string dashboard_url(std::uint16_t port);

// Shows the dashboard of the server at ServerPort in the default browser;
// does nothing while no port is known.
void open_dashboard();

}  // namespace server_link
