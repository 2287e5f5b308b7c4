#include "host/atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "host/check_isolation.h"
#include "host/plugin_instance.h"

namespace quorvel::host {

namespace fs = std::filesystem;

namespace {

// Renames `from` over `to`, replacing a file of that name in one step. On Windows the
// standard library's rename refuses an existing target, so the system's move is used.
void replaceFile(const fs::path& from, const fs::path& to, std::error_code& error) {
    error.clear();
#if defined(_WIN32)
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        error.assign(static_cast<int>(GetLastError()), std::system_category());
    }
#else
    fs::rename(from, to, error);
#endif
}

// Creates `path` only if nothing of that name exists yet; answers whether it did.
bool createNewFile(const std::string& path) {
#if defined(_WIN32)
    const int file = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (file < 0) {
        return false;
    }
    _close(file);
#else
    const int file = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (file < 0) {
        return false;
    }
    close(file);
#endif
    return true;
}

// A name for a temporary file next to `target` that no other run picks at the same time.
std::string temporaryNameFor(const fs::path& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const auto clock = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::string suffix =
        std::to_string(clock % 1000000007ULL) + "-" + std::to_string(counter++) + "-" + std::to_string(attempt);
    fs::path name = target.parent_path() / ("." + target.filename().string() + ".quorvel-" + suffix + ".tmp");
    return name.string();
}

std::string quote(const std::string& path) {
    return "'" + path + "'";
}

}  // namespace

void checkOutputPath(const std::string& path, const std::string& what,
                     const std::vector<std::pair<std::string, std::string>>& protectedFiles) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::exists(status)) {
        if (fs::is_directory(status)) {
            throw HostError(what + " " + quote(path) + " is a folder; name a file");
        }
        if (!fs::is_regular_file(status)) {
            throw HostError(what + " " + quote(path) +
                            " is not a regular file (a device or pipe); write to a file and copy it there");
        }
    }
    for (const auto& [role, other] : protectedFiles) {
        if (other.empty()) {
            continue;
        }
        const bool same = fs::exists(path, error) && fs::exists(other, error)
                              ? fs::equivalent(path, other, error)
                              : fs::weakly_canonical(path, error) == fs::weakly_canonical(other, error);
        if (same) {
            std::string message = what;
            message += " " + quote(path) + " is " + role + "; choose another name";
            throw HostError(message);
        }
    }
}

AtomicOutput::AtomicOutput(const std::string& target, const std::string& what) {
    checkOutputPath(target, what, {});
    std::error_code error;
    // A symbolic link stays a link: the file it points to is the one replaced.
    target_ = fs::exists(target, error) ? fs::canonical(target, error) : fs::path(target);
    if (error) {
        target_ = fs::path(target);
    }
    if (target_.filename().empty()) {
        throw HostError(what + " " + quote(target) + " names no file");
    }
    const fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    if (!fs::is_directory(folder, error)) {
        throw HostError("cannot write " + quote(target) + ": the folder " + quote(folder.string()) + " does not exist");
    }
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = temporaryNameFor(target_, attempt);
        if (createNewFile(candidate)) {
            temporary_ = candidate;
            registerTemporaryFile(temporary_);
            return;
        }
        if (errno != EEXIST) {
            throw HostError("cannot write " + quote(target) + ": " + std::strerror(errno));
        }
    }
    throw HostError("cannot write " + quote(target) + ": no free temporary name in its folder");
}

AtomicOutput::~AtomicOutput() {
    if (!committed_) {
        std::error_code ignored;
        fs::remove(temporary_, ignored);
        forgetTemporaryFile(temporary_);
    }
}

void AtomicOutput::commit() {
    std::error_code error;
    const fs::file_status replaced = fs::status(target_, error);
    if (fs::exists(replaced)) {
        if (!fs::is_regular_file(replaced)) {
            throw HostError(quote(target_.string()) + " is no longer a regular file; it was left as it is");
        }
#if !defined(_WIN32)
        // Windows keeps no permission bits beyond read-only, which the move carries over.
        fs::permissions(temporary_, replaced.permissions(), error);
#endif
    }
    replaceFile(temporary_, target_, error);
    if (error) {
        throw HostError("cannot replace " + quote(target_.string()) + ": " + error.message());
    }
    committed_ = true;
    forgetTemporaryFile(temporary_);
}

}  // namespace quorvel::host
