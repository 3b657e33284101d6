#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace server_link {

// One HTTP/1.1 exchange with the server at 127.0.0.1:ServerPort over a fresh
// connection: the response body, or nothing on any failure.
std::optional<std::string> http_request(std::string_view method, std::string_view path,
                                        const std::optional<std::string>& body);

// The request bytes http_request sends.
std::string compose_request(std::string_view method, std::string_view path,
                            const std::optional<std::string>& body);

// Everything after the first empty line of a complete response that is valid
// UTF-8; nothing otherwise.
std::optional<std::string> response_body(std::string_view response);

}  // namespace server_link
