// The check of a plug-in's editor: opened in a real window, kept busy, closed, as a host does
// whenever a user opens and closes an effect's window.
#include <memory>
#include <string>

#include "framework/request_codes.h"
#include "host/supervision/isolation.h"
#include "host/validate/checks/check_list.h"
#include "host/validate/checks/check_support.h"
#include "host/validate/editor_window.h"

namespace quorvel::host {

namespace {

// The rectangle an editor's size request answers a pointer to: top, left, bottom, right.
struct EditorRect {
    std::int16_t top, left, bottom, right;
};

constexpr int editorRounds = 3;
constexpr double idleSeconds = 1.0;
constexpr int idleMilliseconds = 10;
constexpr int idlesPerWrite = 5;
constexpr int largestEditor = 8192;  // pixels; a larger answer is taken as no answer

// Asks the open editor its size and fits the window to it; answers the size in words.
std::string fitWindow(PluginInstance& instance, EditorWindow& window) {
    EditorRect* rect = nullptr;
    instance.dispatch(reqEditorBounds, 0, 0, static_cast<void*>(&rect));
    if (rect == nullptr) {
        return "no size";
    }
    const int width = rect->right - rect->left;
    const int height = rect->bottom - rect->top;
    if (width <= 0 || height <= 0 || width > largestEditor || height > largestEditor) {
        return "no usable size";
    }
    window.resize(width, height);
    return std::to_string(width) + " x " + std::to_string(height);
}

CheckVerdict checkEditor(const CheckContext& context) {
    PluginInstance instance(context.entry);
    if ((instance.record().flags & flagHasEditor) == 0) {
        return skip("the plug-in declares no editor");
    }
    if (!displayAvailable()) {
        return skip(
            "no display (neither DISPLAY nor WAYLAND_DISPLAY is set): a host on a headless machine opens "
            "no editor");
    }
    if (windowSystem().empty()) {
        return skip("this build of quorvel-host makes no windows (built without Xlib)");
    }
    prepareInstance(instance, context.profile, 44100.0F, 512);
    Random random(context.seed);
    std::int64_t idles = 0;
    std::int64_t writes = 0;
    std::string size;
    int openAnswers = 0;  // open requests answered non-zero
    for (int round = 1; round <= editorRounds; ++round) {
        std::unique_ptr<EditorWindow> window;
        try {
            window = std::make_unique<EditorWindow>(640, 480);
        } catch (const HostError& error) {
            return skip(std::string("no window to open the editor in: ") + error.what());
        }
        const std::string where = "round " + std::to_string(round) + ", ";
        noteCheckProgress(where + "request 14");
        // Many editors answer 0 although they opened; hosts do not rely on the answer.
        openAnswers += instance.dispatch(reqEditorOpen, 0, 0, window->handle()) != 0 ? 1 : 0;
        noteCheckProgress(where + "request 13 (the open editor's size)");
        size = fitWindow(instance, *window);
        // The host's idle, with parameter changes from the host as automation and the user's
        // other controls make them, while the editor is open.
        const Deadline deadline(idleSeconds);
        for (std::int64_t k = 0; !deadline.passed(); ++k) {
            noteCheckProgress(where + "request 19 (editor idle) " + std::to_string(k + 1));
            instance.dispatch(reqEditorIdle);
            if (instance.paramCount() > 0 && k % idlesPerWrite == 0) {
                noteCheckProgress(where + "a parameter write while the editor is open");
                instance.setParam(random.below(instance.paramCount()), random.unit());
                ++writes;
            }
            ++idles;
            window->handleEvents(idleMilliseconds);
        }
        noteCheckProgress(where + "request 15 (editor close)");
        instance.dispatch(reqEditorClose);
        window->handleEvents(0);
    }
    return pass(
        std::to_string(editorRounds) + " times opened in a window (" + windowSystem() + ", editor " + size + "), " +
        std::to_string(idles) + " idle calls and " + std::to_string(writes) + " parameter writes while open, closed" +
        (openAnswers < editorRounds
             ? " (request 14 answered 0 " + std::to_string(editorRounds - openAnswers) + " times, which hosts ignore)"
             : std::string()));
}

}  // namespace

std::vector<CheckDefinition> editorChecks() {
    return {
        {"editor",
         "where an editor is declared and a display exists: opened in a real window, idled for 1 s with parameter "
         "changes, closed; three times",
         checkEditor},
    };
}

}  // namespace quorvel::host
