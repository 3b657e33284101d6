#pragma once

#include "lifecycle/ui_language.h"

namespace lifecycle {

enum class StartupOutcome {
    SecondCopy,  // another copy runs; its dashboard was opened if its port was readable
    Failed,      // no port within the wait; the failure dialog was shown and closed
    Ready,       // ServerPort holds the server's port and the dashboard was opened
};

// Keeps to one copy per machine, launches the server and waits for its port;
// the failure dialog speaks the language given.
StartupOutcome start_up(const Language& language);

}  // namespace lifecycle
