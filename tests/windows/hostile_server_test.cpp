// The HTTP exchange against servers that misbehave: a slow drip, a reset in
// mid-body, a flood, and a thousand answers in a row.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "harness.h"
#include "server_link/http.h"
#include "server_link/runtime_file.h"
#include "server_link/server_api.h"

namespace {

using namespace harness;
using Clock = std::chrono::steady_clock;

// A loopback server that serves every connection with the same behaviour
// until it is destroyed.
class HostileServer {
  public:
    using Behaviour = std::function<void(SOCKET client, const std::atomic<bool>& stop)>;

    explicit HostileServer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
        const auto listener = listen_on_loopback(8);
        listener_ = listener.socket;
        port_ = listener.port;
        thread_ = std::thread([this] { serve(); });
    }

    ~HostileServer() {
        stop_ = true;
        closesocket(listener_);
        thread_.join();
        WSACleanup();
    }

    std::uint16_t port() const { return port_; }

  private:
    void serve() {
        for (;;) {
            const SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                return;
            read_http_request(client);
            behaviour_(client, stop_);
            closesocket(client);
        }
    }

    Behaviour behaviour_;
    SOCKET listener_;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

class HostileServers : public ::testing::Test {
  protected:
    void TearDown() override { server_link::ServerPort = 0; }

    // The exchange against the server, and how long it took.
    static std::pair<std::optional<std::string>, double> timed_get(const HostileServer& server) {
        server_link::ServerPort = server.port();
        const auto started = Clock::now();
        auto body = server_link::http_request("GET", "/api/features", std::nullopt);
        return {body, std::chrono::duration<double>(Clock::now() - started).count()};
    }
};

// One byte every 2 s is slower than the 3 s receive time-out would allow for
// the whole answer, but each wait is short of it: the exchange goes on while
// the bytes keep coming and ends 3 s after they stop.
TEST_F(HostileServers, ASlowDripHoldsTheExchangeOnlyWhileBytesKeepComing) {
    struct Case {
        const char* what;
        bool closes;  // else falls silent and keeps the connection open
        std::optional<std::string> body;
        double at_least_s;
        double at_most_s;
    };
    const Case cases[] = {
        {"drips four bytes and closes", true, "abcd", 8.0, 10.5},
        {"drips two bytes and falls silent", false, std::nullopt, 4.0 + 3.0 - 0.3, 4.0 + 3.0 + 2.0},
    };
    for (const auto& c : cases) {
        const std::string drip = c.closes ? "abcd" : "ab";
        HostileServer server([&](SOCKET client, const std::atomic<bool>& stop) {
            send_text(client, "HTTP/1.1 200 OK\r\n\r\n");
            for (char byte : drip) {
                Sleep(2000);
                send_text(client, std::string_view(&byte, 1));
            }
            if (!c.closes) {
                while (!stop)
                    Sleep(20);
            }
            shutdown(client, SD_SEND);
        });
        const auto [body, seconds] = timed_get(server);
        std::printf("slow drip, %s: %.1f s\n", c.what, seconds);
        EXPECT_EQ(body, c.body) << c.what;
        EXPECT_GE(seconds, c.at_least_s) << c.what;
        EXPECT_LE(seconds, c.at_most_s) << c.what;
    }
}

TEST_F(HostileServers, AResetInMidBodyGivesNothing) {
    HostileServer server([](SOCKET client, const std::atomic<bool>&) {
        send_text(client,
                  "HTTP/1.1 200 OK\r\nContent-Length: 60\r\n\r\n{\"features\":{\"media\":tr");
        Sleep(200);
        const linger abort_on_close{1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_on_close),
                   sizeof abort_on_close);
    });
    const auto [body, seconds] = timed_get(server);
    EXPECT_EQ(body, std::nullopt);
    EXPECT_EQ(server_link::fetch_features(), server_link::FeatureState{});
    EXPECT_LT(seconds, 3.0);
}

TEST_F(HostileServers, A64MiBBodyComesBackWhole) {
    const std::string body(64 * 1024 * 1024, 'x');
    HostileServer server([&](SOCKET client, const std::atomic<bool>&) {
        send_text(client, "HTTP/1.1 200 OK\r\n\r\n");
        send_text(client, body);
        shutdown(client, SD_SEND);
    });
    const auto [got, seconds] = timed_get(server);
    std::printf("64 MiB body: %.1f s\n", seconds);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->size(), body.size());
    EXPECT_TRUE(*got == body);
}

TEST_F(HostileServers, AThousandExchangesInARowLeakNothing) {
    const int exchanges = environment_number("PELLOX_EXCHANGES", 1000);
    HostileServer server([](SOCKET client, const std::atomic<bool>&) {
        send_text(client,
                  "HTTP/1.1 200 OK\r\n\r\n"
                  R"({"features":{"media":true,"stream":true},"stream":{"running":false}})");
        shutdown(client, SD_SEND);
    });
    server_link::ServerPort = server.port();
    const server_link::FeatureState expected{.media = true, .stream = false};
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(server_link::fetch_features(), expected);
    const DWORD before = handle_count(GetCurrentProcess());
    // A count that does not see a new handle would prove nothing below.
    const HANDLE extra = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(handle_count(GetCurrentProcess()), before + 1);
    CloseHandle(extra);
    const auto started = Clock::now();
    int right = 0;
    for (int i = 0; i < exchanges; ++i)
        right += server_link::fetch_features() == expected;
    const auto seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const DWORD after = handle_count(GetCurrentProcess());
    std::printf("%d exchanges in %.1f s; handles %lu -> %lu\n", exchanges, seconds, before, after);
    EXPECT_EQ(right, exchanges);
    EXPECT_GT(before, 0u);
    EXPECT_EQ(after, before);
}

}  // namespace
