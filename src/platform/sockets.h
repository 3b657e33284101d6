#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// An open socket as the platform names it; the exchange only hands it back.
using Socket = std::uintptr_t;

// Makes sockets usable in this process; false when the system cannot.
bool start_sockets();

// A blocking TCP socket that child processes do not inherit.
std::optional<Socket> open_tcp_socket();

// Connects to 127.0.0.1 at the port; blocks with the system's own limit.
bool connect_loopback(Socket socket, std::uint16_t port);

// Makes each later receive give up after that long without data.
bool set_receive_timeout(Socket socket, std::uint32_t milliseconds);

// Hands the system as much of the data as it takes at once: the bytes taken,
// or -1 on failure.
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

// Waits for what the peer sends next and puts what there is, up to the
// capacity, in the buffer.
Received receive_some(Socket socket, char* buffer, int capacity);

// Closes the socket; a failure is not reported.
void close_socket(Socket socket);

}  // namespace platform
