// For the shell scripts that drive the tray (the GUI test, the demo): where
// the notification area's icons are on the screen, found the Windows way.
// Prints one line an icon: its rectangle, then the area's, left top right bottom.
#include <cstdio>

#include "harness.h"

int main() {
    for (const auto& icon : harness::notification_icons())
        std::printf("%ld %ld %ld %ld %ld %ld %ld %ld\n", icon.at.left, icon.at.top, icon.at.right,
                    icon.at.bottom, icon.area_at.left, icon.area_at.top, icon.area_at.right,
                    icon.area_at.bottom);
}
