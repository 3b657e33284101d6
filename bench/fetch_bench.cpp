// fetch_features through the tray's own code against the bare client, taking
// turns exchange by exchange so drift in the server or the machine hits both
// alike. Usage: fetch_bench PORT COUNT; prints the medians and maxima in µs
// (ours, then bare). Never shipped.
#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bare_client.h"
#include "server_link/server_address.h"
#include "server_link/server_api.h"

namespace {

using Clock = std::chrono::steady_clock;

double micros_since(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const auto port = static_cast<unsigned short>(std::atoi(argv[1]));
    const int count = std::atoi(argv[2]);
    server_link::ServerPort = port;
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 1;
    // The stand-in is told to share media; a failed exchange reads as both
    // off, so a mismatch means a failure was timed.
    const server_link::FeatureState expected{.media = true, .stream = false};
    std::vector<double> ours;
    std::vector<double> bare;
    for (int i = 0; i < count; ++i) {
        auto start = Clock::now();
        const auto features = server_link::fetch_features();
        ours.push_back(micros_since(start));
        start = Clock::now();
        const bool answered = bare_get_features(port);
        bare.push_back(micros_since(start));
        if (features != expected || !answered)
            return 1;
    }
    std::sort(ours.begin(), ours.end());
    std::sort(bare.begin(), bare.end());
    std::printf("%.1f %.1f %.1f %.1f\n", ours[ours.size() / 2], ours.back(), bare[bare.size() / 2],
                bare.back());
    return 0;
}
