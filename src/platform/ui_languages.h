#pragma once

#include <string>
#include <vector>

namespace platform {

// The user's preferred UI languages as Windows names them ("de-AT"), most
// preferred first; empty when Windows gives none.
std::vector<std::string> preferred_ui_languages();

}  // namespace platform
