// quorvel-host against a plug-in that misbehaves where the tool cannot see it coming (in its
// library's initialiser or finaliser, by throwing, by being slow) and against a user who
// interrupts it: each is blamed on the right party, in one line, with exit status 1, and
// every file stays as it was.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/audio/sound_file.h"
#include "host/supervision/isolation.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// Every file in `dir` with its bytes.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        files[entry.path().filename().string()] = readFile(entry.path());
    }
    return files;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

struct ToolRun {
    int status = -1;  // the exit status; 128 + the signal when a signal ended the tool
    std::string out;
    std::string err;
};

// The parent process id of `pid` and its state letter, from /proc; 0 and 'X' once it is gone.
std::pair<pid_t, char> processState(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return {0, 'X'};
    }
    std::istringstream rest(text.substr(close + 2));
    char state = 'X';
    pid_t parent = 0;
    rest >> state >> parent;
    return {parent, state};
}

// The first child process of `parent`, or 0 when it has none (yet).
pid_t childOf(pid_t parent) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") == std::string::npos) {
            const pid_t pid = static_cast<pid_t>(std::stol(name));
            if (processState(pid).first == parent) {
                return pid;
            }
        }
    }
    return 0;
}

class PluginFaultBlameTest : public testing::Test {
protected:
    void SetUp() override {
        const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        dir_ = fs::absolute(fs::temp_directory_path() / "quorvel-fault-blame-test" / name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::copy_file(HOSTILE_FILE, dir_ / "plug.so");
        std::vector<float> samples(2 * 4800, 0.25F);
        std::ofstream{dir_ / "in.wav"};  // the writer fills an existing file only
        quorvel::host::SoundFileWriter writer((dir_ / "in.wav").string(), 2, 48000,
                                              quorvel::host::SampleEncoding::float32);
        writer.write(samples.data(), 4800);
        writer.finish();
        std::ofstream(dir_ / "out.wav", std::ios::binary) << "the user's earlier render, not to be lost";
    }

    // Starts the tool in the test's folder, in a process group of its own, with QUORVEL_HOSTILE
    // set to `hostile`, its output going to files beside the folder; with `fileLimit`, it may
    // open no descriptor numbered that or above (its standard streams alone are open).
    pid_t start(const std::string& hostile, const std::vector<std::string>& arguments, int fileLimit = 0) const {
        std::vector<std::string> words = {TOOL_FILE};
        words.insert(words.end(), arguments.begin(), arguments.end());
        const std::string out = (dir_.parent_path() / (dir_.filename().string() + ".out")).string();
        const std::string err = (dir_.parent_path() / (dir_.filename().string() + ".err")).string();
        const pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            if (chdir(dir_.c_str()) != 0 || std::freopen(out.c_str(), "w", stdout) == nullptr ||
                std::freopen(err.c_str(), "w", stderr) == nullptr) {
                _exit(127);
            }
            setenv("QUORVEL_HOSTILE", hostile.c_str(), 1);
            if (fileLimit > 0) {
                for (int descriptor = 3; descriptor < 1024; ++descriptor) {
                    close(descriptor);
                }
                const rlimit limit{static_cast<rlim_t>(fileLimit), static_cast<rlim_t>(fileLimit)};
                setrlimit(RLIMIT_NOFILE, &limit);
#if defined(__SANITIZE_ADDRESS__)
                // The leak checker's tracer at the end needs descriptors this run withholds.
                setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
#endif
            }
            std::vector<char*> argv;
            for (std::string& word : words) {
                argv.push_back(word.data());
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        setpgid(pid, pid);
        return pid;
    }

    ToolRun finish(pid_t pid) const {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        ToolRun result;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = readFile(dir_.parent_path() / (dir_.filename().string() + ".out"));
        result.err = readFile(dir_.parent_path() / (dir_.filename().string() + ".err"));
        return result;
    }

    ToolRun run(const std::string& hostile, const std::vector<std::string>& arguments, int fileLimit = 0) const {
        return finish(start(hostile, arguments, fileLimit));
    }

    fs::path dir_;
};

TEST_F(PluginFaultBlameTest, FaultsInTheLibrarysInitialiserAndFinaliserAreThePluginsAndFailTheRun) {
    const auto before = snapshot(dir_);
    for (const std::string misdeed : {"crash", "exit3", "abort", "hang"}) {
        for (const std::string when : {"load", "unload"}) {
            const std::string hostile = misdeed + "@" + when;
            const std::string where = when == "load" ? "the library's initialisers" : "the library's finalisers";
            SCOPED_TRACE(hostile);
            const ToolRun render =
                run(hostile, {"render", "./plug.so", "-i", "in.wav", "-o", "out.wav", "--timeout", "1"});
            EXPECT_EQ(render.status, 1) << render.err;
            EXPECT_EQ(lineCount(render.err), 1) << render.err;
            EXPECT_TRUE(contains(render.err, "quorvel-host render: the plug-in ")) << render.err;
            EXPECT_TRUE(contains(render.err, " at " + where)) << render.err;
            EXPECT_EQ(snapshot(dir_), before) << "a file changed, or a temporary file was left";

            // validate: the load check fails, whatever the library does to its process, and the
            // exit status and the one JSON report say so.
            const ToolRun validate = run(hostile, {"validate", "--json", "--timeout", "1", "--seed", "3", "./plug.so"});
            EXPECT_EQ(validate.status, 1) << validate.err;
            const nlohmann::json report = nlohmann::json::parse(validate.out, nullptr, false);
            ASSERT_FALSE(report.is_discarded()) << validate.out;
            EXPECT_EQ(report["verdict"], "INVALID");
            EXPECT_EQ(report["checks"][0]["name"], "load");
            EXPECT_EQ(report["checks"][0]["status"], "FAIL");
            EXPECT_TRUE(contains(report["checks"][0]["detail"].get<std::string>(), " at " + where))
                << report["checks"][0]["detail"];
            EXPECT_EQ(report["checks"][1]["status"], "skip");
        }
    }
}

TEST_F(PluginFaultBlameTest, SlowButSteadyCallsAreNoHangAndTheTimeoutIsPerCall) {
    // 64 blocks of 50 ms between two looks at the clock: over 3 s, but no call takes 1 s.
    const ToolRun bench = run("slow:50", {"bench", "./plug.so", "--seconds", "0.1", "--timeout", "1"});
    EXPECT_EQ(bench.status, 0) << bench.err;
    // One block of 4800 frames, ramped in 75 calls of 20 ms: 1.5 s in a block, 20 ms a call.
    const ToolRun render = run("slow:20", {"render", "./plug.so", "-i", "in.wav", "-o", "slow.wav", "--block", "65536",
                                           "--ramp", "Gain=0:1", "--timeout", "0.5"});
    EXPECT_EQ(render.status, 0) << render.err;
    EXPECT_TRUE(fs::exists(dir_ / "slow.wav"));
    // A call that does not return within the timeout still is a hang.
    const ToolRun hung = run("slow:3000", {"render", "./plug.so", "-i", "in.wav", "-o", "out.wav", "--timeout", "0.5"});
    EXPECT_EQ(hung.status, 1);
    EXPECT_TRUE(contains(hung.err, "the plug-in hung: no answer within 0.5 s at block 0")) << hung.err;
    // A limit shorter than the supervisor's usual look at the clock is still kept: 20 ms
    // calls against 5 ms.
    const ToolRun brief =
        run("slow:20", {"render", "./plug.so", "-i", "in.wav", "-o", "out.wav", "--timeout", "0.005"});
    EXPECT_EQ(brief.status, 1);
    EXPECT_TRUE(contains(brief.err, "the plug-in hung: no answer within 0.005 s at block ")) << brief.err;
}

// validate times each plug-in call as the other commands do, never a check as a whole: a
// check of slow but steady calls passes however long it takes, and a call that does not
// return is a hang wherever the check makes it, the entry point and direct record calls too.
TEST_F(PluginFaultBlameTest, ValidateTimesEachPluginCallNotEachCheck) {
    // Open/close cycles for 1.5 s, every request taking 100 ms: each call in time, the check 3
    // times the limit.
    const ToolRun slow = run("slowrequest:100", {"validate", "--json", "--only", "open-close", "--timeout", "0.5",
                                                 "--seed", "3", "./plug.so"});
    EXPECT_EQ(slow.status, 0) << slow.out << slow.err;
    const nlohmann::json report = nlohmann::json::parse(slow.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << slow.out;
    EXPECT_EQ(report["verdict"], "VALID");
    ASSERT_EQ(report["checks"].size(), 2U);
    EXPECT_EQ(report["checks"][1]["status"], "pass") << report["checks"][1];
    EXPECT_GT(report["checks"][1]["seconds"].get<double>(), 1.0);

    // The record check closes the effect through the record itself. A hang there is the
    // record check's finding, and the other checks still run.
    const ToolRun hung = run(
        "hang@request:1", {"validate", "--only", "record,open-close", "--timeout", "0.5", "--seed", "3", "./plug.so"});
    EXPECT_EQ(hung.status, 1) << hung.err;
    EXPECT_TRUE(contains(hung.out, "hung: no answer within 0.5 s at request 1")) << hung.out;
    EXPECT_FALSE(contains(hung.out, "no usable record")) << hung.out;
    EXPECT_TRUE(contains(hung.out, "INVALID")) << hung.out;

    // A process call that never returns while another thread goes on writing parameters.
    const ToolRun stuck =
        run("hang@block:5", {"validate", "--only", "threaded-params", "--timeout", "0.5", "--seed", "3", "./plug.so"});
    EXPECT_EQ(stuck.status, 1) << stuck.err;
    EXPECT_TRUE(contains(stuck.out, "hung: no answer within 0.5 s at block 5 with writes from another thread"))
        << stuck.out;
}

// The tool's own failure to start its supervised process (here no descriptor is left for
// its pipes) is the tool's error: one line with the system's reason, exit status 1, no
// verdict on a plug-in whose code never ran, and every file as it was.
TEST_F(PluginFaultBlameTest, TheToolFailingToStartItsSupervisedProcessBlamesNoPlugin) {
    if (!quorvel::host::isolationSurvivesCrashes()) {
        GTEST_SKIP() << "this build runs the work in the tool's own process";
    }
#if defined(__SANITIZE_ADDRESS__)
    // The undefined-behaviour sanitizer tests whether memory can be read by writing it into a
    // pipe of its own when it checks an object's type; without descriptors it takes every
    // object for a bad one.
    GTEST_SKIP() << "the sanitizers need the descriptors this test withholds";
#endif
    const auto before = snapshot(dir_);
    // 4: one descriptor beside the standard streams, for the loader, none for a pair of
    // pipes; 5 and 6: one pipe, not the second that validate's capture needs.
    for (const int limit : {4, 5, 6}) {
        SCOPED_TRACE(limit);
        const ToolRun validate = run("", {"validate", "--json", "--seed", "3", "./plug.so"}, limit);
        EXPECT_EQ(validate.status, 1) << validate.err;
        EXPECT_EQ(validate.err,
                  "quorvel-host validate: the tool could not start its supervised process: cannot create a pipe: "
                  "Too many open files\n");
        const nlohmann::json report = nlohmann::json::parse(validate.out, nullptr, false);
        ASSERT_FALSE(report.is_discarded()) << validate.out;
        EXPECT_TRUE(report["verdict"].is_null()) << report["verdict"];
        EXPECT_EQ(report["passed"], false);
        EXPECT_TRUE(contains(report["hostError"].get<std::string>(), "could not start its supervised process"));
        EXPECT_FALSE(contains(validate.out, "VALID")) << validate.out;

        const ToolRun table = run("", {"validate", "--seed", "3", "./plug.so"}, limit);
        EXPECT_EQ(table.status, 1) << table.err;
        EXPECT_EQ(lineCount(table.err), 1) << table.err;
        EXPECT_FALSE(contains(table.out, "VALID")) << table.out;
        EXPECT_FALSE(contains(table.out, "FAIL")) << table.out;

        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"render", "./plug.so", "-i", "in.wav", "-o", "out.wav"},
              std::vector<std::string>{"info", "./plug.so"},
              std::vector<std::string>{"bench", "./plug.so", "--seconds", "0.1"}}) {
            SCOPED_TRACE(command.front());
            const ToolRun other = run("", command, limit);
            if (other.status == 0) {
                // One pipe is all render, info and bench need: a finished render is the user's.
                std::ofstream(dir_ / "out.wav", std::ios::binary) << "the user's earlier render, not to be lost";
                continue;
            }
            EXPECT_EQ(other.status, 1) << other.err;
            EXPECT_EQ(lineCount(other.err), 1) << other.err;
            EXPECT_EQ(other.err.rfind("quorvel-host " + command.front() + ": ", 0), 0U) << other.err;
            EXPECT_FALSE(contains(other.err, ": the plug-in ")) << other.err;
            EXPECT_TRUE(snapshot(dir_) == before) << "a file changed, or a temporary file was left";
        }
    }
    // At 4 every command fails to start its process, and says so.
    const ToolRun render = run("", {"render", "./plug.so", "-i", "in.wav", "-o", "out.wav"}, 4);
    EXPECT_EQ(render.err,
              "quorvel-host render: the tool could not start its supervised process: cannot create a pipe: Too many "
              "open files\n");
    EXPECT_TRUE(snapshot(dir_) == before) << "a file changed, or a temporary file was left";
}

// Waiting for input is the tool's own time: an input pipe whose writer pauses mid-stream for
// longer than the timeout is no hang of the plug-in.
TEST_F(PluginFaultBlameTest, WaitingForInputIsNeverAHangOfThePlugin) {
    const std::string bytes = readFile(dir_ / "in.wav");
    ASSERT_EQ(mkfifo((dir_ / "pipe.wav").c_str(), 0600), 0);
    std::thread writer([&] {
        std::ofstream pipe(dir_ / "pipe.wav", std::ios::binary);
        pipe.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
        pipe.flush();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        pipe.write(bytes.data() + bytes.size() / 2, static_cast<std::streamsize>(bytes.size() - bytes.size() / 2));
    });
    const ToolRun render =
        run("", {"render", "./plug.so", "-i", "pipe.wav", "-o", "piped.wav", "--block", "64", "--timeout", "0.5"});
    writer.join();
    EXPECT_EQ(render.status, 0) << render.err;
    EXPECT_TRUE(fs::exists(dir_ / "piped.wav"));
}

TEST_F(PluginFaultBlameTest, AnExceptionOfThePluginIsToldAsThePluginsOwn) {
    const auto before = snapshot(dir_);
    const ToolRun render = run("throw@block:3", {"render", "./plug.so", "-i", "in.wav", "-o", "out.wav"});
    EXPECT_EQ(render.status, 1);
    EXPECT_EQ(render.err,
              "quorvel-host render: the plug-in threw an exception: \"cannot write 'out.wav': No space left on "
              "device\" at block 3\n");
    EXPECT_EQ(snapshot(dir_), before);
    const ToolRun info = run("throw@request:45", {"info", "./plug.so"});
    EXPECT_EQ(info.status, 1);
    EXPECT_TRUE(contains(info.err, "quorvel-host info: the plug-in threw an exception: \"cannot write")) << info.err;
    EXPECT_TRUE(contains(info.err, "at request 45")) << info.err;
}

// Ctrl-C at a terminal: SIGINT to the tool's whole process group, the plug-in's process
// included. The tool tells an interruption, never a crash of the plug-in or a failed check.
TEST_F(PluginFaultBlameTest, CtrlCToTheProcessGroupIsAnInterruptionNeverAFault) {
    const auto before = snapshot(dir_);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        // The plug-in is slow, so the signal falls in a call or between two, as it happens.
        const pid_t render = start("slow:5", {"render", "./plug.so", "-i", "in.wav", "-o", "out.wav", "--block", "16"});
        std::this_thread::sleep_for(std::chrono::milliseconds(300 + 100 * round));
        kill(-render, SIGINT);
        const ToolRun rendered = finish(render);
        EXPECT_EQ(rendered.status, 1) << rendered.err;
        EXPECT_TRUE(contains(rendered.err, "interrupted by SIGINT")) << rendered.err;
        EXPECT_FALSE(contains(rendered.err, "crashed")) << rendered.err;
        EXPECT_EQ(snapshot(dir_), before);
    }

    const pid_t validate = start("hang@block:0", {"validate", "--json", "--timeout", "30", "--seed", "3", "./plug.so"});
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    kill(-validate, SIGINT);
    const ToolRun validated = finish(validate);
    EXPECT_EQ(validated.status, 1) << validated.err;
    const nlohmann::json report = nlohmann::json::parse(validated.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << validated.out;
    EXPECT_EQ(report["verdict"], "INTERRUPTED");
    EXPECT_EQ(report["interrupted"], "interrupted by SIGINT");
    for (const auto& check : report["checks"]) {
        EXPECT_NE(check["status"], "FAIL") << check;
    }
}

// The tool killed outright while the plug-in is stuck: the plug-in's process ends with it.
TEST_F(PluginFaultBlameTest, NoPluginProcessOutlivesTheTool) {
    const pid_t tool = start("hang@block:2", {"render", "./plug.so", "-i", "in.wav", "-o", "out.wav"});
    pid_t child = 0;
    for (int wait = 0; wait < 200 && child == 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        child = childOf(tool);
    }
    ASSERT_NE(child, 0) << "the tool started no supervised process";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(tool, SIGKILL);
    finish(tool);
    bool gone = false;
    for (int wait = 0; wait < 300 && !gone; ++wait) {
        const char state = processState(child).second;
        gone = state == 'X' || state == 'Z';
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << "process " << child << " outlived the tool";
    if (!gone) {
        kill(child, SIGKILL);
    }
}

}  // namespace
