// How supervised work ends: each way a plug-in can misbehave is told in one line with the
// place it happened, and what the plug-in prints never reaches the tool's own output.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "host/loader/plugin_call.h"
#include "host/supervision/interruption.h"
#include "host/supervision/isolation.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

using namespace quorvel::host;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

IsolatedOutcome supervise(const std::function<std::string()>& work, IsolationLimits limits = {},
                          PluginOutput output = PluginOutput::captured) {
    return runIsolated(work, "test", limits, output);
}

}  // namespace

TEST(SupervisionTest, AnswersAndCapturedOutputComeBack) {
    const IsolatedOutcome outcome = supervise([] {
        noteCheckProgress("request 45");
        std::printf("one\ntwo\n");
        std::fprintf(stderr, "three\n");
        return std::string("answer");
    });
    ASSERT_TRUE(outcome.completed) << outcome.failure;
    EXPECT_EQ(outcome.answer, "answer");
    EXPECT_EQ(outcome.pluginOutputLines, 3U);
    EXPECT_TRUE(contains(outcome.pluginOutput, "one\ntwo\n")) << outcome.pluginOutput;
    EXPECT_TRUE(contains(outcome.pluginOutput, "three")) << outcome.pluginOutput;

    const IsolatedOutcome failed = supervise([]() -> std::string { throw std::runtime_error("no such file"); });
    EXPECT_FALSE(failed.completed);
    EXPECT_EQ(failed.failure, "the host failed: no such file");

    // Far more output than is kept: every line is still counted.
    const IsolatedOutcome chatty = supervise([] {
        for (int line = 0; line < 20000; ++line) {
            std::printf("line %d of a chatty plug-in\n", line);
        }
        return std::string();
    });
    ASSERT_TRUE(chatty.completed) << chatty.failure;
    EXPECT_EQ(chatty.pluginOutputLines, 20000U);
    EXPECT_EQ(chatty.pluginOutput.size(), maxCapturedOutput);
}

TEST(SupervisionTest, EveryWayOfEndingIsToldWithThePlace) {
    if (!isolationSurvivesCrashes()) {
        GTEST_SKIP() << "supervised work runs in the tool's own process on this platform";
    }
    const IsolatedOutcome crash = supervise([]() -> std::string {
        noteCheckProgress("request 45 (effect name)");
        std::raise(SIGSEGV);
        return {};
    });
    EXPECT_FALSE(crash.completed);
    EXPECT_TRUE(contains(crash.failure, "crashed (")) << crash.failure;
    EXPECT_TRUE(contains(crash.failure, " at request 45 (effect name)")) << crash.failure;
    EXPECT_EQ(crash.lastNote, "request 45 (effect name)");

    const IsolatedOutcome exited = supervise([]() -> std::string {
        noteCheckProgress("block 12");
        std::exit(0);
    });
    EXPECT_FALSE(exited.completed);
    EXPECT_EQ(exited.failure, "ended the process with exit code 0 at block 12");

    const IsolatedOutcome aborted = supervise([]() -> std::string { std::abort(); });
    EXPECT_TRUE(contains(aborted.failure, "crashed (Aborted)")) << aborted.failure;

    // A call that never returns: the call limit ends it, though the whole work has no limit.
    const IsolatedOutcome hung = supervise(
        [] {
            noteCheckProgress("block 3");
            const PluginCall call;
            std::this_thread::sleep_for(std::chrono::seconds(30));
            return std::string();
        },
        IsolationLimits{0, 0.3});
    EXPECT_EQ(hung.failure, "hung: no answer within 0.3 s at block 3");

    // Work that keeps making calls is only ended by the limit on the whole.
    const IsolatedOutcome slow = supervise(
        [] {
            for (int step = 0;; ++step) {
                noteCheckProgress("cycle " + std::to_string(step));
                const PluginCall call;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            return std::string();
        },
        IsolationLimits{0.5, 0.3});
    EXPECT_TRUE(contains(slow.failure, "timed out after 0.5 s at cycle ")) << slow.failure;

    // An exception that escapes a plug-in call is the plug-in's, quoted; the tool's own is not.
    const IsolatedOutcome threw = supervise([]() -> std::string {
        noteCheckProgress("block 5");
        callPlugin([] { throw std::runtime_error("cannot write 'out.wav': No space left on device"); });
        return {};
    });
    EXPECT_EQ(threw.failure, "threw an exception: \"cannot write 'out.wav': No space left on device\" at block 5");
    const IsolatedOutcome threwOther = supervise([]() -> std::string {
        callPlugin([] { throw 42; });
        return {};
    });
    EXPECT_EQ(threwOther.failure, "threw an exception: \"an exception that is no std::exception\"");
    EXPECT_FALSE(threwOther.toolFailed);

    // Memory or a thread the tool itself could not have is its own failure, never the
    // plug-in's; any other error of the tool is no shortage.
    const IsolatedOutcome noMemory = supervise([]() -> std::string { throw std::bad_alloc(); });
    EXPECT_TRUE(noMemory.toolFailed);
    EXPECT_EQ(noMemory.failure, "the tool ran short of resources: out of memory");
    const IsolatedOutcome noThread = supervise([]() -> std::string {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    EXPECT_TRUE(noThread.toolFailed);
    EXPECT_TRUE(contains(noThread.failure, "the tool ran short of resources: cannot start a thread: "))
        << noThread.failure;
    const IsolatedOutcome ownError = supervise([]() -> std::string { throw std::runtime_error("no such file"); });
    EXPECT_FALSE(ownError.toolFailed);
    EXPECT_EQ(ownError.failure, "the host failed: no such file");
}

// Only a plug-in call that does not return is a hang: calls slower than nothing but steady,
// and the tool's own time between calls (waiting for input, drawing), never are.
TEST(SupervisionTest, OnlyACallThatDoesNotReturnIsAHang) {
    if (!isolationSurvivesCrashes()) {
        GTEST_SKIP() << "supervised work runs in the tool's own process on this platform";
    }
    const IsolatedOutcome steady = supervise(
        [] {
            for (int call = 0; call < 20; ++call) {
                const PluginCall marked;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            return std::string("done");
        },
        IsolationLimits{0, 0.3});
    EXPECT_TRUE(steady.completed) << steady.failure;

    const IsolatedOutcome toolsOwnTime = supervise(
        [] {
            { const PluginCall marked; }
            std::this_thread::sleep_for(std::chrono::milliseconds(900));
            { const PluginCall marked; }
            return std::string("done");
        },
        IsolationLimits{0, 0.3});
    EXPECT_TRUE(toolsOwnTime.completed) << toolsOwnTime.failure;
}

#if !defined(_WIN32)
// An interruption of the tool ends the supervised work at once and is reported as such. It
// runs in a process of its own, since the caught signal stays caught.
TEST(SupervisionDeathTest, AnInterruptionEndsTheWork) {
    if (!isolationSurvivesCrashes()) {
        GTEST_SKIP() << "supervised work runs in the tool's own process on this platform";
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            catchInterruptions();
            const pid_t tool = getpid();
            const IsolatedOutcome outcome = supervise([tool] {
                noteCheckProgress("block 7");
                kill(tool, SIGTERM);
                std::this_thread::sleep_for(std::chrono::seconds(30));
                return std::string();
            });
            const bool told = outcome.interruptedBy == SIGTERM && outcome.failure == "interrupted by SIGTERM";
            std::fprintf(stderr, "%s\n", outcome.failure.c_str());
            std::_Exit(told ? 3 : 4);
        },
        testing::ExitedWithCode(3), "interrupted by SIGTERM");
}
#endif
