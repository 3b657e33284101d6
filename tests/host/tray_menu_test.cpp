#include <gtest/gtest.h>

#include "fake_platform.h"
#include "server_link/server_address.h"
#include "tray/tray_menu.h"

namespace {

// The server's answer to GET /api/features with the named switches true.
std::string features(const std::string& on) {
    const auto b = [&](const char* name) {
        return std::string(on.find(name) == std::string::npos ? "false" : "true");
    };
    return "HTTP/1.1 200 OK\r\n\r\n{\"features\":{\"media\":" + b("media") +
           ",\"stream\":" + b("stream") + "},\"stream\":{\"running\":" + b("running") + "}}";
}

// Each switch reads the server again when chosen: the menu may have been open
// for a while.
TEST(TrayMenu, ChecksShowTheServerAndSwitchesNegateAFreshRead) {
    struct Case {
        std::vector<std::string> answers;  // to the menu's read, then the switch's
        std::uint32_t choice;
        std::pair<bool, bool> checked;  // media, stream
        std::string posted;
    };
    const auto all = features("media stream running");
    const Case cases[] = {
        {{all, all}, 3, {true, true}, R"({"stream":false})"},
        {{all, features("stream running")}, 2, {true, true}, R"({"media":true})"},
        {{features("stream"), features("stream")}, 3, {false, false}, R"({"stream":true})"},
        {{}, 2, {false, false}, R"({"media":true})"},  // silent
    };
    for (const auto& c : cases) {
        fake::reset();
        server_link::ServerPort = 8080;
        fake::state().answers = c.answers;
        fake::state().menu_choice = c.choice;
        tray::show_tray_menu(nullptr, lifecycle::choose_language({}));
        const auto menu = fake::seen({"item"});
        EXPECT_EQ(std::pair(menu.find("2 [x]") != std::string::npos,
                            menu.find("3 [x]") != std::string::npos),
                  c.checked)
            << c.posted;
        // The menu's read, then the switch's fresh read and its change. (Dismissing
        // the menu and switching media off are Menu.*'s, under Wine.)
        const auto& sent = fake::state().requests;
        ASSERT_EQ(sent.size(), 3u) << c.posted;
        EXPECT_TRUE(sent.back().ends_with("\r\n\r\n" + c.posted)) << sent.back();
    }
}

}  // namespace
