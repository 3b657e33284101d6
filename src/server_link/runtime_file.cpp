#include "server_link/runtime_file.h"

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/text.h"
#include "server_link/json_document.h"

namespace server_link {

namespace {

// The server writes a few dozen bytes. A file far larger is not one it wrote,
// and reading it whole would stretch every poll of the start-up wait.
constexpr std::size_t kMaxRuntimeFileBytes = std::size_t{64} * 1024;

platform::NativeString runtime_file_path() {
    auto appdata = platform::environment_variable(L"APPDATA").value_or(L"");
    if (!platform::is_valid_utf16(appdata)) {
        appdata.clear();
    }
    const auto folder = platform::join_path(appdata, L"PelloxDesktop");
    return platform::join_path(folder, L"runtime.json");
}

}  // namespace

std::optional<std::uint16_t> parse_runtime_port(std::string_view text) {
    const auto document = parse_json_document(text);
    if (!document || !document->is_object()) {
        return std::nullopt;
    }
    const auto port = document->find("port");
    if (port == document->end() || !port->is_number_unsigned()) {
        return std::nullopt;
    }
    // Anything past 65535 is not a port; keeping its low bits would aim the
    // tray (and its quit request) at some unrelated local service.
    const auto value = port->get<std::uint64_t>();
    if (value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<std::uint16_t> read_runtime_port() {
    const auto text = platform::read_shared_file(runtime_file_path(), kMaxRuntimeFileBytes);
    if (!text) {
        return std::nullopt;
    }
    return parse_runtime_port(*text);
}

}  // namespace server_link
