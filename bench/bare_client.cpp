// Baseline for the fetch_features figure: a plain blocking-socket client that
// sends the tray's GET /api/features and reads to the close. Never shipped.
#include "bare_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace {

constexpr char kRequest[] =
    "GET /api/features HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Type: "
    "application/json\r\nContent-Length: 0\r\n\r\n";

}  // namespace

bool bare_get_features(unsigned short port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              send(s, kRequest, static_cast<int>(sizeof kRequest - 1), 0) ==
                  static_cast<int>(sizeof kRequest - 1);
    char buffer[4096];
    int total = 0;
    bool has_body = false;
    for (int got; ok && (got = recv(s, buffer, sizeof buffer, 0)) > 0;) {
        total += got;
        has_body = has_body || std::memchr(buffer, '{', static_cast<std::size_t>(got)) != nullptr;
    }
    closesocket(s);
    return ok && total > 0 && has_body;
}
