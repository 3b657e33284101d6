#include "server_link/http.h"

#include <algorithm>
#include <climits>
#include <new>

#include "platform/sockets.h"
#include "platform/text.h"
#include "server_link/server_address.h"

namespace server_link {
namespace {

constexpr std::uint32_t kReceiveTimeoutMs = 3000;
constexpr std::size_t kReceiveChunk = 4096;

// A failed start is not remembered: the next exchange tries again.
bool ensure_sockets_started() {
    static bool started = false;
    if (!started) {
        started = platform::start_sockets();
    }
    return started;
}

bool send_all(platform::Socket socket, std::string_view data) {
    while (!data.empty()) {
        const int length = static_cast<int>(std::min<std::size_t>(data.size(), INT_MAX));
        const int sent = platform::send_some(socket, data.data(), length);
        if (sent <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Reads until the server closes the connection; a failure discards what came
// so far. The answers are small: a buffer on the stack, appended from, costs
// less per exchange than growing the string by a large chunk for every call.
std::optional<std::string> receive_all(platform::Socket socket) {
    try {
        std::string response;
        char chunk[kReceiveChunk];
        for (;;) {
            const auto got = platform::receive_some(socket, chunk, static_cast<int>(kReceiveChunk));
            switch (got.status) {
                case platform::ReceiveStatus::Bytes:
                    response.append(chunk, static_cast<std::size_t>(got.count));
                    break;
                case platform::ReceiveStatus::Closed:
                    return response;
                case platform::ReceiveStatus::Failed:
                    return std::nullopt;
            }
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::string> exchange(platform::Socket socket, std::uint16_t port,
                                    std::string_view request) {
    if (!platform::connect_loopback(socket, port) ||
        !platform::set_receive_timeout(socket, kReceiveTimeoutMs) || !send_all(socket, request)) {
        return std::nullopt;
    }
    const auto response = receive_all(socket);
    return response ? response_body(*response) : std::nullopt;
}

}  // namespace

std::string compose_request(std::string_view method, std::string_view path,
                            const std::optional<std::string>& body) {
    const std::string_view content = body ? std::string_view(*body) : std::string_view();
    std::string request;
    request.append(method).append(" ").append(path);
    request.append(
        " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Type: "
        "application/json\r\nContent-Length: ");
    request.append(std::to_string(content.size())).append("\r\n\r\n").append(content);
    return request;
}

std::optional<std::string> response_body(std::string_view response) {
    if (!platform::is_valid_utf8(response)) {
        return std::nullopt;
    }
    const auto header_end = response.find("\r\n\r\n");
    if (header_end == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(response.substr(header_end + 4));
}

std::optional<std::string> http_request(std::string_view method, std::string_view path,
                                        const std::optional<std::string>& body) {
    const std::uint16_t port = ServerPort;
    if (port == 0 || !ensure_sockets_started()) {
        return std::nullopt;
    }
    std::string request;
    try {
        request = compose_request(method, path, body);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    const auto socket = platform::open_tcp_socket();
    if (!socket) {
        return std::nullopt;
    }
    std::optional<std::string> result;
    try {
        result = exchange(*socket, port, request);
    } catch (const std::bad_alloc&) {
        result.reset();
    }
    platform::close_socket(*socket);
    return result;
}

}  // namespace server_link
