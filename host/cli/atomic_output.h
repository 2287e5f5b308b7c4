// The one place where the tool writes files for the user (rendered audio, pictures). Every
// rule that keeps the user's files safe is enforced here, and nowhere else:
//
// - Paths are made absolute when an output is added, before any plug-in runs: a plug-in may
//   change the working folder of the process it runs in, and a relative name would then point
//   elsewhere.
// - Symbolic links are followed to their final target, a dangling one included: the link stays
//   a link, and the file it names is the one written (created when it does not exist yet).
// - The final target is absent or a regular file; a folder, device, pipe or socket is refused.
// - A target is refused when the user the tool runs as (its real user, as the shell's `>`
//   checks) may not write it, or may not create files in its folder.
// - The content goes to a temporary file in the target's own folder, named by an absolute path,
//   created exclusively (never an existing file or link) and readable by its owner only while it
//   is written, so that a private target is never exposed.
// - Before the rename the temporary file gets the replaced file's owner, group, mode and
//   extended attributes (a new file gets the mode the user's umask gives). A target whose owner
//   the tool could not keep is refused when it is added, before any work.
// - The outputs of one command are committed together or not at all: every temporary file is
//   written and checked first, then each is swapped with its target; when a later swap fails,
//   the earlier ones are swapped back, so every target again holds its old bytes.
// - Every temporary file is removed when it is not committed (an error, an interruption, a
//   plug-in's crash in the supervised work), and the tool never removes or alters a file it did
//   not create.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace quorvel::host {

class OutputSet {
public:
    OutputSet() = default;
    // Removes every temporary file that commit() did not put in place.
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // Main thread, before any work. Resolves `target` (made absolute, links followed), checks
    // it by the rules above and creates its empty temporary file. `what` names the file in
    // messages ("the output", "the plot"). Answers the output's index. Throws HostError saying
    // why it cannot; nothing is created then.
    std::size_t add(const std::string& target, const std::string& what);

    // The absolute path of output `index`'s temporary file, where its content is written (from
    // any process or thread; the file exists until commit() or the destructor).
    const std::string& temporaryPath(std::size_t index) const { return outputs_.at(index).temporary; }
    // The final file output `index` replaces or creates, absolute, links followed.
    const std::filesystem::path& target(std::size_t index) const { return outputs_.at(index).target; }

    // Answers an empty text when the temporary file at the given path holds a complete output,
    // else why not ("the PNG picture ends before its last chunk").
    using Check = std::function<std::string(const std::string& temporaryPath)>;

    // Main thread. Checks every output with `checks[index]` (an empty function accepts), gives
    // each temporary file its target's owner, mode and extended attributes, flushes it to disk,
    // then puts all of them in place. Throws HostError when any step fails; every target then
    // holds what it held before and no temporary file is left.
    void commit(const std::vector<Check>& checks = {});

private:
    struct Output {
        std::string what;
        std::string named;             // as the user gave it, for messages
        std::filesystem::path target;  // absolute, links followed
        std::string temporary;         // absolute
        std::string backup;            // while committing: the old target's bytes, absolute
        bool existed = false;          // the target existed when the output was added
        bool placed = false;           // commit() put the temporary file in place
    };
    // Puts back what the outputs placed so far replaced; answers where an old file could not be
    // put back and is kept instead (empty when every one was).
    std::string rollBack();

    std::vector<Output> outputs_;
    bool committed_ = false;
};

// Main thread. Checks that `path` may be written as `what` ("the output", "the plot"): its
// final target (links followed) is absent or a regular file, and none of `protectedFiles`
// (pairs of a role and a path, e.g. {"the input", "in.wav"}), compared as files, so that
// symbolic and hard links count. Throws HostError naming the conflict.
void checkOutputPath(const std::string& path, const std::string& what,
                     const std::vector<std::pair<std::string, std::string>>& protectedFiles);

// The final file `path` names: made absolute, symbolic links followed to the end, a dangling
// link to the file it would create. Answers `path` made absolute when a link loops.
std::filesystem::path finalTarget(const std::string& path);

}  // namespace quorvel::host
