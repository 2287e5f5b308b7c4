// A native window for a plug-in's editor to open into, as a host makes one: an X11 window on
// Linux (where the build found Xlib), a window of its own class on Windows. Builds without a
// window system have none, and say so.
#pragma once

#include <memory>
#include <string>

namespace quorvel::host {

// Whether a display is there to show windows on: on Linux, DISPLAY or WAYLAND_DISPLAY is set
// (a host on a headless machine opens no editor); on Windows always. Any thread.
bool displayAvailable();

// What the editor windows of this build are made with ("X11", "Win32"); empty when this build
// makes none.
std::string windowSystem();

class EditorWindow {
public:
    // Main thread. Makes and shows a top-level window of `width` x `height` pixels. Throws
    // HostError when it cannot (no window system in this build, no display to connect to).
    EditorWindow(int width, int height);
    // Destroys the window; the connection to the display stays for the process's later windows.
    ~EditorWindow();
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // The handle an editor open request (request 14) passes: the X11 window id, or the HWND.
    void* handle() const;
    // Main thread. Gives the window a new inner size, as a host does when the editor tells its own.
    void resize(int width, int height);
    // Main thread. Waits up to `milliseconds` for the window system's events, then handles the
    // pending ones: the host's share of an idle period. Where the plug-in's windows get their
    // messages from here (Windows), their handling is marked as a plug-in call (plugin_call.h).
    void handleEvents(int milliseconds);

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

}  // namespace quorvel::host
