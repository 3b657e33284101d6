#include <gtest/gtest.h>

#include "fake_platform.h"
#include "server_link/http.h"
#include "server_link/server_address.h"

namespace {

using server_link::http_request;

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
        std::optional<fake::Fault> failing;
        std::vector<int> sends;  // bytes each send takes
        std::vector<fake::Receive> receives;
        std::optional<std::string> body;
    };
    const Case cases[] = {
        {{}, {10, 1, 7}, {{"HTTP/1.1 200"}, {" OK\r\n\r\n{"}, {"}"}}, "{}"},
        {{}, {}, {{ok}, {"", true}}, std::nullopt},  // reset, or the time-out
        {{}, {}, {}, std::nullopt},                  // closed without a byte
        {{}, {20, -1}, {{ok}}, std::nullopt},
        {{}, {0}, {{ok}}, std::nullopt},
        {fake::Fault::Connect, {}, {{ok}}, std::nullopt},
        {fake::Fault::Timeout, {}, {{ok}}, std::nullopt},
        {fake::Fault::Socket, {}, {{ok}}, std::nullopt},
    };
    for (const auto& c : cases) {
        fake::reset();
        auto& fake = fake::state();
        if (c.failing)
            fake.failing = {*c.failing};
        fake.send_limits = c.sends;
        fake.receives = c.receives;
        server_link::ServerPort = 8080;
        const auto body = http_request("GET", "/api/features", std::nullopt);
        EXPECT_EQ(body, c.body) << "row " << (&c - cases);
        if (body) {
            EXPECT_EQ(fake.requests, std::vector<std::string>{server_link::compose_request(
                                         "GET", "/api/features", std::nullopt)});
        }
        EXPECT_EQ(fake::calls({"close_socket"}).size(), c.failing == fake::Fault::Socket ? 0u : 1u);
    }
}

}  // namespace
