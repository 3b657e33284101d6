#include <gtest/gtest.h>

#include "fake_platform.h"
#include "server_link/http.h"
#include "server_link/server_address.h"
#include "server_link/server_api.h"

namespace {

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
        {[] { server_link::http_request("POST", "/x", "caf\xC3\xA9"); },
         "POST /x" + kHead + "5\r\n\r\ncaf\xC3\xA9"},
    };
    for (const auto& [call, bytes] : cases) {
        fake::reset();
        server_link::ServerPort = 8080;
        call();
        EXPECT_EQ(fake::state().requests, std::vector<std::string>{bytes});
    }
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
