#pragma once

#include <cstdint>

#include "platform/text.h"

namespace platform {

inline constexpr std::uint32_t kMbIconError = 0x10;
inline constexpr std::uint32_t kMbSetForeground = 0x10000;

// Gives this thread the COM apartment that some URL handlers of the shell
// need. Called once, at start, so that the first shell_open does not pay for it.
void prepare_shell();

// Hands the URL to the shell's "open" verb; the outcome is not reported.
void shell_open(const NativeString& url);

// A modal message box without an owner, its text reading in the direction
// given; returns when the user closes it.
void message_box(const NativeString& text, const wchar_t* caption, std::uint32_t style,
                 TextDirection direction);

}  // namespace platform
