// Editor windows on Linux through Xlib.
#include <X11/Xlib.h>
#include <poll.h>

#include <cstdint>
#include <cstdlib>

#include "host/loader/host_error.h"
#include "host/validate/editor_window.h"

namespace quorvel::host {

namespace {

bool variableSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The process's one connection to the X server, made at its first window and kept for the
// life of the process: when its last client goes, an X server without -noreset (Xvfb as
// xvfb-run starts it) resets, and a connection attempted meanwhile is refused. Attempts for up
// to two seconds for the same reason (the last client may just have been another process).
Display* connection() {
    static Display* display = [] {
        Display* opened = XOpenDisplay(nullptr);
        for (int attempt = 0; opened == nullptr && attempt < 20; ++attempt) {
            poll(nullptr, 0, 100);
            opened = XOpenDisplay(nullptr);
        }
        return opened;
    }();
    return display;
}

}  // namespace

bool displayAvailable() {
    return variableSet("DISPLAY") || variableSet("WAYLAND_DISPLAY");
}

std::string windowSystem() {
    return "X11";
}

struct EditorWindow::Native {
    Display* display = nullptr;
    Window window = 0;
};

EditorWindow::EditorWindow(int width, int height) : native_(std::make_unique<Native>()) {
    native_->display = connection();
    if (native_->display == nullptr) {
        const char* name = std::getenv("DISPLAY");
        throw HostError(std::string("cannot connect to the X display '") + (name != nullptr ? name : "") + "'");
    }
    Display* display = native_->display;
    const int screen = DefaultScreen(display);
    native_->window =
        XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, native_->window, "quorvel-host: editor");
    XSelectInput(display, native_->window, StructureNotifyMask | ExposureMask);
    XMapWindow(display, native_->window);
    XSync(display, False);
}

EditorWindow::~EditorWindow() {
    if (native_->display != nullptr) {
        XDestroyWindow(native_->display, native_->window);
        XSync(native_->display, False);
    }
}

void* EditorWindow::handle() const {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(native_->window));
}

void EditorWindow::resize(int width, int height) {
    XResizeWindow(native_->display, native_->window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(native_->display);
}

void EditorWindow::handleEvents(int milliseconds) {
    XFlush(native_->display);
    pollfd connection{ConnectionNumber(native_->display), POLLIN, 0};
    if (XPending(native_->display) == 0) {
        poll(&connection, 1, milliseconds);
    }
    while (XPending(native_->display) > 0) {
        XEvent event;
        XNextEvent(native_->display, &event);
    }
}

}  // namespace quorvel::host
