#pragma once

#include "lifecycle/ui_language.h"

namespace tray {

// Shows the notification icon and runs the message loop until Quit, its menu
// in the language given; the icon is gone again when it returns. A window that
// cannot be created ends the process.
void run_tray(const lifecycle::Language& language);

}  // namespace tray
