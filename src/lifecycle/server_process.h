#pragma once

namespace lifecycle {

// Starts Pellox-Desktop.exe from platform::exe_dir() if it is a regular file, and keeps
// it for stop_server. Failures are silent.
void launch_server();

// Ends the launched server unless it has already exited, and forgets it.
void stop_server();

}  // namespace lifecycle
