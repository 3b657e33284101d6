#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "harness.h"
#include "server_link/http.h"
#include "server_link/runtime_file.h"
#include "server_link/server_api.h"

namespace {

using namespace std::chrono_literals;

// A one-connection server on a loopback port: it reads the request, then
// answers as scripted and closes, or holds the connection open.
class ScriptedServer {
  public:
    struct Script {
        std::string answer;
        bool hold_open = false;  // never answer, never close
    };

    explicit ScriptedServer(Script script) : script_(std::move(script)) {
        const auto listener = harness::listen_on_loopback(1);
        listener_ = listener.socket;
        port_ = listener.port;
        thread_ = std::thread([this] { serve(); });
    }

    ~ScriptedServer() {
        stop_ = true;
        closesocket(listener_);
        if (thread_.joinable())
            thread_.join();
    }

    std::uint16_t port() const { return port_; }
    // What the client sent, once the exchange is over.
    std::string request() {
        if (thread_.joinable())
            thread_.join();
        return request_;
    }

  private:
    void serve() {
        const SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        request_ = harness::read_http_request(client);
        if (script_.hold_open) {
            while (!stop_)
                std::this_thread::sleep_for(20ms);
        } else {
            harness::send_text(client, script_.answer);
            shutdown(client, SD_SEND);
        }
        closesocket(client);
    }

    Script script_;
    SOCKET listener_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_ = false;
    std::string request_;
    std::thread thread_;
};

class Http : public ::testing::Test {
  protected:
    void TearDown() override { server_link::ServerPort = 0; }
};

TEST_F(Http, ServerCallsSendTheirExactBytes) {
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[] { server_link::fetch_features(); },
         "GET /api/features HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
         "Content-Type: application/json\r\nContent-Length: 0\r\n\r\n"},
        {[] { server_link::set_feature("media", true); },
         "POST /api/features HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
         "Content-Type: application/json\r\nContent-Length: 14\r\n\r\n{\"media\":true}"},
        {[] { server_link::set_feature("stream", false); },
         "POST /api/features HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
         "Content-Type: application/json\r\nContent-Length: 16\r\n\r\n{\"stream\":false}"},
        {[] { server_link::request_quit(); },
         "POST /api/quit HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
         "Content-Type: application/json\r\nContent-Length: 2\r\n\r\n{}"},
    };
    for (const auto& [call, expected] : cases) {
        ScriptedServer server({.answer = "HTTP/1.1 200 OK\r\n\r\n{}"});
        server_link::ServerPort = server.port();
        call();
        EXPECT_EQ(server.request(), expected);
    }
}

TEST_F(Http, ResponsesAreSplitAtTheFirstEmptyLine) {
    const std::string big(32 * 1024 * 1024, 'b');
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n{}", "{}"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", ""},
        {"HTTP/1.1 200 OK\r\n", std::nullopt},
        {"", std::nullopt},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n",
         "2\r\n{}\r\n0\r\n\r\n"},
        {"HTTP/1.1 200 OK\r\nX-Name: \xE9t\xE9\r\n\r\n{}", std::nullopt},
        {"HTTP/1.1 200 OK\r\n\r\none\r\n\r\ntwo", "one\r\n\r\ntwo"},
        {"HTTP/1.1 200 OK\r\n\r\n" + big, big},
    };
    for (const auto& [answer, body] : cases) {
        ScriptedServer server({.answer = answer});
        server_link::ServerPort = server.port();
        const auto got = server_link::http_request("GET", "/api/features", std::nullopt);
        EXPECT_EQ(got.has_value(), body.has_value()) << answer.substr(0, 80);
        if (got && body) {
            EXPECT_EQ(got->size(), body->size());
            EXPECT_TRUE(*got == *body) << answer.substr(0, 80);
        }
    }
}

TEST_F(Http, ASilentServerIsGivenUpAfterAboutThreeSeconds) {
    ScriptedServer server({.answer = "", .hold_open = true});
    server_link::ServerPort = server.port();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(server_link::http_request("GET", "/api/features", std::nullopt), std::nullopt);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, 2500ms);
    EXPECT_LE(waited, 6s);
}

TEST_F(Http, ARefusedConnectionGivesNothingAtOnce) {
    // A port that was just free: listen, learn it, close.
    const auto probe = harness::listen_on_loopback(1);
    closesocket(probe.socket);

    server_link::ServerPort = probe.port;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(server_link::fetch_features(), server_link::FeatureState{});
    // Windows itself retries a refused loopback connect for about two seconds;
    // under Wine the refusal is immediate.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2500ms);
}

}  // namespace
