#pragma once

#include <cstdint>
#include <string>

namespace server_link {

// The library server's TCP port on 127.0.0.1; 0 until start-up has learnt it.
// Only start-up writes it.
extern std::uint16_t ServerPort;

std::string dashboard_url(std::uint16_t port);

// Shows the dashboard of the server at ServerPort in the default browser;
// does nothing while no port is known.
void open_dashboard();

}  // namespace server_link
