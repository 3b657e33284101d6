// Arbitrary bytes from the server, taken the way the menu takes them: the body
// of the response, then the switches read from it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "server_link/http.h"
#include "server_link/server_api.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view response(reinterpret_cast<const char*>(data), size);
    const auto body = server_link::response_body(response);
    if (!body) {
        return 0;
    }
    // A body is always the tail of what came, and only ever valid UTF-8.
    if (!response.ends_with(*body) || !platform::is_valid_utf8(*body)) {
        std::abort();
    }
    const auto state = server_link::reduce_features(*body);
    // A switch is only ever on when the body holds a JSON true.
    if ((state.media || state.stream) && body->find("true") == std::string::npos) {
        std::abort();
    }
    return 0;
}
