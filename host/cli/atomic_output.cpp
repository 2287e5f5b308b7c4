#include "host/cli/atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "host/loader/host_error.h"
#include "host/supervision/isolation.h"

namespace quorvel::host {

namespace fs = std::filesystem;

namespace {

// Symbolic links followed before a chain counts as a loop (the system's own limit).
constexpr int maxLinkHops = 40;
// The bytes of the target's name kept in a temporary name, so that the temporary name stays
// within the longest name a folder allows (255 bytes) whatever the target is called.
constexpr std::size_t keptNameBytes = 180;

std::string quote(const std::string& path) {
    return "'" + path + "'";
}

std::string systemReason(int error) {
    return std::generic_category().message(error);
}

// Creates `path` only if nothing of that name exists yet (never following a link), readable
// and writable by its owner only; answers whether it did, errno saying why not.
bool createPrivateFile(const std::string& path) {
#if defined(_WIN32)
    const int file = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int file = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600);
#endif
    if (file < 0) {
        return false;
    }
#if defined(_WIN32)
    _close(file);
#else
    close(file);
#endif
    return true;
}

// Gives `from` the name `to` as a second name, failing when `to` exists; errno says why.
bool linkFile(const fs::path& from, const fs::path& to) {
#if defined(_WIN32)
    if (CreateHardLinkW(to.c_str(), from.c_str(), nullptr) == 0) {
        errno = GetLastError() == ERROR_ALREADY_EXISTS ? EEXIST : EPERM;
        return false;
    }
    return true;
#else
    return link(from.c_str(), to.c_str()) == 0;
#endif
}

// Renames `from` over `to`, replacing a file of that name in one step; errno says why not.
bool replaceFile(const fs::path& from, const fs::path& to) {
#if defined(_WIN32)
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        errno = EACCES;
        return false;
    }
    return true;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void removeFile(const std::string& path) {
    if (!path.empty()) {
        std::error_code ignored;
        fs::remove(path, ignored);
        forgetTemporaryFile(path);
    }
}

// A name in `target`'s folder for a temporary file of this run, absolute.
std::string temporaryNameFor(const fs::path& target, const char* kind) {
    static std::atomic<unsigned> counter{0};
    static const unsigned long long seed = []() {
        std::random_device device;
        return (static_cast<unsigned long long>(device()) << 32U) ^ device() ^
               static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    }();
    std::string name = target.filename().string().substr(0, keptNameBytes);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".quorvel-%s-%llx-%u.tmp", kind, seed, counter++);
    return (target.parent_path() / ("." + name + suffix)).string();
}

#if !defined(_WIN32)
// Whether the tool's real user may write `path` with `mode` (W_OK, W_OK | X_OK), as the shell
// checks before it opens a file for `>`.
bool userMay(const fs::path& path, int mode) {
    return faccessat(AT_FDCWD, path.c_str(), mode, 0) == 0;
}

// Copies the extended attributes of `from` (ACLs, labels, user attributes) to the open file
// `to`, each one the system lets this user set; others are left out.
void copyExtendedAttributes(const fs::path& from, int to) {
    const ssize_t size = listxattr(from.c_str(), nullptr, 0);
    if (size <= 0) {
        return;
    }
    std::vector<char> names(static_cast<std::size_t>(size));
    const ssize_t listed = listxattr(from.c_str(), names.data(), names.size());
    for (ssize_t at = 0; at < listed; at += static_cast<ssize_t>(std::strlen(names.data() + at)) + 1) {
        const char* name = names.data() + at;
        const ssize_t length = getxattr(from.c_str(), name, nullptr, 0);
        if (length < 0) {
            continue;
        }
        std::vector<char> value(static_cast<std::size_t>(length) + 1);
        const ssize_t got = getxattr(from.c_str(), name, value.data(), value.size());
        if (got >= 0) {
            fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0);
        }
    }
}
#endif

}  // namespace

fs::path finalTarget(const std::string& path) {
    std::error_code error;
    fs::path current = fs::absolute(path, error);
    if (error) {
        current = fs::path(path);
    }
    for (int hop = 0; hop < maxLinkHops; ++hop) {
        if (!fs::is_symlink(fs::symlink_status(current, error))) {
            break;
        }
        const fs::path named = fs::read_symlink(current, error);
        if (error) {
            break;
        }
        current = named.is_absolute() ? named : current.parent_path() / named;
    }
    // The folder written to is the real one, whatever links lead to it.
    const fs::path folder = fs::canonical(current.parent_path(), error);
    return error ? current.lexically_normal() : folder / current.filename();
}

void checkOutputPath(const std::string& path, const std::string& what,
                     const std::vector<std::pair<std::string, std::string>>& protectedFiles) {
    const fs::path target = finalTarget(path);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(target, error);
    if (fs::is_symlink(status)) {
        throw HostError(what + " " + quote(path) + " is a chain of symbolic links that does not end");
    }
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
        const fs::path otherTarget = finalTarget(other);
        const bool same = fs::exists(target, error) && fs::exists(otherTarget, error)
                              ? fs::equivalent(target, otherTarget, error)
                              : target == otherTarget;
        if (same) {
            std::string message = what;
            message += " " + quote(path) + " is " + role + "; choose another name";
            throw HostError(message);
        }
    }
}

std::size_t OutputSet::add(const std::string& target, const std::string& what) {
    checkOutputPath(target, what, {});
    Output output;
    output.what = what;
    output.named = target;
    output.target = finalTarget(target);
    const std::string filename = output.target.filename().string();
    if (filename.empty() || filename == "." || filename == "..") {
        throw HostError(what + " " + quote(target) + " names no file");
    }
    const fs::path folder = output.target.parent_path();
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        throw HostError("cannot write " + quote(target) + ": the folder " + quote(folder.string()) + " does not exist");
    }
    output.existed = fs::exists(output.target, error);
#if !defined(_WIN32)
    if (output.existed && !userMay(output.target, W_OK)) {
        throw HostError("cannot write " + quote(target) + ": " + systemReason(errno) +
                        " (it is read-only for this user; it was left as it is)");
    }
    if (!userMay(folder, W_OK | X_OK)) {
        throw HostError("cannot write " + quote(target) + ": its folder " + quote(folder.string()) +
                        " does not let this user create files (" + systemReason(errno) +
                        "), and the output is only ever put in place whole");
    }
#endif
    for (unsigned attempt = 0; attempt < 100 && output.temporary.empty(); ++attempt) {
        const std::string candidate = temporaryNameFor(output.target, "new");
        if (createPrivateFile(candidate)) {
            output.temporary = candidate;
        } else if (errno != EEXIST) {
            throw HostError("cannot write " + quote(target) + ": " + systemReason(errno));
        }
    }
    if (output.temporary.empty()) {
        throw HostError("cannot write " + quote(target) + ": no free temporary name in its folder");
    }
    registerTemporaryFile(output.temporary);
#if !defined(_WIN32)
    // The owner is tried now, so that a target whose owner cannot be kept is refused before
    // any work rather than replaced by a file of another owner.
    struct stat replaced {};
    if (output.existed && stat(output.target.c_str(), &replaced) == 0 &&
        (replaced.st_uid != geteuid() || replaced.st_gid != getegid()) &&
        chown(output.temporary.c_str(), replaced.st_uid, replaced.st_gid) != 0) {
        const int reason = errno;
        removeFile(output.temporary);
        throw HostError("cannot write " + quote(target) + ": its owner or group could not be kept (" +
                        systemReason(reason) + "); it was left as it is");
    }
#endif
    outputs_.push_back(std::move(output));
    return outputs_.size() - 1;
}

OutputSet::~OutputSet() {
    if (!committed_) {
        for (const Output& output : outputs_) {
            removeFile(output.temporary);
            removeFile(output.backup);
        }
    }
}

std::string OutputSet::rollBack() {
    std::string kept;
    for (Output& output : outputs_) {
        if (!output.placed) {
            continue;
        }
        if (!output.backup.empty()) {
            // The old file's second name goes back over the target. Where even that fails, the
            // second name is kept: it holds the user's bytes, and is never removed.
            if (!replaceFile(output.backup, output.target)) {
                kept += "; the earlier " + quote(output.named) + " is kept as " + quote(output.backup);
            }
            forgetTemporaryFile(output.backup);
            output.backup.clear();
        } else {
            // The target did not exist: the file put there is the tool's own.
            std::error_code ignored;
            fs::remove(output.target, ignored);
        }
        output.placed = false;
    }
    return kept;
}

void OutputSet::commit(const std::vector<Check>& checks) {
    // Everything is written: each output is checked and given its target's properties.
    for (std::size_t index = 0; index < outputs_.size(); ++index) {
        Output& output = outputs_[index];
        if (index < checks.size() && checks[index]) {
            const std::string problem = checks[index](output.temporary);
            if (!problem.empty()) {
                throw HostError(output.what + " " + quote(output.named) + " was not written whole (" + problem +
                                "); every file was left as it was");
            }
        }
#if !defined(_WIN32)
        const int file = open(output.temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (file < 0) {
            throw HostError("cannot write " + quote(output.named) + ": " + systemReason(errno));
        }
        struct stat replaced {};
        bool ok = true;
        if (stat(output.target.c_str(), &replaced) == 0) {
            if (!S_ISREG(replaced.st_mode)) {
                close(file);
                throw HostError(quote(output.named) + " is no longer a regular file; every file was left as it was");
            }
            ok = (fchown(file, replaced.st_uid, replaced.st_gid) == 0 || replaced.st_uid == geteuid()) &&
                 fchmod(file, replaced.st_mode & 07777) == 0;
            copyExtendedAttributes(output.target, file);
        } else {
            const mode_t mask = umask(0);
            umask(mask);
            ok = fchmod(file, 0666 & ~mask) == 0;
        }
        const int reason = errno;
        ok = ok && fsync(file) == 0;
        if (close(file) != 0 || !ok) {
            throw HostError("cannot write " + quote(output.named) + ": " + systemReason(ok ? errno : reason) +
                            "; every file was left as it was");
        }
#else
        std::error_code error;
        if (fs::exists(output.target, error) && !fs::is_regular_file(output.target, error)) {
            throw HostError(quote(output.named) + " is no longer a regular file; every file was left as it was");
        }
#endif
    }
    // Then everything is put in place. Every output but the last keeps a second name for the
    // file it replaces, so that a later failure can put the old file back.
    for (std::size_t index = 0; index < outputs_.size(); ++index) {
        Output& output = outputs_[index];
        const bool last = index + 1 == outputs_.size();
        std::error_code error;
        bool ok = false;
        int reason = 0;
        if (fs::exists(output.target, error)) {
            if (!last) {
                for (unsigned attempt = 0; attempt < 100 && output.backup.empty(); ++attempt) {
                    const std::string candidate = temporaryNameFor(output.target, "old");
                    if (linkFile(output.target, candidate)) {
                        output.backup = candidate;
                        registerTemporaryFile(candidate);
                    } else if (errno != EEXIST) {
                        break;
                    }
                }
            }
            if (last || !output.backup.empty()) {
                ok = replaceFile(output.temporary, output.target);
            }
            reason = errno;
        } else {
            // A new file: linked into place, which fails rather than replace a file of that name
            // that appeared meanwhile; renamed where the file system has no hard links.
            ok = linkFile(output.temporary, output.target);
            reason = errno;
            if (ok) {
                removeFile(output.temporary);
            } else if (reason != EEXIST) {
                ok = replaceFile(output.temporary, output.target);
                reason = errno;
            }
        }
        if (!ok) {
            const std::string kept = rollBack();
            throw HostError("cannot put " + quote(output.named) + " in place: " + systemReason(reason) +
                            (kept.empty() ? "; every file was left as it was" : kept));
        }
        output.placed = true;
        forgetTemporaryFile(output.temporary);
    }
    committed_ = true;
    for (Output& output : outputs_) {
        removeFile(output.backup);
        output.backup.clear();
    }
}

}  // namespace quorvel::host
