#pragma once

#include <cstdint>
#include <optional>

namespace platform {

using Socket = std::uintptr_t;

inline constexpr int kWsaeShutdown = 10058;

// WSAStartup asking for version 2.2.
bool start_sockets();

// A blocking TCP socket that child processes do not inherit.
std::optional<Socket> open_tcp_socket();

// Connects to 127.0.0.1 at the port; blocks with the system's own limit.
bool connect_loopback(Socket socket, std::uint16_t port);

bool set_receive_timeout(Socket socket, std::uint32_t milliseconds);

// One send call: the bytes taken, or -1 on failure.
int send_some(Socket socket, const char* data, int length);

// One recv call: bytes received, 0 when the peer closed, -1 on failure.
int receive_some(Socket socket, char* buffer, int capacity);

// The error of the last failed socket call on this thread.
int last_socket_error();

void close_socket(Socket socket);

}  // namespace platform
