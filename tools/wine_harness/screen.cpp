#include "screen.h"

#include <algorithm>
#include <cstdlib>

namespace harness {
namespace {

// Pixels, top row first, each 0x00RRGGBB.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

std::uint32_t rgb(COLORREF colour) {
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

// Copies the screen's rectangle in when there is one, then lets draw paint over it.
Picture picture(const RECT* screen_at, SIZE size, const std::function<void(HDC)>& draw) {
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
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
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return seen;
}

Picture capture(const RECT& at) {
    return picture(&at, {at.right - at.left, at.bottom - at.top}, nullptr);
}

// The text as a menu draws it: menu font and colours, && as &.
Picture menu_text(const std::wstring& text) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const HFONT font = CreateFontIndirectW(&metrics.lfMenuFont);
    RECT box{};
    const HDC measure = CreateCompatibleDC(nullptr);
    const HGDIOBJ old = SelectObject(measure, font);
    DrawTextW(measure, text.c_str(), -1, &box, DT_SINGLELINE | DT_CALCRECT);
    SelectObject(measure, old);
    DeleteDC(measure);
    auto drawn = picture(nullptr, {box.right, box.bottom}, [&](HDC dc) {
        FillRect(dc, &box, GetSysColorBrush(COLOR_MENU));
        SelectObject(dc, font);
        SetTextColor(dc, GetSysColor(COLOR_MENUTEXT));
        SetBkMode(dc, TRANSPARENT);
        DrawTextW(dc, text.c_str(), -1, &box, DT_SINGLELINE);
    });
    DeleteObject(font);
    return drawn;
}

// Where wanted fits best in seen, its top row between the two given, and
// how far it is from seen there: the mean difference per colour channel.
struct Match {
    double difference = 255;
    int left = 0;
};
Match best_match(const Picture& seen, const Picture& wanted, int first_top, int last_top) {
    const long area = 3L * wanted.width * wanted.height;
    long best = area * 255 + 1;
    Match match;
    for (int top = std::max(first_top, 0); top <= std::min(last_top, seen.height - wanted.height);
         ++top)
        for (int left = 0; left + wanted.width <= seen.width; ++left) {
            long total = 0;
            for (int y = 0; y < wanted.height && total < best; ++y)
                for (int x = 0; x < wanted.width; ++x) {
                    const auto p = seen.at(left + x, top + y), q = wanted.at(x, y);
                    for (int shift : {0, 8, 16})
                        total += std::abs(static_cast<int>((p >> shift) & 0xff) -
                                          static_cast<int>((q >> shift) & 0xff));
                }
            if (total < best)
                best = total, match.left = left;
        }
    match.difference = best / static_cast<double>(std::max(area, 1L));
    return match;
}

// The first and one past the last column and row holding anything but the background.
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

double difference_from(const RECT& at, SIZE size, const std::function<void(HDC, COLORREF)>& draw) {
    const Picture seen = capture(at);
    const COLORREF corner = RGB(seen.at(0, 0) >> 16, (seen.at(0, 0) >> 8) & 0xff, seen.at(0, 0));
    const Picture drawn = picture(nullptr, size, [&](HDC dc) { draw(dc, corner); });
    return best_match(seen, drawn, 0, seen.height).difference;
}

double difference_from(const NotificationIcon& shown, HICON icon) {
    const int size = GetSystemMetrics(SM_CXSMICON);
    return difference_from(shown.at, {size, size}, [&](HDC drawn, COLORREF corner) {
        const HBRUSH background = CreateSolidBrush(corner);
        const RECT all{0, 0, size, size};
        FillRect(drawn, &all, background);
        DeleteObject(background);
        DrawIconEx(drawn, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    });
}

double difference_from_text(const RECT& at, const std::wstring& text) {
    const Picture seen = capture(at);
    return best_match(seen, menu_text(text), 0, seen.height).difference;
}

std::vector<MenuRow> read_menu(HWND menu, const std::vector<std::wstring>& texts) {
    constexpr double kAlike = 2;
    // The frame is drawn inside the window: 1 px wide under Wine, 3 on Windows.
    constexpr int kFrame = 3;
    RECT at{};
    GetWindowRect(menu, &at);
    const Picture seen = capture(at);
    const std::uint32_t background = rgb(GetSysColor(COLOR_MENU));
    const auto inked = [&](int y) {
        for (int x = kFrame; x < seen.width - kFrame; ++x)
            if (seen.at(x, y) != background)
                return true;
        return false;
    };
    std::vector<Picture> drawn;
    for (const auto& text : texts)
        drawn.push_back(menu_text(text));
    std::vector<MenuRow> rows;
    // A row is a run of lines with ink on them; a separator is a line or two.
    for (int top = kFrame, bottom = top; top < seen.height - kFrame; top = bottom) {
        for (bottom = top; bottom < seen.height - kFrame && inked(bottom);)
            ++bottom;
        if (bottom == top) {
            ++bottom;
            continue;
        }
        MenuRow row{.text = {},
                    .separator = bottom - top <= 2,
                    .at = {at.left, at.top + top, at.right, at.top + bottom}};
        RECT text_ink{};
        // Of the texts drawn alike, the widest: a shorter one may be a part of it.
        for (std::size_t i = 0; i < texts.size() && !row.separator; ++i) {
            const RECT ink = ink_of(drawn[i], background);
            const Match match = best_match(seen, drawn[i], top - ink.top, bottom - ink.bottom);
            if (match.difference < kAlike &&
                ink.right - ink.left > text_ink.right - text_ink.left) {
                row.text = texts[i];
                text_ink = {match.left + ink.left, top, match.left + ink.right, bottom};
            }
        }
        // A mark is ink beside the text, a few pixels away from it.
        for (int y = top; y < bottom && !row.text.empty(); ++y)
            for (int x = kFrame; x < seen.width - kFrame; ++x)
                if (seen.at(x, y) != background &&
                    (x < text_ink.left - 2 || x > text_ink.right + 1))
                    row.check = x < text_ink.left ? MenuRow::Left : MenuRow::Right;
        rows.push_back(row);
    }
    return rows;
}

std::string utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                            static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

std::string describe(const std::vector<MenuRow>& rows) {
    std::string line;
    for (const auto& row : rows) {
        const std::string text = row.separator ? "---" : row.text.empty() ? "?" : utf8(row.text);
        line += (line.empty() ? "" : " | ") +
                std::string(row.check == MenuRow::Left ? "[x] " : "") + text +
                (row.check == MenuRow::Right ? " [x]" : "");
    }
    return line.empty() ? "nothing" : line;
}

}  // namespace harness
