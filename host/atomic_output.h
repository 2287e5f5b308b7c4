// Files the tool writes for the user (rendered audio, pictures) appear only complete: the
// content goes to a new temporary file next to the target, which is renamed over the target
// once everything has succeeded. Until then, and whatever fails, the target keeps its bytes,
// and the tool removes only the temporary file it created itself.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace quorvel::host {

class AtomicOutput {
public:
    // Main thread. Checks that `target` can be replaced (it is absent or a regular file, its
    // folder exists) and creates an empty temporary file in the target's folder. `what` names
    // the file in messages ("the output", "the plot"). Throws HostError saying why it cannot;
    // nothing is created then.
    AtomicOutput(const std::string& target, const std::string& what);
    // Removes the temporary file unless commit() renamed it.
    ~AtomicOutput();
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // Where to write the content.
    const std::string& temporaryPath() const { return temporary_; }
    // The file the user named, symbolic links followed.
    const std::filesystem::path& target() const { return target_; }
    // Main thread. Gives the temporary file the replaced file's permissions and renames it over
    // the target. Throws HostError when it cannot (the target is then unchanged).
    void commit();

private:
    std::filesystem::path target_;
    std::string temporary_;
    bool committed_ = false;
};

// Main thread. Checks that `path` may be written as `what` ("the output", "the plot"): it is
// absent or a regular file, and none of `protectedFiles` (pairs of a role and a path, e.g.
// {"the input", "in.wav"}), compared as files, so that links count. Throws HostError naming
// the conflict.
void checkOutputPath(const std::string& path, const std::string& what,
                     const std::vector<std::pair<std::string, std::string>>& protectedFiles);

}  // namespace quorvel::host
