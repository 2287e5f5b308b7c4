// quorvel-host as a user runs it, against a plug-in that misbehaves on request
// (hostile_plugin.cpp): users' files survive every failure, the plug-in's faults come back as
// one line and an exit status of 1, and the command line behaves as documented.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

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

#include "host/audio/sound_file.h"
#include "host/cli/atomic_output.h"
#include "host/loader/host_error.h"
#include "host/plot/waveform_plot.h"

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
    std::ofstream{path};  // the writer fills an existing file only
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
        {"", "-i in.wav -o notes.txt", 2, "cannot tell an audio format"},
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
    // Every signal that would end the tool, Ctrl-\ (SIGQUIT) included, is an interruption.
    const std::pair<int, const char*> signals[] = {
        {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}, {SIGQUIT, "SIGQUIT"}, {SIGUSR1, "SIGUSR1"}};
    for (const auto& [signal, name] : signals) {
        SCOPED_TRACE(name);
        // The plug-in hangs in its third block; the signal arrives while the tool waits for it,
        // once the tool has made its temporary file (and so is catching signals), on a slow
        // machine too.
        const std::string wait =
            "i=0; until ls -A | grep -q quorvel- || [ $i -gt 400 ]; do i=$((i+1)); sleep 0.05; done";
        const ToolRun result = runShell("hang@block:2", "sh -c '(" + wait + "; sleep 0.3; kill -" +
                                                            std::to_string(signal) + " $$) & exec \"" + tool_ +
                                                            "\" render ./plug.so -i in.wav -o out.wav --block 64'");
        // Ended by the tool itself, with its line and status 1: not killed by the signal.
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_EQ(result.err, std::string("quorvel-host render: interrupted by ") + name + "\n");
        EXPECT_EQ(changedFiles(before, snapshot(dir_)), "") << "a file changed, or a temporary file was left";
    }
}

// What a command prints is its result: a standard output that cannot take it fails the run,
// and a render whose summary cannot be delivered puts no output in place.
TEST_F(ToolTest, AStandardOutputThatCannotTakeTheResultFailsTheRunAndKeepsTheFiles) {
    const auto before = snapshot(dir_);
    const ToolRun info = runShell("", "('" + tool_ + "' info ./plug.so --json >/dev/full)");
    EXPECT_EQ(info.status, 1) << info.err;
    EXPECT_EQ(info.err.rfind("quorvel-host: cannot write the standard output: ", 0), 0U) << info.err;
    EXPECT_EQ(lineCount(info.err), 1) << info.err;
    const ToolRun render = runShell("", "('" + tool_ + "' render ./plug.so -i in.wav -o out.wav >/dev/full)");
    EXPECT_EQ(render.status, 1) << render.err;
    EXPECT_NE(render.err.find("cannot write the summary to the standard output: No space left on device; "
                              "'out.wav' was left as it was"),
              std::string::npos)
        << render.err;
    EXPECT_EQ(changedFiles(before, snapshot(dir_)), "") << "a file changed, or a temporary file was left";
}

// A file-size limit stops the tool's own write: told as such, never as a crash of the plug-in,
// and the earlier file kept.
TEST_F(ToolTest, AFileSizeLimitIsTheToolsOwnWriteErrorNeverAPluginCrash) {
    std::ofstream(dir_ / "limited.wav", std::ios::binary) << "the user's earlier render, not to be lost";
    const auto before = snapshot(dir_);
    const ToolRun result = runShell("", "(ulimit -f 20; exec '" + tool_ + "' render ./plug.so -o limited.wav)");
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(lineCount(result.err), 1) << result.err;
    EXPECT_NE(result.err.find("File too large"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("crashed"), std::string::npos) << result.err;
    EXPECT_EQ(changedFiles(before, snapshot(dir_)), "") << "a file changed, or a temporary file was left";
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

// The "Output peak" line's numbers, as printed.
struct Summary {
    double peak = -1;
    long long clipped = -1;
    long long nonFinite = -1;
};

Summary summaryOf(const std::string& out) {
    Summary summary;
    const std::size_t at = out.find("Output peak ");
    if (at != std::string::npos) {
        std::sscanf(out.c_str() + at, "Output peak %lf (%*[^)]), %lld clipped, %lld non-finite", &summary.peak,
                    &summary.clipped, &summary.nonFinite);
    }
    return summary;
}

TEST_F(ToolTest, TheSummaryLineTellsWhatTheFileHoldsForEveryEncodingAndSampleValue) {
    struct Case {
        const char* hostile;
        const char* encoding;
        long long clipped;  // samples the stored file could not hold as rendered
    };
    // 4,800 stereo frames; "loud" takes most of them beyond full scale, "nan" all of them.
    const Case cases[] = {
        {"loud", "pcm16", -1},  {"loud", "pcm24", -1},  {"loud", "float", 0}, {"loud", "double", 0},
        {"nan", "pcm16", 9600}, {"nan", "pcm24", 9600}, {"nan", "float", 0},  {"nan", "double", 0},
        {"", "pcm16", 0},       {"", "float", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.hostile) + " " + c.encoding);
        const ToolRun result =
            run(c.hostile, std::string("render ./plug.so -i in.wav -o sum.wav --encoding ") + c.encoding);
        ASSERT_EQ(result.status, 0) << result.err;
        const StoredAudio stored = measureSoundFile((dir_ / "sum.wav").string());
        const Summary summary = summaryOf(result.out);
        EXPECT_NEAR(summary.peak, stored.peak, 1e-6) << result.out;
        EXPECT_EQ(summary.nonFinite, stored.nonFinite) << result.out;
        const bool integer = c.encoding[0] == 'p';
        EXPECT_LE(stored.peak, integer ? 1.0 : 2.0) << "an integer file holds nothing beyond full scale";
        if (c.clipped >= 0) {
            EXPECT_EQ(summary.clipped, c.clipped) << result.out;
        } else {
            EXPECT_GT(summary.clipped, 4000) << result.out;
            EXPECT_NE(result.err.find("clipped"), std::string::npos) << result.err;
        }
        if (std::string(c.hostile) == "nan") {
            EXPECT_EQ(stored.nonFinite, integer ? 0 : 9600);
            if (integer) {
                EXPECT_EQ(stored.peak, 0.0) << "NaN is stored as silence, never as full scale";
            }
            EXPECT_NE(result.err.find("9600 non-finite"), std::string::npos) << result.err;
        }
    }
    EXPECT_EQ(run("", "render ./plug.so -i in.wav -o x.flac --encoding double").status, 1);
    // FLAC, an integer format, takes NaN as silence too instead of refusing the write.
    const ToolRun flac = run("nan", "render ./plug.so -i in.wav -o nan.flac");
    EXPECT_EQ(flac.status, 0) << flac.err;
    EXPECT_EQ(measureSoundFile((dir_ / "nan.flac").string()).peak, 0.0);
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
    // 100 frames at 1 Hz is beyond any effect's delay: not compensated, the render ends.
    const ToolRun huge = run("latency:100", "render ./plug.so -i slow.wav -o huge.wav");
    ASSERT_EQ(huge.status, 0) << huge.err;
    EXPECT_NE(huge.err.find("declares a latency of 100 frames, more than 60 s: not compensated"), std::string::npos)
        << huge.err;
    EXPECT_EQ(readAudio(dir_ / "huge.wav").size(), 10U);

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
        {"render ./plug.so -o x", 2, "cannot tell an audio format from the name 'x'"},
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
    ASSERT_EQ(run("", "render ./plug.so -o vorbis.ogg").status, 0);  // .ogg as well as .oga
    EXPECT_EQ(readFile(dir_ / "vorbis.ogg").rfind("OggS", 0), 0U);
}

}  // namespace

namespace {

bool runningAsRoot() {
    return geteuid() == 0;
}

// The names in `dir` of files the tool would leave behind: its temporary files.
std::string temporaryFilesIn(const fs::path& dir) {
    std::string names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.path().filename().string().find(".quorvel-") != std::string::npos) {
            names += " " + entry.path().string();
        }
    }
    return names;
}

TEST_F(ToolTest, APathNeverReachesGnuplotsScript) {
    writeBytes(dir_ / "thesis.txt", "a user's thesis");
    const auto before = snapshot(dir_);
    const char* names[] = {"a\nset output 'thesis.txt'\nplot 1\nx.png", "b\nset output \"thesis.txt\"\n.svg",
                           "-dash.pdf", "c\\'; set output 'thesis.txt' #.png"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        // The name reaches the tool unchanged, through a file the shell reads.
        writeBytes(dir_ / ".." / (this->name() + ".name"), std::string("./") + name);
        const ToolRun result =
            run("", "render ./plug.so -i in.wav -o out.wav --plot \"$(cat '../" + this->name() + ".name')\"");
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string extension = fs::path(name).extension().string();
        const PictureFormat format = pictureFormatFor(name);
        EXPECT_EQ(pictureFileProblem((dir_ / name).string(), format), "") << extension;
        EXPECT_EQ(readFile(dir_ / "thesis.txt"), "a user's thesis");
        EXPECT_NE(result.out.find("Plotted the waveforms"), std::string::npos);
        EXPECT_EQ(lineCount(result.out), 3) << "names are printed escaped, one line each: " << result.out;
        fs::remove(dir_ / name);
    }
    EXPECT_EQ(temporaryFilesIn(dir_), "");
    EXPECT_EQ(pictureProblem("\x89PNG\r\n\x1a\n cut", PictureFormat::png),
              "the PNG picture ends before its closing IEND chunk");
    EXPECT_NE(pictureProblem("<svg>", PictureFormat::svg), "");
    EXPECT_NE(pictureProblem("%PDF-1.5 no end", PictureFormat::pdf), "");
    EXPECT_EQ(pictureProblem("%PDF-1.5 ...\n%%EOF\n", PictureFormat::pdf), "");
    (void)before;
}

TEST_F(ToolTest, AFullDiskWhileWritingLeavesEveryTargetAsItWas) {
    const fs::path small = dir_ / "small";
    fs::create_directory(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=128k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    }
    writeBytes(small / "picture.png", "an earlier picture");
    writeBytes(small / "audio.wav", "an earlier render");
    {
        std::ofstream filler(small / "filler", std::ios::binary);
        const std::string block(4096, 'F');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {}
    }
    const auto before = snapshot(small);
    const auto outside = snapshot(dir_);
    for (const char* arguments :
         {"-o out.wav --plot small/picture.png", "-o small/audio.wav --plot new.png", "-o small/audio.wav"}) {
        SCOPED_TRACE(arguments);
        const ToolRun result = run("", std::string("render ./plug.so -i in.wav ") + arguments);
        EXPECT_EQ(result.status, 1) << result.out << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("No space left on device"), std::string::npos) << result.err;
        EXPECT_EQ(changedFiles(before, snapshot(small)), "");
        EXPECT_EQ(changedFiles(outside, snapshot(dir_)), "") << "the other output stays as it was too";
    }
    umount2(small.c_str(), MNT_DETACH);
}

TEST_F(ToolTest, APluginThatChangesTheWorkingFolderCannotMoveTheOutputs) {
    fs::create_directory(dir_ / "moved");
    const ToolRun result =
        run("chdir:" + (dir_ / "moved").string(), "render ./plug.so -i in.wav -o rel.wav --plot rel.svg");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readAudio(dir_ / "rel.wav").size(), 2U * 4800U);
    EXPECT_EQ(pictureFileProblem((dir_ / "rel.svg").string(), PictureFormat::svg), "");
    EXPECT_TRUE(fs::is_empty(dir_ / "moved")) << temporaryFilesIn(dir_ / "moved");
}

TEST_F(ToolTest, ReadOnlyAndOtherUsersFilesAreRefusedAndOwnersModesAndAttributesKept) {
    if (!runningAsRoot()) {
        GTEST_SKIP() << "needs root: files of another user, and the tool run as an ordinary user";
    }
    // As root: another user's private file keeps its owner, group, mode and attributes.
    writeBytes(dir_ / "theirs.wav", "their earlier render");
    ASSERT_EQ(chown((dir_ / "theirs.wav").c_str(), 4321, 4322), 0);
    fs::permissions(dir_ / "theirs.wav", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const bool attributes = setxattr((dir_ / "theirs.wav").c_str(), "trusted.quorvel-test", "kept", 4, 0) == 0;
    // The temporary file of a private target is private while the render runs.
    const ToolRun slow =
        runShell("slow:200", "('" + tool_ + "' render ./plug.so -i in.wav -o theirs.wav --block 512 & sleep 0.6; " +
                                 "stat -c %a .theirs.wav.quorvel-* >modes; wait)");
    ASSERT_EQ(slow.status, 0) << slow.err;
    EXPECT_EQ(readFile(dir_ / "modes"), "600\n");
    struct stat info {};
    ASSERT_EQ(stat((dir_ / "theirs.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4321U);
    EXPECT_EQ(info.st_gid, 4322U);
    EXPECT_EQ(info.st_mode & 07777, 0640U);
    if (attributes) {
        char value[8] = {};
        EXPECT_EQ(getxattr((dir_ / "theirs.wav").c_str(), "trusted.quorvel-test", value, sizeof value), 4);
        EXPECT_STREQ(value, "kept");
    }
    EXPECT_EQ(readAudio(dir_ / "theirs.wav").size(), 2U * 4800U);

    // As an ordinary user: what the shell's `>` refuses is refused, and left as it was.
    fs::create_directory(dir_ / "mine");
    ASSERT_EQ(chown((dir_ / "mine").c_str(), 65534, 65534), 0);
    writeBytes(dir_ / "mine" / "read-only.wav", "read-only");
    ASSERT_EQ(chown((dir_ / "mine" / "read-only.wav").c_str(), 65534, 65534), 0);
    fs::permissions(dir_ / "mine" / "read-only.wav", fs::perms::owner_read | fs::perms::group_read);
    writeBytes(dir_ / "mine" / "roots.wav", "root's");
    writeBytes(dir_ / "open.wav", "writable by all, in a folder that is not");
    fs::permissions(dir_ / "open.wav", fs::perms::all);
    const auto before = snapshot(dir_ / "mine");
    const auto outside = snapshot(dir_);
    const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups '" + tool_ + "' ";
    for (const char* target : {"mine/read-only.wav", "mine/roots.wav", "open.wav"}) {
        SCOPED_TRACE(target);
        const ToolRun result = runShell("", asNobody + "render ./plug.so -i in.wav -o " + target);
        EXPECT_EQ(result.status, 1) << result.err;
        EXPECT_NE(result.err.find("cannot write"), std::string::npos) << result.err;
        EXPECT_EQ(changedFiles(before, snapshot(dir_ / "mine")), "");
        EXPECT_EQ(changedFiles(outside, snapshot(dir_)), "");
    }
    const ToolRun allowed = runShell("", asNobody + "render ./plug.so -i in.wav -o mine/new.wav");
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    ASSERT_EQ(stat((dir_ / "mine" / "new.wav").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534U);
}

TEST_F(ToolTest, LinksStayLinksDanglingOnesIncluded) {
    fs::create_directory(dir_ / "elsewhere");
    fs::create_symlink("elsewhere/made.wav", dir_ / "dangling.wav");
    writeBytes(dir_ / "elsewhere" / "linked.png", "an earlier picture");
    fs::create_symlink(dir_ / "elsewhere" / "linked.png", dir_ / "link.png");
    writeBytes(dir_ / "elsewhere" / "first.wav", "first name");
    fs::create_hard_link(dir_ / "elsewhere" / "first.wav", dir_ / "second.wav");
    const ToolRun result = run("", "render ./plug.so -i in.wav -o dangling.wav --plot link.png");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.wav"));
    EXPECT_EQ(readAudio(dir_ / "elsewhere" / "made.wav").size(), 2U * 4800U);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.png"));
    EXPECT_EQ(pictureFileProblem((dir_ / "elsewhere" / "linked.png").string(), PictureFormat::png), "");
    // A hard link's other name keeps the earlier bytes: only the named file is replaced.
    ASSERT_EQ(run("", "render ./plug.so -i in.wav -o second.wav").status, 0);
    EXPECT_EQ(readFile(dir_ / "elsewhere" / "first.wav"), "first name");
    EXPECT_EQ(readAudio(dir_ / "second.wav").size(), 2U * 4800U);
    EXPECT_EQ(temporaryFilesIn(dir_), "");
}

TEST_F(ToolTest, SeveralOutputsAreCommittedTogetherOrNotAtAll) {
    if (!runningAsRoot()) {
        GTEST_SKIP() << "needs root: folders and files of an ordinary user";
    }
    for (const fs::path& folder : {dir_ / "a", dir_ / "b"}) {
        fs::create_directory(folder);
        ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    }
    writeBytes(dir_ / "a" / "audio.wav", "old audio");
    writeBytes(dir_ / "b" / "picture.png", "old picture");
    for (const fs::path& file : {dir_ / "a" / "audio.wav", dir_ / "b" / "picture.png"}) {
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    }
    const auto before = snapshot(dir_ / "a");
    // In a child run as an ordinary user: the second output's rename fails (its folder is made
    // read-only after the check), so the first, already in place, must be put back; then a
    // second output whose check fails replaces nothing.
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(10);
        }
        {
            OutputSet outputs;
            writeBytes(outputs.temporaryPath(outputs.add((dir_ / "a" / "audio.wav").string(), "the output")), "new");
            writeBytes(outputs.temporaryPath(outputs.add((dir_ / "b" / "picture.png").string(), "the plot")), "new");
            fs::permissions(dir_ / "b", fs::perms::owner_read | fs::perms::owner_exec);
            try {
                outputs.commit();
                _exit(11);
            } catch (const HostError&) {}
            // Writable again, so that the temporary file there can be removed.
            fs::permissions(dir_ / "b", fs::perms::owner_all);
        }
        try {
            OutputSet outputs;
            writeBytes(outputs.temporaryPath(outputs.add((dir_ / "a" / "audio.wav").string(), "the output")), "new");
            writeBytes(outputs.temporaryPath(outputs.add((dir_ / "b" / "picture.png").string(), "the plot")), "new");
            outputs.commit({{}, [](const std::string&) { return std::string("cut short"); }});
            _exit(12);
        } catch (const HostError&) {}
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(readFile(dir_ / "a" / "audio.wav"), "old audio");
    EXPECT_EQ(readFile(dir_ / "b" / "picture.png"), "old picture");
    EXPECT_EQ(changedFiles(before, snapshot(dir_ / "a")), "");
    EXPECT_EQ(temporaryFilesIn(dir_), "");
}

TEST_F(ToolTest, AnInterruptedPlotLeavesNoTemporaryFileAndNoProcess) {
    fs::create_directory(dir_ / "tmp");
    writeBytes(dir_ / "picture.png", "an earlier picture");
    const auto before = snapshot(dir_);
    for (const char* delay : {"0.05", "0.15", "0.3", "0.45"}) {
        SCOPED_TRACE(delay);
        const ToolRun result =
            runShell("slow:5", std::string("TMPDIR=\"$PWD/tmp\" setsid sh -c 'echo $$ >../group; (sleep ") + delay +
                                   "; kill -TERM -$$) & exec \"" + tool_ +
                                   "\" render ./plug.so -i in.wav -o out.wav --plot picture.png'");
        const pid_t group = static_cast<pid_t>(std::stol(readFile(dir_ / ".." / "group")));
        bool gone = false;
        for (int wait = 0; wait < 200 && !gone; ++wait) {
            gone = kill(-group, 0) != 0;
            if (!gone) {
                usleep(10000);
            }
        }
        EXPECT_TRUE(gone) << "a process of the tool is left";
        EXPECT_TRUE(result.status == 0 || result.status == 1 || result.status == 128 + SIGTERM) << result.status;
        if (result.status != 0) {
            EXPECT_EQ(changedFiles(before, snapshot(dir_)), "");
        }
        EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
        EXPECT_EQ(temporaryFilesIn(dir_), "");
    }
}

}  // namespace
