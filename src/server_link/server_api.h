#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace server_link {

// The two switches the tray menu shows.
struct FeatureState {
    bool media = false;   // the library is shared
    bool stream = false;  // streaming is switched on and actually running

    bool operator==(const FeatureState&) const = default;
};

// The server's current feature state; both off when it cannot be read.
FeatureState fetch_features();

// Switches the named feature ("media" or "stream"); the answer is not awaited
// beyond the exchange itself and not examined.
void set_feature(std::string_view name, bool enable);

// Asks the server to exit; the answer is not examined.
void request_quit();

// The feature state in a GET /api/features body.
FeatureState reduce_features(std::string_view body);

}  // namespace server_link
