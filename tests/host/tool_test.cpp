// quorvel-host as a user runs it, against a plug-in that misbehaves on request
// (hostile_plugin.cpp): users' files survive every failure, the plug-in's faults come back as
// one line and an exit status of 1, and the command line behaves as documented.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/sound_file.h"

using namespace quorvel::host;

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status = -1;  // the exit status; 128 + the signal when a signal ended the tool
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every file in `dir` with its bytes, so that a run can be shown to have changed nothing.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        files[entry.path().filename().string()] = entry.is_regular_file() ? readFile(entry.path()) : "<folder>";
    }
    return files;
}

void writeAudio(const fs::path& path, std::int64_t frames, float level, int rate = 48000) {
    std::vector<float> samples(static_cast<std::size_t>(2 * frames));
    for (std::size_t k = 0; k < samples.size(); ++k) {
        samples[k] = level * static_cast<float>(static_cast<int>((k * 7919) % 2001) - 1000) / 1000.0F;
    }
    SoundFileWriter writer(path.string(), 2, rate, SampleEncoding::float32);
    writer.write(samples.data(), frames);
    writer.finish();
}

std::vector<float> readAudio(const fs::path& path) {
    SoundFileReader reader(path.string());
    std::vector<float> samples(static_cast<std::size_t>(reader.frames() * reader.channels()));
    reader.read(samples.data(), reader.frames());
    return samples;
}

class ToolTest : public testing::Test {
protected:
    void SetUp() override {
        const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        dir_ = fs::absolute(fs::temp_directory_path() / "quorvel-tool-test" / name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        tool_ = TOOL_FILE;
        fs::copy_file(HOSTILE_FILE, dir_ / "plug.so");
        writeAudio(dir_ / "in.wav", 4800, 0.5F);
        writeBytes(dir_ / "out.wav", "the user's earlier render, not to be lost");
    }

    // Runs the tool in the test's folder with QUORVEL_HOSTILE set to `hostile`.
    ToolRun run(const std::string& hostile, const std::string& arguments) const {
        return runShell(hostile, "'" + tool_ + "' " + arguments);
    }

    // Runs the shell command `line` in the test's folder with QUORVEL_HOSTILE set to `hostile`.
    ToolRun runShell(const std::string& hostile, const std::string& line) const {
        const std::string command = "cd '" + dir_.string() + "' && export QUORVEL_HOSTILE='" + hostile + "' && " +
                                    line + " >'" + (dir_ / "..").string() + "/" + name() + ".out' 2>'" +
                                    (dir_ / "..").string() + "/" + name() + ".err'";
        const int status = std::system(command.c_str());
        ToolRun result;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = readFile(dir_ / ".." / (name() + ".out"));
        result.err = readFile(dir_ / ".." / (name() + ".err"));
        return result;
    }

    std::string name() const { return dir_.filename().string(); }

    fs::path dir_;
    std::string tool_;
};

// The names of the files that differ between two snapshots: changed, added or removed.
std::string changedFiles(const std::map<std::string, std::string>& before,
                         const std::map<std::string, std::string>& after) {
    std::string names;
    for (const auto& [name, bytes] : after) {
        const auto earlier = before.find(name);
        if (earlier == before.end() || earlier->second != bytes) {
            names += " " + name;
        }
    }
    for (const auto& [name, bytes] : before) {
        if (after.count(name) == 0) {
            names += " -" + name;
        }
    }
    return names;
}

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

struct FailingRender {
    const char* hostile;
    const char* arguments;
    int status;
    const char* words;  // the error line must hold these
};

TEST_F(ToolTest, AFailedRenderLeavesEveryFileAsItWasAndNoTemporaryFile) {
    writeBytes(dir_ / "notes.txt", "notes");
    writeBytes(dir_ / "a.xi", "an instrument");
    writeBytes(dir_ / "picture.png", "an earlier picture");
    writeAudio(dir_ / "empty.wav", 0, 0.5F);
    fs::create_directory(dir_ / "x.wav");
    fs::create_symlink("in.wav", dir_ / "alias.wav");
    fs::create_hard_link(dir_ / "in.wav", dir_ / "hard.wav");
    fs::create_symlink("in.wav", dir_ / "shot.png");
    ASSERT_EQ(mkfifo((dir_ / "pipe.wav").c_str(), 0644), 0);
    const FailingRender cases[] = {
        {"crash@block:3", "-i in.wav -o out.wav --block 256", 1, "crashed (Segmentation fault) at block 3"},
        {"exit@block:2", "-i in.wav -o out.wav --plot picture.png", 1, "exit code 0 at block 2"},
        {"abort@request:12", "-i in.wav -o out.wav", 1, "at request 12"},
        {"hang@block:1", "-i in.wav -o out.wav --timeout 1", 1, "hung"},
        {"nan", "-i in.wav -o out.wav --strict", 1, "non-finite"},
        {"", "-i in.wav -o out.wav --set Nope=1", 2, "no parameter titled 'Nope'"},
        {"", "-i in.wav -o notes.txt", 1, "cannot tell an audio format"},
        {"", "-i in.wav -o a.xi", 1, ".xi"},
        {"", "-i in.wav -o x.wav", 1, "is a folder"},
        {"", "-i in.wav -o ./plug.so", 1, "is the plug-in"},
        {"", "-i in.wav -o in.wav", 1, "is the input"},
        {"", "-i in.wav -o alias.wav", 1, "is the input"},
        {"", "-i in.wav -o hard.wav", 1, "is the input"},
        {"", "-i in.wav -o new.wav --plot shot.png", 1, "is the input"},
        {"", "-i empty.wav -o out.wav --plot new.png", 1, "nothing to draw: the rendered audio has 0 frames"},
        {"", "-i in.wav -o out.wav --plot in.wav", 2, "picture format"},
        {"", "-i in.wav -o out.png --plot out.png", 1, "is the output"},
        {"", "-i in.wav -o /dev/null", 1, "not a regular file"},
        {"", "-i in.wav -o pipe.wav", 1, "not a regular file"},
    };
    const auto before = snapshot(dir_);
    for (const FailingRender& failing : cases) {
        SCOPED_TRACE(std::string(failing.hostile) + " render ./plug.so " + failing.arguments);
        const ToolRun result = run(failing.hostile, std::string("render ./plug.so ") + failing.arguments);
        EXPECT_EQ(result.status, failing.status) << result.err;
        EXPECT_NE(result.err.find(failing.words), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("quorvel-host render: "), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(changedFiles(before, snapshot(dir_)), "") << "a file changed, or a temporary file was left";
    }
    // The pipe is still the pipe, not a file renamed over it (the snapshot shows only that it
    // is no regular file).
    EXPECT_TRUE(fs::is_fifo(dir_ / "pipe.wav"));
}

TEST_F(ToolTest, AnInterruptedRenderLeavesTheTargetAsItWas) {
    const auto before = snapshot(dir_);
    const std::pair<int, const char*> signals[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
    for (const auto& [signal, name] : signals) {
        SCOPED_TRACE(name);
        // The plug-in hangs in its third block; the signal arrives while the tool waits for it.
        const ToolRun result =
            runShell("hang@block:2", "sh -c '(sleep 1; kill -" + std::to_string(signal) + " $$) & exec \"" + tool_ +
                                         "\" render ./plug.so -i in.wav -o out.wav --block 64'");
        // Ended by the tool itself, with its line and status 1: not killed by the signal.
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_EQ(result.err, std::string("quorvel-host render: interrupted by ") + name + "\n");
        EXPECT_EQ(changedFiles(before, snapshot(dir_)), "") << "a file changed, or a temporary file was left";
    }
}

TEST_F(ToolTest, EveryCommandReportsAMisbehavingPluginInOneLine) {
    struct Case {
        const char* hostile;
        const char* arguments;
        const char* words;
    };
    const Case cases[] = {
        {"crash@request:45", "info ./plug.so",
         "quorvel-host info: the plug-in crashed (Segmentation fault) at request 45"},
        {"exit@request:0", "info ./plug.so --json", "ended the process with exit code 0 at request 0"},
        {"abort@block:0", "bench ./plug.so --seconds 0.1",
         "quorvel-host bench: the plug-in crashed (Aborted) at block 0"},
        {"hang@block:0", "bench ./plug.so --timeout 1", "hung"},
        {"hang@request:10", "render ./plug.so -o new.wav --timeout 1", "at request 10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun result = run(c.hostile, c.arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(lineCount(result.err), 1) << result.err;
        EXPECT_NE(result.err.find(c.words), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(dir_ / "new.wav"));
    }
    // 4,000 bytes into info's 256-byte buffer land in its guard: measured and reported in one
    // warning line, the rest of the information still printed.
    const ToolRun giant = run("giant-name", "info ./plug.so");
    EXPECT_EQ(giant.status, 0) << giant.err;
    EXPECT_EQ(giant.err, "quorvel-host info: warning: effect name: wrote 3744 bytes past its 256-byte buffer\n");
    EXPECT_NE(giant.out.find("Vendor            Test Bench"), std::string::npos) << giant.out;
}

TEST_F(ToolTest, ThePluginsPrintingNeverReachesTheToolsOutput) {
    const ToolRun info = run("chatty", "info ./plug.so --json");
    ASSERT_EQ(info.status, 0) << info.err;
    const nlohmann::json report = nlohmann::json::parse(info.out, nullptr, false);
    ASSERT_FALSE(report.is_discarded()) << info.out;
    EXPECT_EQ(report["effectName"], "Hostile");
    EXPECT_NE(info.err.find("hostile: request"), std::string::npos);

    const ToolRun render = run("chatty", "render ./plug.so -i in.wav -o chatty.wav");
    ASSERT_EQ(render.status, 0) << render.err;
    EXPECT_EQ(render.out.find("hostile"), std::string::npos) << render.out;
    EXPECT_EQ(lineCount(render.out), 2) << render.out;

    const ToolRun table = run("control-name", "info ./plug.so");
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("Evil\\x1b[31mRed\\nName"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find('\x1b'), std::string::npos);
}

TEST_F(ToolTest, TheSummaryLineCountsClippedAndNonFiniteSamples) {
    const ToolRun loud = run("loud", "render ./plug.so -i in.wav -o loud.wav --encoding pcm16");
    ASSERT_EQ(loud.status, 0) << loud.err;
    EXPECT_NE(loud.out.find("16-bit integer"), std::string::npos) << loud.out;
    EXPECT_NE(loud.out.find("Output peak 2.000000"), std::string::npos) << loud.out;
    EXPECT_EQ(loud.out.find(" 0 clipped"), std::string::npos) << loud.out;
    EXPECT_NE(loud.err.find("clipped"), std::string::npos) << loud.err;

    const ToolRun floating = run("loud", "render ./plug.so -i in.wav -o loud-float.wav");
    EXPECT_NE(floating.out.find(", 0 clipped, 0 non-finite"), std::string::npos) << floating.out;

    const ToolRun nan = run("nan", "render ./plug.so -i in.wav -o nan.wav");
    EXPECT_EQ(nan.status, 0);
    EXPECT_NE(nan.out.find("9600 non-finite"), std::string::npos) << nan.out;
    EXPECT_NE(nan.err.find("warning"), std::string::npos) << nan.err;

    EXPECT_EQ(run("", "render ./plug.so -i in.wav -o x.flac --encoding double").status, 1);
}

TEST_F(ToolTest, ValidateProcessesInEveryPrecisionThePluginDeclares) {
    const std::string checks = "validate ./plug.so --only silence,rate-changes,suspend-resume";
    const ToolRun sound = run("", checks);
    ASSERT_EQ(sound.status, 0) << sound.out << sound.err;
    EXPECT_NE(sound.out.find("32-bit: 1 s of silence"), std::string::npos) << sound.out;
    EXPECT_NE(sound.out.find("64-bit: 1 s of silence"), std::string::npos) << sound.out;

    const ToolRun broken = run("nan64", checks + " --json");
    EXPECT_EQ(broken.status, 1) << broken.out << broken.err;
    const nlohmann::json report = nlohmann::json::parse(broken.out, nullptr, false);
    ASSERT_TRUE(report.contains("checks")) << broken.out;
    ASSERT_EQ(report["checks"].size(), 4U);  // load, then the three chosen
    for (const nlohmann::json& check : report["checks"]) {
        if (check["name"] == "load") {
            continue;
        }
        EXPECT_EQ(check["status"], "FAIL") << check;
        EXPECT_EQ(check["detail"].get<std::string>().rfind("64-bit: ", 0), 0U) << check;
    }
}

TEST_F(ToolTest, LatencyIsCompensatedTheTailRingsOutAndRepeatedRendersAreIdentical) {
    const ToolRun delayed = run("latency:100", "render ./plug.so -i in.wav -o delayed.wav --tail 0.5");
    ASSERT_EQ(delayed.status, 0) << delayed.err;
    const std::vector<float> input = readAudio(dir_ / "in.wav");
    const std::vector<float> output = readAudio(dir_ / "delayed.wav");
    ASSERT_EQ(output.size(), input.size() + 2 * 24000);
    EXPECT_TRUE(std::equal(input.begin(), input.end(), output.begin())) << "the output is not aligned";
    EXPECT_TRUE(std::all_of(output.begin() + static_cast<std::ptrdiff_t>(input.size()), output.end(),
                            [](float sample) { return sample == 0.0F; }));

    writeAudio(dir_ / "slow.wav", 5, 0.5F, 1);  // a 1 Hz file still gets a close-up to draw
    ASSERT_EQ(run("", "render ./plug.so -i slow.wav -o slow-out.wav --plot slow.svg").status, 0);
    EXPECT_NE(readFile(dir_ / "slow.svg").find("<svg"), std::string::npos);

    ASSERT_EQ(run("", "render ./plug.so -i in.wav -o again.wav --plot again.png").status, 0);
    const std::string first = readFile(dir_ / "again.wav");
    ASSERT_EQ(run("", "render ./plug.so -i in.wav -o again.wav").status, 0);
    EXPECT_EQ(readFile(dir_ / "again.wav"), first);
}

TEST_F(ToolTest, ATruncatedInputRendersWhatIsThereWithAWarning) {
    std::string bytes = readFile(dir_ / "in.wav");
    bytes.resize(bytes.size() - 8 * 1000);  // 1,000 stereo float frames fewer than the header says
    writeBytes(dir_ / "cut.wav", bytes);
    const ToolRun result = run("", "render ./plug.so -i cut.wav -o cut-out.wav");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readAudio(dir_ / "cut-out.wav").size(), 2U * 3800U);
    EXPECT_NE(result.err.find("3800"), std::string::npos) << result.err;
}

TEST_F(ToolTest, RampsMoveAtLeastEvery64FramesWhateverTheBlockSize) {
    const ToolRun result = run("chatty", "render ./plug.so -i in.wav -o ramp.wav --block 1048576 --ramp Gain=0:1");
    ASSERT_EQ(result.status, 0) << result.err;
    std::size_t blocks = 0;
    for (std::size_t at = 0; (at = result.err.find("hostile: block", at)) != std::string::npos; ++at) {
        ++blocks;
    }
    EXPECT_EQ(blocks, 4800U / 64U);
}

TEST_F(ToolTest, TheCommandLineAnswersUsageErrorsWith2AndNamesWhatIsWrong) {
    struct Case {
        const char* arguments;
        int status;
        const char* words;
    };
    const Case cases[] = {
        {"frobnicate ./plug.so", 2, "unknown command 'frobnicate'"},
        {"bench ./plug.so --rate nan", 2, "quorvel-host bench --help"},
        {"bench ./plug.so --seconds inf", 2, "not a finite number"},
        {"render ./plug.so -o x.wav --set Gain=1e40", 2, "out of range"},
        {"render ./plug.so -o x.wav --set Gain=1 --ramp gain=0:1", 2, "name the same parameter"},
        {"render ./plug.so -o x.wav --set 00001=1", 2, "index 00001"},
        {"render ./plug.so -o x.wav --plot x.gif", 2, "picture format"},
        {"info libm.so.6", 1, "cannot load the plug-in 'libm.so.6'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolRun result = run("", c.arguments);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(lineCount(result.err), 1) << result.err;
        EXPECT_NE(result.err.find(c.words), std::string::npos) << result.err;
    }
    const ToolRun version = run("", "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quorvel-host ", 0), 0U) << version.out;
    const ToolRun bare = run("", "info plug.so");  // a name without a folder is a file here
    EXPECT_EQ(bare.status, 0) << bare.err;
    EXPECT_EQ(run("", "render ./plug.so -o index.wav --set 000=0.5").status, 0);
}

}  // namespace
