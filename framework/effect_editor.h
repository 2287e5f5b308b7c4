// The optional editor an effect may own, and the key record handed to it. This system has
// no editor of its own; the interface exists so that editor requests have somewhere to go.
#pragma once

#include <cstdint>

// A key press or release, built by the dispatcher for each key request and passed by
// reference for the duration of that call only.
struct KeyStroke {
    std::int32_t character;   // the request's index, all 32 bits
    std::uint8_t virtualKey;  // low byte of the request's value
    std::uint8_t modifiers;   // low byte of the request's float option, truncated toward zero
};

// Editor interface. All operations are called on the host's editor (user-interface) thread;
// the dispatchers answer a true result as 1 and a false one as 0.
class EffectEditor {
public:
    virtual ~EffectEditor() = default;
    // Request 13: report the editor's bounds through the host's pointer, passed on unchanged.
    virtual bool reportBounds(void* ptr) = 0;
    // Request 14: attach to the host's window, passed on unchanged.
    virtual bool attachWindow(void* ptr) = 0;
    // Request 15: the host closes the window.
    virtual void detachWindow() = 0;
    // Request 19: idle time for drawing.
    virtual void onIdleTime() = 0;
    // Request 59: a key went down.
    virtual bool onKeyPressed(KeyStroke& key) = 0;
    // Request 60: a key went up.
    virtual bool onKeyReleased(KeyStroke& key) = 0;
    // Request 61: the host's knob mode, the request's value.
    virtual bool applyKnobMode(std::int32_t mode) = 0;
};
