// Drives the built zevirudi executable over pipes, as Chrome starts it.
#include "helpers/NativeFrames.h"
#include "helpers/Process.h"
#include "records/NativeMessageCodec.h"
#include "records/NativeMessages.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using loftwing::test::frameOf;
using loftwing::test::lengthPrefix;
using loftwing::test::Process;

const std::string origin = "chrome-extension://abcdefghijklmnopabcdefghijklmnop/";
constexpr auto patience = 20s;

std::unique_ptr<Process> startHost(const std::vector<std::string>& arguments = {origin}) {
    std::vector<std::string> argv{loftwing::test::builtProgram("zevirudi")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return std::make_unique<Process>(
        argv, Process::Options{.pipeInput = true, .pipeOutput = true, .pipeError = true});
}

// 128 + the signal number when a signal ended the host.
void expectCleanExit(Process& host) {
    EXPECT_EQ(host.wait(patience), 0);
}

// The one frame of a refusal with `error`.
std::string refusal(const std::string& error) {
    return loftwing::NativeMessageCodec::encode(
        loftwing::NativeHostResponse{false, {}, {}, {}, {}, error});
}

TEST(NativeHostBinary, FaultyFramesGetOneErrorResponseAndNoInputNone) {
    struct Row {
        const char* name;
        std::string input;
        std::optional<std::string> error;  // nothing: no output at all
    };
    const std::vector<Row> rows{
        {"empty input", "", std::nullopt},
        {"two bytes, then end of input", std::string("\x10\x00", 2),
         "The stored data is not valid."},
        {"2,000,000 announced and sent", lengthPrefix(2'000'000) + std::string(2'000'000, ' '),
         "The stored data is not valid."},
        {"not JSON", frameOf("status"), "Zevirudi stopped."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto host = startHost();
        EXPECT_TRUE(row.input.empty() || host->write(row.input));
        host->closeInput();
        const auto output = host->readToEnd(patience);
        if (row.error) {
            EXPECT_EQ(output, refusal(*row.error));
        } else {
            EXPECT_EQ(output, "");
        }
        expectCleanExit(*host);
    }
}

TEST(NativeHostBinary, OversizedLengthIsAnsweredAtOnceWithInputStillOpen) {
    auto host = startHost();
    ASSERT_TRUE(host->write(lengthPrefix(100'000'000)));
    // Standard input stays open: the answer must come from the length alone.
    const auto output = host->readToEnd(patience);
    EXPECT_EQ(output, refusal("The local response is too large."));
    expectCleanExit(*host);
}

TEST(NativeHostBinary, OtherCommandLinesStartTheDesktopRole) {
    const std::vector<std::vector<std::string>> commandLines{
        {},
        {"Chrome-extension://abcdefghijklmnopabcdefghijklmnop/"},
        {"https://example.com"},
        {"zevirudi", origin},
    };
    for (const auto& arguments : commandLines) {
        SCOPED_TRACE(arguments.empty() ? std::string("(none)") : arguments.front());
        auto host = startHost(arguments);
        // Input stays open and holds a request: the desktop role must not wait for it. The write
        // may find the process already gone.
        host->write(frameOf(R"({"type":"status"})"));
        expectCleanExit(*host);
        EXPECT_EQ(host->readToEnd(patience), "");
        EXPECT_NE(host->readErrorToEnd(patience), "");
    }
}

TEST(NativeHostBinary, AReaderThatLeavesEarlyCausesNoSignalDeath) {
    const std::vector<std::string> inputs{frameOf(R"({"type":"status"})"), std::string("\x01", 1)};
    for (const auto& input : inputs) {
        SCOPED_TRACE(testing::PrintToString(input));
        auto host = startHost();
        host->closeOutput();
        EXPECT_TRUE(host->write(input));
        host->closeInput();
        expectCleanExit(*host);
    }
}

}  // namespace
