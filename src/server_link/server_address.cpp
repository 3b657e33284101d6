#include "server_link/server_address.h"

#include "platform/shell.h"
#include "platform/text.h"

namespace server_link {

std::uint16_t ServerPort = 0;

std::string dashboard_url(std::uint16_t port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

void open_dashboard() {
    if (ServerPort == 0) {
        return;
    }
    platform::shell_open(platform::to_wide(dashboard_url(ServerPort)));
}

}  // namespace server_link
