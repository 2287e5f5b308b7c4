// Editor windows on Windows: a top-level window of a class of the tool's own.
#include <windows.h>

#include "host/loader/host_error.h"
#include "host/loader/plugin_call.h"
#include "host/validate/editor_window.h"

namespace quorvel::host {

namespace {

const wchar_t* windowClass() {
    static const wchar_t* name = [] {
        WNDCLASSEXW description{};
        description.cbSize = sizeof description;
        description.lpfnWndProc = DefWindowProcW;
        description.hInstance = GetModuleHandleW(nullptr);
        description.lpszClassName = L"QuorvelHostEditor";
        RegisterClassExW(&description);
        return L"QuorvelHostEditor";
    }();
    return name;
}

}  // namespace

bool displayAvailable() {
    return true;
}

std::string windowSystem() {
    return "Win32";
}

struct EditorWindow::Native {
    HWND window = nullptr;
};

EditorWindow::EditorWindow(int width, int height) : native_(std::make_unique<Native>()) {
    native_->window =
        CreateWindowExW(0, windowClass(), L"quorvel-host: editor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (native_->window == nullptr) {
        throw HostError("cannot create a window (error " + std::to_string(GetLastError()) + ")");
    }
    ShowWindow(native_->window, SW_SHOWNOACTIVATE);
}

EditorWindow::~EditorWindow() {
    if (native_->window != nullptr) {
        const PluginCall destroying;  // the plug-in's child windows get their last messages
        DestroyWindow(native_->window);
    }
}

void* EditorWindow::handle() const {
    return native_->window;
}

void EditorWindow::resize(int width, int height) {
    const PluginCall resizing;  // the plug-in's child windows may be told of the change
    SetWindowPos(native_->window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void EditorWindow::handleEvents(int milliseconds) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(milliseconds), QS_ALLINPUT);
    // The messages of the editor's own windows run the plug-in's code: handling them is a
    // plug-in call, timed as such; the wait before it is the tool's own.
    const PluginCall handling;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace quorvel::host
