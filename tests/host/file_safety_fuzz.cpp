// A randomized adversarial test of quorvel-host render: each case draws a plug-in behaviour, a
// file-system situation and a path shape for each output, options, the user the tool runs as
// and an interruption, runs the tool, and checks that the user's files are safe:
//
// - exit 0: every named output is complete and readable where it was named (links followed),
//   keeps the replaced file's owner and mode, and the summary's numbers are the file's;
// - otherwise: every file that existed is byte-identical, with the same owner, mode and kind;
// - always: no temporary file anywhere (the target folders, TMPDIR, where the plug-in moved),
//   no other file changed, no process left, the exit status is 0, 1 or 2 (or the status of a
//   signal sent before the tool could catch it).
//
// Every case is reproducible from its seed; a failing case prints the seed and the command
// that replays it.
//
// Usage: file_safety_fuzz TOOL PLUGIN [--seed S] [--cases N] [--keep] [--verbose] [--replay COMMAND]
// (case n runs from seed S + n; --replay names the command that replays one case given its seed)
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/audio/sound_file.h"
#include "host/plot/waveform_plot.h"

namespace fs = std::filesystem;
using namespace quorvel::host;

namespace {

constexpr uid_t nobody = 65534;
constexpr uid_t stranger = 4321;  // owns "another user's" files

// One entry of a snapshot: what a file is, its properties and bytes.
struct Entry {
    char kind = '?';  // f regular, d folder, l link, p pipe, c device
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string bytes;  // a regular file's bytes, a link's text
    bool operator==(const Entry& other) const {
        return kind == other.kind && mode == other.mode && uid == other.uid && gid == other.gid && bytes == other.bytes;
    }
};

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every entry under `root` (links not followed), by path.
std::map<std::string, Entry> snapshot(const fs::path& root) {
    std::map<std::string, Entry> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        struct stat info {};
        if (lstat(it->path().c_str(), &info) != 0) {
            continue;
        }
        Entry entry;
        entry.mode = info.st_mode & 07777;
        entry.uid = info.st_uid;
        entry.gid = info.st_gid;
        if (S_ISREG(info.st_mode)) {
            entry.kind = 'f';
            entry.bytes = readFile(it->path());
        } else if (S_ISDIR(info.st_mode)) {
            entry.kind = 'd';
        } else if (S_ISLNK(info.st_mode)) {
            entry.kind = 'l';
            entry.bytes = fs::read_symlink(it->path(), error).string();
        } else if (S_ISFIFO(info.st_mode)) {
            entry.kind = 'p';
        } else if (S_ISCHR(info.st_mode)) {
            entry.kind = 'c';
            entry.bytes = std::to_string(info.st_rdev);
        }
        entries[it->path().string()] = entry;
    }
    return entries;
}

// The final file a path names, links followed (a dangling one to the file it names).
fs::path followLinks(fs::path path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            break;
        }
        const fs::path named = fs::read_symlink(path);
        path = named.is_absolute() ? named : path.parent_path() / named;
    }
    return path.lexically_normal();
}

std::string printable(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

enum class Situation {
    absent,
    regular,
    readOnly,
    othersFile,
    privateFile,
    hardLink,
    symlink,
    dangling,
    folder,
    device,
    fifo,
    readOnlyFolder,
    fullDisk,
    count
};

const char* situationName(Situation situation) {
    static const char* names[] = {"absent",    "regular",          "read-only",       "another user's", "private",
                                  "hard link", "symlink",          "dangling",        "folder",         "device",
                                  "fifo",      "read-only folder", "full file system"};
    return names[static_cast<int>(situation)];
}

struct Options {
    std::string tool;
    std::string plugin;
    std::uint64_t seed = 1;
    long cases = 100;
    bool keep = false;
    bool verbose = false;
    std::string replay;  // the command that replays one case, given its seed
};

struct Totals {
    long cases = 0;
    long succeeded = 0;
    long refused = 0;
    long interrupted = 0;
    long fullDiskSkipped = 0;
    long asNobody = 0;
    long failures = 0;
};

class Case {
public:
    Case(const Options& options, std::uint64_t seed, Totals& totals)
        : options_(options), seed_(seed), random_(seed), totals_(totals) {}

    // Runs the case; answers the violations found (empty when it holds).
    std::vector<std::string> run();
    const std::string& description() const { return description_; }
    const fs::path& root() const { return root_; }

private:
    int pick(int count) { return static_cast<int>(random_() % static_cast<std::uint64_t>(count)); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    std::string nameShape(const std::string& prefix, const std::string& extension);
    std::string prepareOutput(const std::string& extension, int index);
    void note(const std::string& text) { description_ += text + "; "; }
    void owned(const fs::path& path) {
        if (lchown(path.c_str(), runUid_, runUid_) != 0) {
            std::perror("lchown");
        }
    }

    const Options& options_;
    std::uint64_t seed_;
    std::mt19937_64 random_;
    Totals& totals_;
    fs::path root_;
    fs::path work_;
    uid_t runUid_ = 0;
    std::string description_;
    std::vector<std::string> mounts_;
    bool skipped_ = false;
};

std::string Case::nameShape(const std::string& prefix, const std::string& extension) {
    return prefix + [&]() -> std::string {
        switch (pick(8)) {
        case 0:
            return "with space" + extension;
        case 1:
            return "it's \"quoted\"" + extension;
        case 2:
            return "new\nline\nset output 'victim.txt'" + extension;
        case 3:
            return "-dash" + extension;
        case 4:
            return std::string("bytes\xff\xfe\x80") + extension;
        case 5:
            // The longest name a folder allows.
            return std::string(255 - prefix.size() - extension.size(), 'L') + extension;
        default:
            return "out" + extension;
        }
    }();
}

// Sets up one output's file-system situation; answers the path to give the tool.
std::string Case::prepareOutput(const std::string& extension, int index) {
    // Half the outputs are ordinary files (absent, regular, private), so that many cases get as
    // far as the commit; the other half draw any situation.
    const auto situation = chance(0.5) ? static_cast<Situation>(std::array{0, 1, 4}[pick(3)])
                                       : static_cast<Situation>(pick(static_cast<int>(Situation::count)));
    fs::path folder = work_;
    const std::string name = nameShape(std::to_string(index), extension);
    note(std::string("output ") + std::to_string(index) + ": " + situationName(situation));
    const fs::path elsewhere = root_ / "elsewhere";
    fs::path path = folder / name;
    const std::string earlier = "earlier bytes of output " + std::to_string(index) + " " + std::to_string(seed_);
    switch (situation) {
    case Situation::absent:
    case Situation::count:
        break;
    case Situation::regular:
        writeFile(path, earlier);
        owned(path);
        break;
    case Situation::readOnly:
        writeFile(path, earlier);
        owned(path);
        chmod(path.c_str(), 0444);
        break;
    case Situation::othersFile:
        writeFile(path, earlier);
        chmod(path.c_str(), 0644);
        if (lchown(path.c_str(), stranger, stranger) != 0) {
            std::perror("lchown");
        }
        break;
    case Situation::privateFile:
        writeFile(path, earlier);
        owned(path);
        chmod(path.c_str(), 0600);
        break;
    case Situation::hardLink:
        writeFile(elsewhere / ("hard" + std::to_string(index)), earlier);
        owned(elsewhere / ("hard" + std::to_string(index)));
        fs::create_hard_link(elsewhere / ("hard" + std::to_string(index)), path);
        break;
    case Situation::symlink:
        writeFile(elsewhere / ("linked" + std::to_string(index) + extension), earlier);
        owned(elsewhere / ("linked" + std::to_string(index) + extension));
        fs::create_symlink(elsewhere / ("linked" + std::to_string(index) + extension), path);
        owned(path);
        break;
    case Situation::dangling:
        fs::create_symlink("../elsewhere/missing" + std::to_string(index) + extension, path);
        owned(path);
        break;
    case Situation::folder:
        fs::create_directory(path);
        owned(path);
        break;
    case Situation::device:
        if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
            fs::create_symlink("/dev/null", path);
        }
        break;
    case Situation::fifo:
        mkfifo(path.c_str(), 0666);
        owned(path);
        break;
    case Situation::readOnlyFolder: {
        const fs::path locked = root_ / ("locked" + std::to_string(index));
        fs::create_directory(locked);
        path = locked / name;
        if (chance(0.5)) {
            writeFile(path, earlier);
            owned(path);
        }
        owned(locked);
        chmod(locked.c_str(), 0555);
        break;
    }
    case Situation::fullDisk: {
        const fs::path small = root_ / ("full" + std::to_string(index));
        fs::create_directory(small);
        if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=192k,mode=0777") != 0) {
            skipped_ = true;
            note(std::string("full file system skipped (cannot mount: ") + std::strerror(errno) + ")");
            break;
        }
        mounts_.push_back(small.string());
        path = small / name;
        if (chance(0.5)) {
            writeFile(path, earlier);
            owned(path);
        }
        // Filled up to the last block.
        std::ofstream filler(small / "filler", std::ios::binary);
        const std::string block(4096, 'F');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
            filler.flush();
            if (!filler) {
                break;
            }
        }
        break;
    }
    }
    // Given relative to the tool's working folder, or absolute.
    if (chance(0.5) && path.parent_path() == work_) {
        return "./" + path.filename().string();
    }
    return path.string();
}

std::vector<std::string> Case::run() {
    root_ = fs::temp_directory_path() / ("quorvel-fuzz-" + std::to_string(getpid())) / std::to_string(seed_);
    fs::remove_all(root_);
    fs::create_directories(root_);
    work_ = root_ / "work";
    const fs::path tmp = root_ / "tmp";
    const fs::path moved = root_ / "moved";
    const fs::path logs = root_.parent_path() / ("logs-" + std::to_string(seed_));
    for (const fs::path& folder : {work_, tmp, moved, root_ / "elsewhere"}) {
        fs::create_directories(folder);
    }
    fs::create_directories(logs);
    runUid_ = geteuid() == 0 && chance(0.35) ? nobody : geteuid();
    note(runUid_ == 0 ? "as root" : "as user " + std::to_string(runUid_));
    for (const fs::path& folder : {root_, work_, tmp, moved, root_ / "elsewhere"}) {
        owned(folder);
    }
    chmod(root_.parent_path().c_str(), 0755);

    // The input: short, so that a case takes little time.
    const fs::path input = root_ / "in.wav";
    {
        std::ofstream{input};
        const std::int64_t frames = 600 + pick(3000);
        std::vector<float> samples(static_cast<std::size_t>(2 * frames));
        for (std::size_t k = 0; k < samples.size(); ++k) {
            samples[k] = 0.6F * std::sin(static_cast<float>(k) * 0.01F);
        }
        SoundFileWriter writer(input.string(), 2, 8000, SampleEncoding::float32);
        writer.write(samples.data(), frames);
        writer.finish();
        owned(input);
    }
    writeFile(work_ / "victim.txt", "a user's thesis");
    owned(work_ / "victim.txt");

    // The plug-in's behaviour.
    std::vector<std::string> behaviour;
    bool hangs = false;
    const int misdeed = pick(10);
    const char* misdeeds[] = {"crash", "exit", "abort", "hang"};
    if (misdeed < 4 && (misdeed != 3 || chance(0.3))) {
        hangs = misdeed == 3;
        behaviour.push_back(std::string(misdeeds[misdeed]) + (chance(0.7) ? "@block:" : "@request:") +
                            std::to_string(pick(6)));
    }
    if (chance(0.3)) {
        behaviour.push_back("chdir:" + moved.string());
    }
    if (chance(0.2)) {
        behaviour.push_back(chance(0.5) ? "nan" : "loud");
    }
    if (chance(0.15)) {
        behaviour.push_back("chatty");
    }
    if (chance(0.15)) {
        behaviour.push_back("slow:" + std::to_string(1 + pick(20)));
    }
    if (chance(0.1)) {
        behaviour.push_back("latency:" + std::to_string(pick(300)));
    }
    std::string hostile;
    for (const std::string& item : behaviour) {
        hostile += (hostile.empty() ? "" : ",") + item;
    }
    note("plug-in: " + (hostile.empty() ? std::string("sound") : hostile));

    // The command.
    std::vector<std::string> args{options_.tool, "render", options_.plugin, "-i", input.string()};
    const char* extensions[] = {".wav", ".aiff", ".flac", ".caf"};
    const std::string audioExtension = extensions[pick(4)];
    args.push_back("-o");
    args.push_back(prepareOutput(audioExtension, 0));
    const bool plotting = chance(0.25);
    if (plotting) {
        const char* pictures[] = {".png", ".svg", ".pdf"};
        args.push_back("--plot");
        args.push_back(prepareOutput(pictures[pick(3)], 1));
    }
    if (skipped_) {
        ++totals_.fullDiskSkipped;
    }
    const char* encodings[] = {"pcm16", "pcm24", "float", "double"};
    if (chance(0.5)) {
        args.push_back("--encoding");
        args.push_back(encodings[pick(4)]);
    }
    if (chance(0.3)) {
        args.push_back("--precision");
        args.push_back("64");
    }
    if (chance(0.3)) {
        args.push_back("--block");
        args.push_back(std::to_string(1 + pick(2048)));
    }
    if (chance(0.2)) {
        args.push_back("--strict");
    }
    if (chance(0.15)) {
        args.push_back("--tail");
        args.push_back("0.1");
    }
    args.push_back("--timeout");
    args.push_back("1");
    std::string commandText;
    for (const std::string& arg : args) {
        commandText += " '" + printable(arg) + "'";
    }
    note("command:" + commandText);

    // The interruption.
    int signal = 0;
    bool toGroup = false;
    int delayMs = 0;
    if (chance(0.25)) {
        const int signals[] = {SIGINT, SIGTERM, SIGHUP};
        signal = signals[pick(3)];
        toGroup = chance(0.5);
        delayMs = pick(hangs ? 1200 : 400);
        note(std::string("signal ") + strsignal(signal) + (toGroup ? " to the group" : " to the tool") + " after " +
             std::to_string(delayMs) + " ms");
    }

    const auto before = snapshot(root_);
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        umask(022);
        const int out = open((logs / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open((logs / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        if (chdir(work_.c_str()) != 0) {
            _exit(120);
        }
        setenv("QUORVEL_HOSTILE", hostile.c_str(), 1);
        setenv("TMPDIR", tmp.c_str(), 1);
        if (runUid_ != geteuid()) {
            if (setgroups(0, nullptr) != 0 || setgid(runUid_) != 0 || setuid(runUid_) != 0) {
                _exit(121);
            }
        }
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(122);
    }
    setpgid(child, child);
    int status = 0;
    const auto start = std::chrono::steady_clock::now();
    bool sent = false;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            break;
        }
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (signal != 0 && !sent && elapsed >= std::chrono::milliseconds(delayMs)) {
            kill(toGroup ? -child : child, signal);
            sent = true;
        }
        if (elapsed > std::chrono::seconds(60)) {
            kill(-child, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    note("exit status " + std::to_string(exitStatus));
    const std::string out = readFile(logs / "out");
    const std::string err = readFile(logs / "err");

    std::vector<std::string> violations;
    const auto violation = [&violations](const std::string& text) { violations.push_back(text); };
    // No process of the tool's group is left behind (gnuplot, the supervised work).
    bool alone = false;
    for (int wait = 0; wait < 500 && !alone; ++wait) {
        alone = kill(-child, 0) != 0 && errno == ESRCH;
        if (!alone) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    if (!alone) {
        violation("a process of the tool's group is left after it ended");
        kill(-child, SIGKILL);
    }
    const bool signalled = WIFSIGNALED(status);
    if (signalled && !(sent && WTERMSIG(status) == signal)) {
        violation(std::string("the tool died by ") + strsignal(WTERMSIG(status)));
    }
    if (!signalled && exitStatus != 0 && exitStatus != 1 && exitStatus != 2) {
        violation("exit status " + std::to_string(exitStatus));
    }

    const auto after = snapshot(root_);
    // The files the tool may change: the final targets of the named outputs, when it succeeds.
    std::vector<fs::path> targets;
    for (std::size_t k = 0; k < args.size(); ++k) {
        if (args[k] == "-o" || args[k] == "--plot") {
            const fs::path named = args[k + 1][0] == '/' ? fs::path(args[k + 1]) : work_ / args[k + 1].substr(2);
            targets.push_back(followLinks(named));
        }
    }
    const bool success = exitStatus == 0 && !signalled;
    if (success) {
        ++totals_.succeeded;
    } else if (sent) {
        ++totals_.interrupted;
    } else {
        ++totals_.refused;
    }
    for (const auto& [path, entry] : after) {
        if (path.find(".quorvel-") != std::string::npos || path.find("quorvel-plot") != std::string::npos) {
            violation("a temporary file is left: " + printable(path));
        }
        const auto earlier = before.find(path);
        const bool isTarget = std::find(targets.begin(), targets.end(), fs::path(path)) != targets.end();
        if (earlier == before.end()) {
            if (!(success && isTarget)) {
                violation("a new file appeared: " + printable(path));
            }
            continue;
        }
        if (earlier->second == entry) {
            continue;
        }
        if (success && isTarget) {
            // Replaced: the same kind, owner and mode, new bytes.
            const Entry& old = earlier->second;
            if (entry.kind != 'f' || entry.mode != old.mode || entry.uid != old.uid || entry.gid != old.gid) {
                violation("a replaced file lost its kind, owner or mode: " + printable(path));
            }
            if (runUid_ != 0 && (old.mode & 0222) == 0) {
                violation("a file read-only for the user was replaced: " + printable(path));
            }
            if (runUid_ != 0 && old.uid != runUid_) {
                violation("another user's file was replaced: " + printable(path));
            }
            continue;
        }
        violation("a file changed: " + printable(path));
    }
    for (const auto& [path, entry] : before) {
        if (after.count(path) == 0 && path.find("/filler") == std::string::npos) {
            violation("a file disappeared: " + printable(path));
        }
    }
    if (success) {
        for (std::size_t k = 0; k < targets.size(); ++k) {
            const fs::path& target = targets[k];
            struct stat info {};
            if (stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
                violation("a named output is missing: " + printable(target.string()));
                continue;
            }
            if (before.count(target.string()) == 0 && (info.st_mode & 07777) != 0644) {
                violation("a new output's mode is not the umask's: " + printable(target.string()));
            }
            if (k == 0) {
                try {
                    const StoredAudio stored = measureSoundFile(target.string());
                    double peak = -1;
                    long long clipped = -1;
                    long long nonFinite = -1;
                    const std::size_t at = out.find("Output peak ");
                    if (at == std::string::npos ||
                        std::sscanf(out.c_str() + at, "Output peak %lf (%*[^)]), %lld clipped, %lld non-finite", &peak,
                                    &clipped, &nonFinite) != 3) {
                        violation("no summary line");
                    } else if (std::abs(peak - stored.peak) > 1e-6 || nonFinite != stored.nonFinite) {
                        violation("the summary does not match the file: " + out);
                    }
                    if (stored.frames <= 0) {
                        violation("the output holds no frames");
                    }
                } catch (const std::exception& error) {
                    violation(std::string("the output cannot be read: ") + error.what());
                }
            } else {
                const std::string extension = target.extension().string();
                const PictureFormat format = extension == ".png"   ? PictureFormat::png
                                             : extension == ".svg" ? PictureFormat::svg
                                                                   : PictureFormat::pdf;
                const std::string problem = pictureFileProblem(target.string(), format);
                if (!problem.empty()) {
                    violation("the plot is incomplete: " + problem);
                }
            }
        }
    }
    if (!violations.empty() || options_.verbose) {
        violations.push_back("error stream: " + printable(err));
    }
    for (const std::string& mounted : mounts_) {
        umount2(mounted.c_str(), MNT_DETACH);
    }
    fs::remove_all(logs);
    return violations;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TOOL PLUGIN [--seed S] [--cases N] [--keep] [--verbose]\n", argv[0]);
        return 2;
    }
    Options options;
    options.tool = fs::absolute(argv[1]).string();
    options.plugin = fs::absolute(argv[2]).string();
    for (int k = 3; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--seed" && k + 1 < argc) {
            options.seed = std::strtoull(argv[++k], nullptr, 10);
        } else if (arg == "--cases" && k + 1 < argc) {
            options.cases = std::strtol(argv[++k], nullptr, 10);
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg == "--replay" && k + 1 < argc) {
            options.replay = argv[++k];
        } else if (arg == "--verbose") {
            options.verbose = true;
        }
    }
    if (geteuid() != 0) {
        std::printf(
            "file_safety_fuzz: not root: other users' files, devices and the full file system are "
            "made where the system allows, and the tool runs as this user only\n");
    }
    Totals totals;
    const auto start = std::chrono::steady_clock::now();
    for (long n = 0; n < options.cases; ++n) {
        const std::uint64_t seed = options.seed + static_cast<std::uint64_t>(n);
        Case one(options, seed, totals);
        const std::vector<std::string> violations = one.run();
        ++totals.cases;
        const bool failed = violations.size() > (options.verbose ? 1U : 0U);
        if (failed || options.verbose) {
            std::printf("%s case %" PRIu64 ": %s\n", failed ? "FAILED" : "ok", seed,
                        printable(one.description()).c_str());
            for (const std::string& text : violations) {
                std::printf("    %s\n", text.c_str());
            }
            if (failed) {
                ++totals.failures;
                if (options.replay.empty()) {
                    std::printf("    replay: %s '%s' '%s' --seed %" PRIu64 " --cases 1 --verbose --keep\n",
                                fs::absolute(argv[0]).c_str(), options.tool.c_str(), options.plugin.c_str(), seed);
                } else {
                    std::printf("    replay: %s %" PRIu64 " --verbose --keep\n", options.replay.c_str(), seed);
                }
            }
            std::fflush(stdout);
        }
        if (!options.keep) {
            std::error_code ignored;
            fs::remove_all(one.root(), ignored);
        }
    }
    std::error_code ignored;
    if (!options.keep) {
        fs::remove_all(fs::temp_directory_path() / ("quorvel-fuzz-" + std::to_string(getpid())), ignored);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("file_safety_fuzz: %ld cases from seed %" PRIu64
                " in %.1f s: %ld succeeded, %ld refused or failed, "
                "%ld interrupted, %ld full-file-system situations skipped; %ld violated an invariant\n",
                totals.cases, options.seed, seconds, totals.succeeded, totals.refused, totals.interrupted,
                totals.fullDiskSkipped, totals.failures);
    return totals.failures == 0 ? 0 : 1;
}
