#include "server_link/server_api.h"

#include "server_link/http.h"
#include "server_link/json_document.h"

namespace server_link {
namespace {

// The member's boolean value, or nothing when the member is missing or not a boolean.
std::optional<bool> boolean_at(const nlohmann::json& document, const char* object,
                               const char* member) {
    if (!document.is_object()) {
        return std::nullopt;
    }
    const auto outer = document.find(object);
    if (outer == document.end() || !outer->is_object()) {
        return std::nullopt;
    }
    const auto inner = outer->find(member);
    if (inner == outer->end() || !inner->is_boolean()) {
        return std::nullopt;
    }
    return inner->get<bool>();
}

}  // namespace

FeatureState reduce_features(std::string_view body) {
    const auto document = parse_json_document(body);
    if (!document) {
        return {};
    }
    return {
        .media = boolean_at(*document, "features", "media").value_or(false),
        .stream = boolean_at(*document, "features", "stream").value_or(false) &&
                  boolean_at(*document, "stream", "running").value_or(false),
    };
}

FeatureState fetch_features() {
    const auto body = http_request("GET", "/api/features", std::nullopt);
    return body ? reduce_features(*body) : FeatureState{};
}

void set_feature(std::string_view name, bool enable) {
    std::string body = "{\"";
    body.append(name).append("\":").append(enable ? "true" : "false").append("}");
    http_request("POST", "/api/features", body);
}

void request_quit() {
    http_request("POST", "/api/quit", "{}");
}

}  // namespace server_link
