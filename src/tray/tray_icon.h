#pragma once

namespace tray {

// Shows the notification icon and runs the message loop until Quit; the icon
// is gone again when it returns. A window that cannot be created ends the
// process.
void run_tray();

}  // namespace tray
