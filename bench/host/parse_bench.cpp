// The parsing the tray does per exchange and at start-up, timed on the host
// (Google Benchmark). Built only by scripts/bench.
#include <benchmark/benchmark.h>

#include <string>

#include "server_link/http.h"
#include "server_link/runtime_file.h"
#include "server_link/server_api.h"

namespace {

const std::string kRuntime = R"({"port": 51234, "pid": 4711, "version": "1.0.0"})";
const std::string kFeatures =
    R"({"features":{"media":true,"stream":true},"stream":{"running":true,"clients":2}})";
const std::string kResponse =
    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 78\r\n"
    "Connection: close\r\n\r\n" +
    kFeatures;

void parse_runtime_port(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(server_link::parse_runtime_port(kRuntime));
    }
}
BENCHMARK(parse_runtime_port);

void reduce_features(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(server_link::reduce_features(kFeatures));
    }
}
BENCHMARK(reduce_features);

void response_body(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(server_link::response_body(kResponse));
    }
}
BENCHMARK(response_body);

// The whole answer to the menu's GET: body out of the response, then the state.
void features_from_response(benchmark::State& state) {
    for (auto _ : state) {
        const auto body = server_link::response_body(kResponse);
        benchmark::DoNotOptimize(server_link::reduce_features(*body));
    }
}
BENCHMARK(features_from_response);

void compose_request(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(server_link::compose_request("GET", "/api/features", {}));
    }
}
BENCHMARK(compose_request);

}  // namespace

BENCHMARK_MAIN();
