#include <gtest/gtest.h>

#include "fake_platform.h"
#include "server_link/http.h"
#include "server_link/runtime_file.h"
#include "server_link/server_api.h"

namespace {

using server_link::http_request;

TEST(HttpRequestBytes, FollowTheFixedFraming) {
    EXPECT_EQ(server_link::compose_request("GET", "/api/features", std::nullopt),
              "GET /api/features HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
              "Content-Type: application/json\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(
        server_link::compose_request("POST", "/api/features", std::string("{\"media\":true}")),
        "POST /api/features HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
        "Content-Type: application/json\r\nContent-Length: 14\r\n\r\n{\"media\":true}");
    // The length counts bytes, not characters.
    EXPECT_NE(server_link::compose_request("POST", "/x", std::string("caf\xC3\xA9"))
                  .find("Content-Length: 5\r\n\r\ncaf\xC3\xA9"),
              std::string::npos);
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
        {"", std::nullopt},
        {"HTTP/1.1 200 OK\r\nX: \xFF\r\n\r\n{}", std::nullopt},  // not UTF-8 in a header
        {"HTTP/1.1 200 OK\r\n\r\n{\"a\":\"\xC0\xAF\"}", std::nullopt},
    };
    for (const auto& [response, body] : cases) {
        EXPECT_EQ(server_link::response_body(response), body) << response;
    }
}

class HttpExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        server_link::ServerPort = 8080;
    }
    static void answer(std::vector<fake::Receive> receives) {
        fake::state().receives = std::move(receives);
    }
};

TEST_F(HttpExchange, WithoutAPortNothingIsAttempted) {
    server_link::ServerPort = 0;
    EXPECT_EQ(http_request("GET", "/api/features", std::nullopt), std::nullopt);
    EXPECT_EQ(fake::state().sockets_opened, 0);
    EXPECT_EQ(fake::state().socket_starts, 0);
}

TEST_F(HttpExchange, SendsEverythingThroughPartialSendsAndReadsToTheClose) {
    auto& fake = fake::state();
    fake.send_limits = {10, 1, 7};
    answer({{"HTTP/1.1 200 OK\r\n"}, {"\r\n{\"a\""}, {":1}"}});
    EXPECT_EQ(http_request("POST", "/api/quit", "{}"), "{\"a\":1}");
    EXPECT_EQ(fake.sent, server_link::compose_request("POST", "/api/quit", "{}"));
    EXPECT_EQ(fake.connected_port, 8080);
    EXPECT_EQ(fake.receive_timeout, 3000u);
    EXPECT_EQ(fake.sockets_closed, 1);
}

TEST_F(HttpExchange, EveryFailureGivesNothingAndClosesTheSocket) {
    struct Case {
        const char* what;
        std::function<void(fake::State&)> arrange;
    };
    const Case cases[] = {
        {"connect refused", [](fake::State& s) { s.connect_fails = true; }},
        {"time-out not set", [](fake::State& s) { s.timeout_fails = true; }},
        {"send fails",
         [](fake::State& s) {
             s.send_limits = {20, -1};
         }},
        {"send takes nothing", [](fake::State& s) { s.send_limits = {0}; }},
        {"receive times out",
         [](fake::State& s) {
             s.receives = {{"HTTP/1.1 200 OK\r\n\r\n{}"}, {"", 10060}};
         }},
        {"connection reset",
         [](fake::State& s) {
             s.receives = {{"HTTP/1.1 200 OK\r\n\r\n{"}, {"", 10054}};
         }},
        {"closed without a byte", [](fake::State&) {}},
    };
    for (const auto& c : cases) {
        SetUp();
        c.arrange(fake::state());
        EXPECT_EQ(http_request("GET", "/api/features", std::nullopt), std::nullopt) << c.what;
        EXPECT_EQ(fake::state().sockets_closed, fake::state().sockets_opened) << c.what;
    }
}

TEST_F(HttpExchange, AShutdownForReceivingEndsTheDataLikeAClose) {
    answer({{"HTTP/1.1 200 OK\r\n\r\n{}"}, {"", platform::kWsaeShutdown}});
    EXPECT_EQ(http_request("GET", "/api/features", std::nullopt), "{}");
}

// The library's start is remembered for the life of the process, so this runs
// in a freshly executed child ("threadsafe" style re-runs the binary).
TEST_F(HttpExchange, AFailedSocketStartIsRetriedOnlyUntilItWorks) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto attempt = [] {
        auto& fake = fake::state();
        fake.sockets_start_fails = true;
        const bool failed = !http_request("GET", "/", std::nullopt) && fake.sockets_opened == 0 &&
                            fake.socket_starts == 1;
        fake.sockets_start_fails = false;
        answer({{"HTTP/1.1 200 OK\r\n\r\nok"}});
        const bool retried =
            http_request("GET", "/", std::nullopt) == "ok" && fake.socket_starts == 2;
        http_request("GET", "/", std::nullopt);
        const bool kept = fake.socket_starts == 2;
        std::exit(failed && retried && kept ? 0 : 1);
    };
    EXPECT_EXIT(attempt(), ::testing::ExitedWithCode(0), "");
}

TEST_F(HttpExchange, ALargeBodyComesBackWhole) {
    const std::string big(5 * 1024 * 1024 + 17, 'x');
    answer({{"HTTP/1.1 200 OK\r\n\r\n" + big}});
    EXPECT_EQ(http_request("GET", "/", std::nullopt), big);
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
        {R"({"features":{"media":true},"media":false})", {true, false}},
        {R"({"media":true,"stream":true})", {false, false}},
        {R"({"features":[true,true]})", {false, false}},
        {R"([{"features":{"media":true}}])", {false, false}},
        {"", {false, false}},
        {"<html>Internal error</html>", {false, false}},
        {"\xEF\xBB\xBF{\"features\":{\"media\":true}}", {false, false}},
        {std::string("{\"features\":{\"media\":true}}\0junk", 32), {false, false}},
    };
    for (const auto& [body, state] : cases) {
        EXPECT_EQ(server_link::reduce_features(body), state) << body;
    }
}

class ServerApi : public HttpExchange {};

TEST_F(ServerApi, CallsSendTheirExactBodies) {
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { server_link::set_feature("media", true); },
         server_link::compose_request("POST", "/api/features", "{\"media\":true}")},
        {[] { server_link::set_feature("stream", false); },
         server_link::compose_request("POST", "/api/features", "{\"stream\":false}")},
        {[] { server_link::request_quit(); },
         server_link::compose_request("POST", "/api/quit", "{}")},
        {[] { server_link::fetch_features(); },
         server_link::compose_request("GET", "/api/features", std::nullopt)},
    };
    for (const auto& [call, request] : cases) {
        SetUp();
        call();
        EXPECT_EQ(fake::state().sent, request);
    }
    EXPECT_NE(cases[0].second.find("Content-Length: 14\r\n"), std::string::npos);
    EXPECT_NE(cases[1].second.find("Content-Length: 16\r\n"), std::string::npos);
}

TEST_F(ServerApi, FetchReadsTheServersAnswerAndAnUnreachableServerAsAllOff) {
    answer(
        {{"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n"
          R"({"features":{"media":true,"stream":true},"stream":{"running":true}})"}});
    EXPECT_EQ(server_link::fetch_features(), (server_link::FeatureState{true, true}));
    fake::state().connect_fails = true;
    EXPECT_EQ(server_link::fetch_features(), (server_link::FeatureState{false, false}));
}

}  // namespace
