#pragma once

#include <string>
#include <vector>

#include "platform/text.h"

namespace lifecycle {

// Starts Pellox-Desktop.exe from platform::exe_dir() if it is a regular file, and keeps
// it for stop_server. Failures are silent.
void launch_server();

// Ends the launched server unless it has already exited, and forgets it.
void stop_server();

// The server's environment block: the given "NAME=value" entries with any
// PELLOX_NO_BROWSER (in any letter case) replaced by PELLOX_NO_BROWSER=1,
// sorted by name without regard to case as CreateProcess expects.
platform::NativeString server_environment_block(std::vector<platform::NativeString> entries);

}  // namespace lifecycle
