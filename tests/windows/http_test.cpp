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
