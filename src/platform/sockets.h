#pragma once

#include <cstdint>
#include <optional>

namespace platform {

using Socket = std::uintptr_t;

// WSAStartup asking for version 2.2.
bool start_sockets();

// A blocking TCP socket that child processes do not inherit.
std::optional<Socket> open_tcp_socket();

// Connects to 127.0.0.1 at the port; blocks with the system's own limit.
bool connect_loopback(Socket socket, std::uint16_t port);

// Makes each later receive give up after that long without data.
bool set_receive_timeout(Socket socket, std::uint32_t milliseconds);

// One send call: the bytes taken, or -1 on failure.
int send_some(Socket socket, const char* data, int length);

enum class ReceiveStatus {
    Bytes,   // count bytes are in the buffer
    Closed,  // the peer closed the connection, or it was shut down for receiving
    Failed,  // any other error, the receive time-out among them
};
struct Received {
    ReceiveStatus status = ReceiveStatus::Failed;
    int count = 0;
};

// One recv call into the buffer.
Received receive_some(Socket socket, char* buffer, int capacity);

// Closes the socket; a failure is not reported.
void close_socket(Socket socket);

}  // namespace platform
