// A library that the export check must reject: it lacks `main`, exports a third name and, on
// Windows, imports the compiler's runtime DLLs instead of carrying them.
#include <stdexcept>

extern "C" void* VSTPluginMain(void*) {
    return nullptr;
}

extern "C" int decoyExtra(int value) {
    if (value < 0) {
        throw std::invalid_argument("negative");  // pulls in the C++ runtime library
    }
    return value;
}
