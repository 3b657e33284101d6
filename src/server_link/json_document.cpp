#include "server_link/json_document.h"

#include "platform/text.h"

namespace server_link {
namespace {

constexpr int kMaxContainerDepth = 127;

struct TooDeep {};

}  // namespace

std::optional<nlohmann::json> parse_json_document(std::string_view text) {
    // The library would silently skip a byte-order mark, and its lexer takes a
    // NUL byte for the end of input, ignoring whatever follows. JSON has no
    // place for a raw NUL at all.
    if (text.starts_with("\xEF\xBB\xBF") || text.find('\0') != std::string_view::npos ||
        !platform::is_valid_utf8(text)) {
        return std::nullopt;
    }
    // The callback sees each container start with the number of containers
    // already open around it; refusing the 128th keeps a hostile document from
    // building a deep tree at all.
    const nlohmann::json::parser_callback_t limit_depth =
        [](int depth, nlohmann::json::parse_event_t event, nlohmann::json&) {
            const bool opens = event == nlohmann::json::parse_event_t::object_start ||
                               event == nlohmann::json::parse_event_t::array_start;
            if (opens && depth >= kMaxContainerDepth) {
                throw TooDeep{};
            }
            return true;
        };
    try {
        auto value = nlohmann::json::parse(text, limit_depth, /*allow_exceptions=*/false);
        if (value.is_discarded()) {
            return std::nullopt;
        }
        return value;
    } catch (const TooDeep&) {
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace server_link
