// Times whole native messaging round trips (start, one frame in, one frame out, exit) of the
// zevirudi binary and of bench/frame_floor.c, interleaved run by run so that both see the same
// machine load, and prints the medians and their ratio.
//
//   host_roundtrip_bench [runs] [request JSON] [another zevirudi binary]
//
// A second binary (another build of the host, say before and after a change) is timed in the same
// interleaved run, beside the first.
//
// With ZEVIRUDI_BENCH_PRELOAD set, the host (only) is started with that LD_PRELOAD list: a way to
// see what loading more shared libraries at start would cost.
#include "helpers/NativeFrames.h"
#include "helpers/Process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double roundTripMicroseconds(const std::string& program, const std::string& frame,
                             const char* preload = nullptr) {
    if (preload) {
        ::setenv("LD_PRELOAD", preload, 1);
    } else {
        ::unsetenv("LD_PRELOAD");
    }
    const auto start = Clock::now();
    loftwing::test::Process child({program, "chrome-extension://abcdefghijklmnopabcdefghijklmnop/"},
                                  {.pipeInput = true, .pipeOutput = true, .pipeError = true});
    child.write(frame);
    child.closeInput();
    const auto answer = child.readToEnd(10s);
    child.wait(10s);
    const auto elapsed = Clock::now() - start;
    if (answer.size() < 4) {
        std::fprintf(stderr, "%s wrote no frame\n", program.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double, std::micro>(elapsed).count();
}

double percentile(std::vector<double> samples, double fraction) {
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1));
    return samples[index];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    const std::string request = argc > 2 ? argv[2] : R"({"type":"status"})";
    const auto binDir = std::filesystem::canonical("/proc/self/exe").parent_path();
    const std::string host = binDir / "zevirudi";
    const std::string floorProgram = binDir / "frame_floor";
    const auto frame = loftwing::test::frameOf(request);
    const std::string other = argc > 3 ? argv[3] : "";
    const char* preload = std::getenv("ZEVIRUDI_BENCH_PRELOAD");

    for (int i = 0; i < 10; ++i) {  // warm the page cache and the dynamic loader's caches
        roundTripMicroseconds(host, frame, preload);
        roundTripMicroseconds(floorProgram, frame);
        if (!other.empty()) {
            roundTripMicroseconds(other, frame, preload);
        }
    }
    std::vector<double> hostTimes, floorTimes, otherTimes;
    for (int i = 0; i < runs; ++i) {
        // Alternate which goes first so neither always runs right after the other.
        if (i % 2) {
            hostTimes.push_back(roundTripMicroseconds(host, frame, preload));
            floorTimes.push_back(roundTripMicroseconds(floorProgram, frame));
        } else {
            floorTimes.push_back(roundTripMicroseconds(floorProgram, frame));
            hostTimes.push_back(roundTripMicroseconds(host, frame, preload));
        }
        if (!other.empty()) {
            otherTimes.push_back(roundTripMicroseconds(other, frame, preload));
        }
    }
    const double hostMedian = percentile(hostTimes, 0.5);
    const double floorMedian = percentile(floorTimes, 0.5);
    std::printf("runs: %d, request: %s%s%s\n", runs, request.c_str(),
                preload ? ", host preloads: " : "", preload ? preload : "");
    std::printf("%-12s median %8.0f us   p10 %8.0f us   p90 %8.0f us\n", "zevirudi", hostMedian,
                percentile(hostTimes, 0.1), percentile(hostTimes, 0.9));
    std::printf("%-12s median %8.0f us   p10 %8.0f us   p90 %8.0f us\n", "frame_floor", floorMedian,
                percentile(floorTimes, 0.1), percentile(floorTimes, 0.9));
    std::printf("ratio (median zevirudi / median floor): %.2f\n", hostMedian / floorMedian);
    if (!other.empty()) {
        const double otherMedian = percentile(otherTimes, 0.5);
        std::printf("%s: median %8.0f us   p10 %8.0f us   p90 %8.0f us   ratio to floor %.2f\n",
                    other.c_str(), otherMedian, percentile(otherTimes, 0.1),
                    percentile(otherTimes, 0.9), otherMedian / floorMedian);
    }
    return 0;
}
