#pragma once

// What the screen shows, compared with what the harness draws the same way:
// an icon, a text, and a popup menu read row by row as it is drawn (a popup
// menu of another process cannot be read under Wine 8: GetMenuItemCount
// answers -1).

#include <windows.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "harness.h"

namespace harness {

// How far what the screen shows is from a picture the harness draws, at the
// best place: the mean difference per colour channel, 0 to 255. The icon is
// drawn at the small icon size over the icon window's background.
double difference_from(const NotificationIcon& shown, HICON icon);
// Whether the icon shows the expected picture and not the other one within 5 s.
bool drawn_as(const NotificationIcon& shown, HICON expected, HICON other);
// The icon in the file as the tray loads it, and the one it falls back to.
HICON icon_file(const fs::path& path);
HICON generic_icon();

// One row of a popup menu as drawn, top to bottom.
struct MenuRow {
    enum Check { None, Left, Right };
    std::wstring text;   // which of the texts it was read with it shows; empty for none
    Check check = None;  // a mark drawn beside the text, and on which side
    bool separator = false;
    RECT at{};  // on the screen

    // What a user reads: the same text, mark and kind, wherever it is.
    bool operator==(const MenuRow& other) const {
        return text == other.text && check == other.check && separator == other.separator;
    }
};
inline const MenuRow kSeparator{.text = {}, .separator = true};

// The menu window's rows as it draws them, each told by the one of the texts
// it shows.
std::vector<MenuRow> read_menu(HWND menu, const std::vector<std::wstring>& texts);
// The tray's text of that id in the language Wine gives this process, and so
// the trays it starts: what their menu shows. Empty for no text.
std::wstring tray_text(std::uint32_t id);
// The menu's row that shows the text, once it is drawn within 5 s. (No item's
// text is a part of another's, in any language.)
std::optional<MenuRow> menu_row(HWND menu, const std::wstring& text);
// A row as a failure message shows it: "---", "[x] Share", "Stream [x]", "?".
void PrintTo(const MenuRow& row, std::ostream* out);

}  // namespace harness
