#pragma once

// The host tests' stand-in for the Windows layer: scripted results, one
// journal of the calls that matter, and a clock that only moves when the code
// under test sleeps.

#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/lock.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "platform/sockets.h"
#include "platform/string_resource.h"
#include "platform/ui_languages.h"
#include "platform/window.h"

namespace fake {

// What one recv call gives: bytes, or a failure.
struct Receive {
    std::string bytes;
    bool fails = false;
};

// The calls a test can make fail.
enum class Fault { Socket, Connect, Timeout, Window, LoadIcon, ApplicationIcon };

// Thrown by platform::fatal_stop so a test can see the process end.
struct FatalStop {};

struct State {
    // One line per call, in order: its name, then what it was given.
    std::vector<std::string> journal;
    std::set<Fault> failing;

    std::map<std::wstring, std::wstring> environment;
    std::map<std::wstring, std::string> files;  // what read_shared_file finds
    // What file_type answers; any other path is Missing.
    std::map<std::wstring, platform::FileType> file_types;
    std::optional<std::wstring> module_file_name = L"C:\\Pellox\\tray.exe";
    platform::InstanceClaim instance = platform::InstanceClaim::FirstCopy;
    std::vector<platform::HiddenLaunch> launched;
    bool exited = false;  // whether any started process has ended

    platform::Instant now = std::chrono::hours(1);
    std::function<void()> after_sleep;

    // Each send takes at most the next of `send_limits` bytes (all of them
    // once the list is used up). Receives play `receives`, then the peer
    // closes; when there are none, each connection gets the next of `answers`.
    std::vector<int> send_limits;
    std::vector<Receive> receives;
    std::vector<std::string> answers;
    std::vector<std::string> requests;  // what each connection sent

    // Message, wparam, lparam: dispatched by run_message_loop until a quit.
    std::vector<std::tuple<std::uint32_t, std::uintptr_t, std::intptr_t>> messages;
    std::uint32_t menu_choice = 0;  // what the user picks from a tracked menu
    std::vector<std::string> preferred_ui_languages = {"en-US"};
};

State& state();
void reset();

// The journal lines that start with any of the prefixes, in order.
std::vector<std::string> calls(std::initializer_list<std::string_view> prefixes);
// The same, joined by " | ".
std::string seen(std::initializer_list<std::string_view> prefixes);

}  // namespace fake
