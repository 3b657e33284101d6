#include "stand_in.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace stand_in {
namespace {

// The tray sends tiny requests; the bounds only stop a runaway client from
// making the server hoard memory.
constexpr std::size_t max_header_bytes = 64 * 1024;
constexpr std::size_t max_body_bytes = 1024 * 1024;

bool receive_more(SOCKET client, std::string& raw) {
    char buffer[4096];
    const int got = recv(client, buffer, sizeof buffer, 0);
    if (got <= 0) {
        return false;
    }
    raw.append(buffer, static_cast<std::size_t>(got));
    return true;
}

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool parse_request_line(std::string_view line, Request& request) {
    const auto first = line.find(' ');
    if (first == std::string_view::npos) {
        return false;
    }
    const auto second = line.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return false;
    }
    request.method = line.substr(0, first);
    request.target = line.substr(first + 1, second - first - 1);
    return !request.method.empty() && !request.target.empty() &&
           line.substr(second + 1).starts_with("HTTP/1.");
}

}  // namespace

Request read_request(SOCKET client) {
    Request request;
    const auto reject = [&request](std::string why) {
        request.complete = true;
        request.error = std::move(why);
        return request;
    };

    std::size_t header_end;
    while ((header_end = request.raw.find("\r\n\r\n")) == std::string::npos) {
        if (request.raw.size() > max_header_bytes) {
            return reject("headers too large");
        }
        if (!receive_more(client, request.raw)) {
            return request;
        }
    }

    // A view into raw is only safe until the body reads below append to it.
    const auto head = std::string_view(request.raw).substr(0, header_end);
    auto line_end = head.find("\r\n");
    if (!parse_request_line(head.substr(0, line_end), request)) {
        return reject("malformed request line");
    }
    std::size_t length = 0;
    while (line_end != std::string_view::npos) {
        const auto start = line_end + 2;
        line_end = head.find("\r\n", start);
        const auto line = head.substr(
            start, line_end == std::string_view::npos ? std::string_view::npos : line_end - start);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            return reject("malformed header line");
        }
        const auto name = lower(trim(line.substr(0, colon)));
        const auto value = trim(line.substr(colon + 1));
        if (name == "transfer-encoding") {
            // Without a length the body's end is unknowable to this simple reader.
            return reject("Transfer-Encoding is not supported");
        }
        if (name == "content-length") {
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), length);
            if (value.empty() || error != std::errc{} || end != value.data() + value.size() ||
                length > max_body_bytes) {
                return reject("bad Content-Length");
            }
        }
    }

    const std::size_t body_start = header_end + 4;
    while (request.raw.size() - body_start < length) {
        if (!receive_more(client, request.raw)) {
            return request;
        }
    }
    request.body = request.raw.substr(body_start, length);
    request.complete = true;
    return request;
}

void answer_and_close(SOCKET client, std::string_view status, std::string_view content_type,
                      std::string_view body) {
    std::string message =
        "HTTP/1.1 " + std::string(status) + "\r\nContent-Type: " + std::string(content_type) +
        "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    message += body;
    std::size_t sent = 0;
    while (sent < message.size()) {
        const auto chunk = std::min<std::size_t>(message.size() - sent, 64 * 1024);
        const int done = send(client, message.data() + sent, static_cast<int>(chunk), 0);
        if (done <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(done);
    }
    // Half-close first so the client reads the whole answer before the end of stream.
    shutdown(client, SD_SEND);
    closesocket(client);
}

}  // namespace stand_in
