#include <gtest/gtest.h>

#include "fake_platform.h"
#include "server_link/http.h"
#include "server_link/runtime_file.h"
#include "server_link/server_api.h"

namespace {

using server_link::http_request;

const std::string kHead =
    " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
    "Content-Type: application/json\r\nContent-Length: ";
const std::string kGetFeatures = "GET /api/features" + kHead + "0\r\n\r\n";

TEST(ServerApi, EachCallSendsTheseExactBytes) {
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { server_link::fetch_features(); }, kGetFeatures},
        {[] { server_link::set_feature("media", true); },
         "POST /api/features" + kHead + "14\r\n\r\n{\"media\":true}"},
        {[] { server_link::set_feature("stream", false); },
         "POST /api/features" + kHead + "16\r\n\r\n{\"stream\":false}"},
        {[] { server_link::request_quit(); }, "POST /api/quit" + kHead + "2\r\n\r\n{}"},
        // The length counts bytes, not characters.
        {[] { http_request("POST", "/x", "caf\xC3\xA9"); },
         "POST /x" + kHead + "5\r\n\r\ncaf\xC3\xA9"},
    };
    for (const auto& [call, bytes] : cases) {
        fake::reset();
        server_link::ServerPort = 8080;
        call();
        EXPECT_EQ(fake::state().requests, std::vector<std::string>{bytes});
    }
}

TEST(HttpResponse, BodyIsEverythingAfterTheFirstEmptyLine) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}", "{}"},
        {"HTTP/1.1 204 No Content\r\nServer: x\r\n\r\n", ""},
        {"HTTP/1.1 500 Oops\r\n\r\nerror page", "error page"},
        {"HTTP/1.1 200 OK\r\n\r\nfirst\r\n\r\nsecond", "first\r\n\r\nsecond"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n",
         "2\r\n{}\r\n0\r\n\r\n"},
        {"HTTP/1.1 200 OK\r\n", std::nullopt},
        {"HTTP/1.1 200 OK\n\n{}", std::nullopt},
        {"HTTP/1.1 200 OK\r\n\r\n{\"a\":\"\xC0\xAF\"}", std::nullopt},
    };
    for (const auto& [response, body] : cases) {
        EXPECT_EQ(server_link::response_body(response), body) << response;
    }
}

TEST(HttpExchange, GivesTheBodyOnlyWhenEveryStepWorksAndAlwaysClosesTheSocket) {
    const std::string ok = "HTTP/1.1 200 OK\r\n\r\n{}";
    struct Case {
        std::string failing;
        std::vector<int> sends;  // bytes each send takes
        std::vector<fake::Receive> receives;
        std::optional<std::string> body;
    };
    const Case cases[] = {
        {"", {10, 1, 7}, {{"HTTP/1.1 200"}, {" OK\r\n\r\n{"}, {"}"}}, "{}"},
        {"", {}, {{ok}, {"", platform::kWsaeShutdown}}, "{}"},  // shut down for receiving: the end
        {"", {}, {{ok}, {"", 10054}}, std::nullopt},            // reset
        {"", {}, {}, std::nullopt},                             // closed without a byte
        {"", {20, -1}, {{ok}}, std::nullopt},
        {"", {0}, {{ok}}, std::nullopt},
        {"connect", {}, {{ok}}, std::nullopt},
        {"timeout", {}, {{ok}}, std::nullopt},
        {"socket", {}, {{ok}}, std::nullopt},
    };
    for (const auto& c : cases) {
        fake::reset();
        auto& fake = fake::state();
        fake.failing = {c.failing};
        fake.send_limits = c.sends;
        fake.receives = c.receives;
        server_link::ServerPort = 8080;
        const auto body = http_request("GET", "/api/features", std::nullopt);
        EXPECT_EQ(body, c.body) << "row " << (&c - cases);
        if (body) {
            EXPECT_EQ(fake.requests, std::vector<std::string>{kGetFeatures});
        }
        EXPECT_EQ(fake::calls({"close_socket"}).size(), c.failing == "socket" ? 0u : 1u);
    }
}

// The library's start is remembered for the life of the process, so this runs
// in a freshly executed child ("threadsafe" style re-runs the binary).
TEST(HttpExchange, AFailedSocketStartIsRetriedOnlyUntilItWorks) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto attempt = [] {
        fake::reset();
        server_link::ServerPort = 8080;
        fake::state().failing = {"start_sockets"};
        http_request("GET", "/", std::nullopt);
        fake::state().failing.clear();
        http_request("GET", "/", std::nullopt);
        http_request("GET", "/", std::nullopt);
        const auto seen = fake::seen({"start_sockets", "socket"});
        std::exit(seen == "start_sockets | start_sockets | socket | socket" ? 0 : 1);
    };
    EXPECT_EXIT(attempt(), ::testing::ExitedWithCode(0), "");
}

TEST(FeatureReduction, NeedsRealBooleansAndARunningStream) {
    using server_link::FeatureState;
    const std::pair<std::string, FeatureState> cases[] = {
        {R"({"features":{"media":true,"stream":true},"stream":{"running":true}})", {true, true}},
        {R"({"features":{"media":true,"stream":true},"stream":{"running":false}})", {true, false}},
        {R"({"features":{"media":false,"stream":false},"stream":{"running":true}})",
         {false, false}},
        {R"({"features":{"stream":true},"stream":{"running":true}})", {false, true}},
        {R"({"features":{"stream":true}})", {false, false}},
        {R"({"features":{"media":1,"stream":"true"},"stream":{"running":1}})", {false, false}},
        {R"({"media":true,"stream":true})", {false, false}},
        {R"({"features":[true,true]})", {false, false}},
        {"", {false, false}},
    };
    for (const auto& [body, state] : cases) {
        EXPECT_EQ(server_link::reduce_features(body), state) << body;
    }
}

}  // namespace
