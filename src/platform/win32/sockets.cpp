#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/sockets.h"

namespace platform {

bool start_sockets() {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

std::optional<Socket> open_tcp_socket() {
    // Overlapped, as socket() would make it: blocking calls work the same, and
    // some Winsock implementations (Wine's among them) apply SO_RCVTIMEO only
    // to overlapped sockets.
    const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        return std::nullopt;
    }
    return static_cast<Socket>(s);
}

bool connect_loopback(Socket socket, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(static_cast<SOCKET>(socket), reinterpret_cast<const sockaddr*>(&address),
                   sizeof address) == 0;
}

bool set_receive_timeout(Socket socket, std::uint32_t milliseconds) {
    const DWORD value = milliseconds;
    return setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_RCVTIMEO,
                      reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

int send_some(Socket socket, const char* data, int length) {
    const int sent = send(static_cast<SOCKET>(socket), data, length, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

Received receive_some(Socket socket, char* buffer, int capacity) {
    const int got = recv(static_cast<SOCKET>(socket), buffer, capacity, 0);
    if (got > 0) {
        return {ReceiveStatus::Bytes, got};
    }
    // A connection shut down for receiving has nothing more to give, as a closed one.
    return {got == 0 || WSAGetLastError() == WSAESHUTDOWN ? ReceiveStatus::Closed
                                                          : ReceiveStatus::Failed};
}

void close_socket(Socket socket) {
    closesocket(static_cast<SOCKET>(socket));
}

}  // namespace platform
