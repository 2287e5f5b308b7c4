// Builds without a window system (Linux without Xlib, cross builds): no editor windows.
#include <cstdlib>

#include "host/loader/host_error.h"
#include "host/validate/editor_window.h"

namespace quorvel::host {

namespace {

bool variableSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

bool displayAvailable() {
    return variableSet("DISPLAY") || variableSet("WAYLAND_DISPLAY");
}

std::string windowSystem() {
    return {};
}

struct EditorWindow::Native {};

EditorWindow::EditorWindow(int /*width*/, int /*height*/) {
    throw HostError("this build of quorvel-host makes no windows (it was built without Xlib)");
}

EditorWindow::~EditorWindow() = default;

void* EditorWindow::handle() const {
    return nullptr;
}

void EditorWindow::resize(int /*width*/, int /*height*/) {}

void EditorWindow::handleEvents(int /*milliseconds*/) {}

}  // namespace quorvel::host
