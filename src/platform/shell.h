#pragma once

#include "platform/text.h"

namespace platform {

// Gives this thread the COM apartment that some URL handlers of the shell
// need. Called once, at start, so that the first shell_open does not pay for it.
void prepare_shell();

// Hands the URL to the shell's "open" verb; the outcome is not reported.
void shell_open(const NativeString& url);

// A modal error message without an owner, brought to the front, its text
// reading in the direction given; returns when the user closes it.
void show_error_dialog(const NativeString& text, const wchar_t* caption, TextDirection direction);

}  // namespace platform
