#include "screen.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iterator>

#include "lifecycle/language_texts.h"
#include "lifecycle/languages.h"
#include "platform/ui_languages.h"

namespace harness {
namespace {

bool same_window(const NotificationIcon& a, const NotificationIcon& b) {
    return a.window == b.window;
}

// Pixels, top row first, each 0x00RRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// The screen's rectangle when given, with whatever draw paints over it.
Picture picture(const RECT* screen_at, SIZE size, const std::function<void(HDC)>& draw = {}) {
    const HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    if (screen_at)
        BitBlt(dc, 0, 0, size.cx, size.cy, screen, screen_at->left, screen_at->top, SRCCOPY);
    if (draw)
        draw(dc);
    SelectObject(dc, old);
    Picture seen{size.cx, size.cy, std::vector<std::uint32_t>(size.cx * size.cy)};
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    GetDIBits(dc, bitmap, 0, size.cy, seen.pixels.data(), &format, DIB_RGB_COLORS);
    // What fills the fourth byte differs: Wine 10 gives the screen's pixels 0xff.
    std::ranges::transform(seen.pixels, seen.pixels.begin(),
                           [](std::uint32_t pixel) { return pixel & 0xffffff; });
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return seen;
}
Picture capture(const RECT& at) {
    return picture(&at, {at.right - at.left, at.bottom - at.top});
}

// The text as a menu draws it: in its font and colours, && as &, and in a
// menu laid out right to left (TPM_LAYOUTRTL) on a mirrored surface, read
// right to left.
Picture menu_text(const std::wstring& text, DWORD layout) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const HFONT font = CreateFontIndirectW(&metrics.lfMenuFont);
    RECT box{};
    const HDC measure = CreateCompatibleDC(nullptr);
    SelectObject(measure, font);
    DrawTextW(measure, text.c_str(), -1, &box, DT_SINGLELINE | DT_CALCRECT);
    DeleteDC(measure);
    const auto drawn = picture(nullptr, {box.right, box.bottom}, [&](HDC dc) {
        SetLayout(dc, layout);
        FillRect(dc, &box, GetSysColorBrush(COLOR_MENU));
        SelectObject(dc, font);
        SetTextColor(dc, GetSysColor(COLOR_MENUTEXT));
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, text.c_str(), -1, &box, DT_SINGLELINE | (layout ? DT_RTLREADING : 0));
    });
    DeleteObject(font);
    return drawn;
}

// The sum of the colour channels' differences between two pixels.
int difference(std::uint32_t p, std::uint32_t q) {
    const auto channel = [&](int shift) {
        return std::abs(static_cast<int>((p >> shift) & 0xff) -
                        static_cast<int>((q >> shift) & 0xff));
    };
    return channel(0) + channel(8) + channel(16);
}

// Where wanted fits seen best (its top row from first_top to last_top), and
// how far it is from seen there.
std::pair<double, int> best_match(const Picture& seen, const Picture& wanted, int first_top,
                                  int last_top) {
    const long area = 3L * wanted.width * wanted.height;
    long best = area * 255 + 1;
    int best_left = 0;
    for (int top = std::max(first_top, 0); top <= std::min(last_top, seen.height - wanted.height);
         ++top)
        for (int left = 0, total = 0; left + wanted.width <= seen.width; ++left, total = 0) {
            // Row by row, to give up on a place as soon as it is worse than the best.
            for (int y = 0; y < wanted.height && total < best; ++y)
                for (int x = 0; x < wanted.width; ++x)
                    // cppcheck-suppress useStlAlgorithm
                    total += difference(seen.at(left + x, top + y), wanted.at(x, y));
            if (total < best)
                best = total, best_left = left;
        }
    return {best / static_cast<double>(std::max(area, 1L)), best_left};
}

// The columns and rows that hold anything but the background.
RECT ink_of(const Picture& drawn, std::uint32_t background) {
    RECT ink{drawn.width, drawn.height, 0, 0};
    for (int y = 0; y < drawn.height; ++y)
        for (int x = 0; x < drawn.width; ++x)
            if (drawn.at(x, y) != background)
                ink = {std::min<LONG>(ink.left, x), std::min<LONG>(ink.top, y),
                       std::max<LONG>(ink.right, x + 1), std::max<LONG>(ink.bottom, y + 1)};
    return ink;
}

}  // namespace

HWND wait_for_window(HWND parent, const wchar_t* class_name, DWORD pid,
                     std::chrono::milliseconds timeout, std::chrono::milliseconds poll) {
    HWND window = nullptr;
    wait_until([&] { return (window = find_window(parent, class_name, pid)) != nullptr; }, timeout,
               poll);
    return window;
}

HWND find_window(HWND parent, const wchar_t* class_name, DWORD pid) {
    for (const HWND window : windows_of_class(parent, class_name)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

std::vector<HWND> windows_of_class(HWND parent, const wchar_t* class_name) {
    std::vector<HWND> all, found;
    // A snapshot: stepping with FindWindowExW from a window that a menu's end
    // destroys meanwhile makes Wine 10's wineserver spin for ever.
    const WNDENUMPROC collect = [](HWND window, LPARAM windows) {
        reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
        return TRUE;
    };
    if (parent == nullptr)
        EnumWindows(collect, reinterpret_cast<LPARAM>(&all));
    else
        EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&all));
    for (const HWND window : all) {
        wchar_t name[256] = {};
        if (GetClassNameW(window, name, 256) && _wcsicmp(name, class_name) == 0)
            found.push_back(window);
    }
    return found;
}

std::wstring text_of(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, 2000, &length);
    return text;
}

// Wine 8 keeps the notification area in a window of its X11 driver, Wine 10
// (like Windows) in explorer's taskbar; each icon is a child window there.
std::vector<NotificationIcon> notification_icons() {
    static constexpr std::pair<const wchar_t*, const wchar_t*> kAreas[] = {
        {L"__winex11_standalone_tray", L"__winex11_tray_icon"},
        {L"Shell_TrayWnd", L"__wine_tray_icon"},
    };
    std::vector<NotificationIcon> icons;
    for (const auto& [area_class, icon_class] : kAreas)
        for (const HWND area : windows_of_class(nullptr, area_class))
            for (const HWND icon : windows_of_class(area, icon_class))
                if (IsWindowVisible(icon)) {
                    NotificationIcon found{icon, area, {}, {}};
                    GetWindowRect(icon, &found.at);
                    GetWindowRect(area, &found.area_at);
                    icons.push_back(found);
                }
    return icons;
}

bool is_shown(const NotificationIcon& icon) {
    return std::ranges::any_of(notification_icons(), std::bind_front(same_window, icon));
}

std::optional<NotificationIcon> new_icon(const std::vector<NotificationIcon>& before,
                                         std::chrono::milliseconds timeout) {
    std::optional<NotificationIcon> found;
    wait_until(
        [&] {
            for (const auto& icon : notification_icons())
                if (std::ranges::none_of(before, std::bind_front(same_window, icon)))
                    found = icon;
            return found.has_value();
        },
        timeout);
    return found;
}

double difference_from(const NotificationIcon& shown, HICON icon) {
    const Picture seen = capture(shown.at);
    const int size = GetSystemMetrics(SM_CXSMICON);
    const auto corner = seen.at(0, 0);
    const Picture drawn = picture(nullptr, {size, size}, [&](HDC dc) {
        const HBRUSH background = CreateSolidBrush(RGB(corner >> 16, corner >> 8, corner));
        const RECT all{0, 0, size, size};
        FillRect(dc, &all, background);
        DeleteObject(background);
        DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    });
    return best_match(seen, drawn, 0, seen.height).first;
}

bool drawn_as(const NotificationIcon& shown, HICON expected, HICON other) {
    constexpr double kAlike = 12;
    return wait_until(
        [&] {
            return difference_from(shown, expected) < kAlike &&
                   difference_from(shown, other) > kAlike;
        },
        5s);
}

HICON icon_file(const fs::path& path) {
    return static_cast<HICON>(
        LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
}

HICON generic_icon() {
    return LoadIconW(nullptr, IDI_APPLICATION);
}

std::vector<MenuRow> read_menu(HWND menu, const std::vector<std::wstring>& texts) {
    constexpr double kAlike = 2;
    constexpr int kFrame = 3;  // drawn inside the window: 1 px wide under Wine, 3 on Windows
    RECT at{};
    GetWindowRect(menu, &at);
    const Picture seen = capture(at);
    const DWORD layout = (GetWindowLongW(menu, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) ? LAYOUT_RTL : 0;
    const COLORREF menu_colour = GetSysColor(COLOR_MENU);
    const std::uint32_t background = RGB(GetBValue(menu_colour), GetGValue(menu_colour),
                                         GetRValue(menu_colour));  // as 0x00RRGGBB
    const auto ink = [&](int x, int y) {
        return x >= kFrame && x < seen.width - kFrame && seen.at(x, y) != background;
    };
    const auto inked = [&](int y) {
        for (int x = 0; x < seen.width; ++x)
            if (ink(x, y))
                return true;
        return false;
    };
    std::vector<MenuRow> rows;
    // A row is a run of lines with ink on them; a separator is a line or two.
    for (int top = kFrame, bottom; top < seen.height - kFrame; top = std::max(bottom, top + 1)) {
        for (bottom = top; bottom < seen.height - kFrame && inked(bottom);)
            ++bottom;
        if (bottom == top)
            continue;
        MenuRow row{.text = {},
                    .separator = bottom - top <= 2,
                    .at = {at.left, at.top + top, at.right, at.top + bottom}};
        RECT text_ink{};
        // Of the texts drawn alike, the widest: a shorter one may be a part of it.
        for (std::size_t i = 0; i < texts.size() && !row.separator; ++i) {
            const Picture drawn = menu_text(texts[i], layout);
            const RECT ink_box = ink_of(drawn, background);
            const auto [difference, left] =
                best_match(seen, drawn, top - ink_box.top, bottom - ink_box.bottom);
            if (difference < kAlike &&
                ink_box.right - ink_box.left > text_ink.right - text_ink.left)
                row.text = texts[i], text_ink = {left + ink_box.left, 0, left + ink_box.right, 0};
        }
        // A mark is ink beside the text, a few pixels away from it.
        for (int y = top; y < bottom && !row.text.empty(); ++y)
            for (int x = 0; x < seen.width; ++x)
                if (ink(x, y) && (x < text_ink.left - 2 || x > text_ink.right + 1))
                    row.check = x < text_ink.left ? MenuRow::Left : MenuRow::Right;
        rows.push_back(row);
    }
    return rows;
}

std::wstring tray_text(std::uint32_t id) {
    const auto table = &lifecycle::choose_language(platform::preferred_ui_languages()) -
                       std::begin(lifecycle::kLanguages);
    const auto& texts = lifecycle::kLanguageTexts[table].by_id;
    return id < std::size(texts) && texts[id] != nullptr ? texts[id] : L"";
}

std::optional<MenuRow> menu_row(HWND menu, const std::wstring& text) {
    std::optional<MenuRow> found;
    wait_until(
        [&] {
            for (const auto& row : read_menu(menu, {text}))
                if (!row.text.empty() && row.text == text)
                    // cppcheck-suppress useStlAlgorithm
                    found = row;
            return found.has_value();
        },
        5s);
    return found;
}

void PrintTo(const MenuRow& row, std::ostream* out) {
    std::string text(row.text.size() * 3, '\0');
    text.resize(WideCharToMultiByte(CP_UTF8, 0, row.text.data(), row.text.size(), text.data(),
                                    text.size(), nullptr, nullptr));
    *out << (row.check == MenuRow::Left ? "[x] " : "")
         << (row.separator  ? "---"
             : text.empty() ? "?"
                            : text)
         << (row.check == MenuRow::Right ? " [x]" : "");
}

}  // namespace harness
