// The Windows load notification: remembers the module handle and never refuses to load.
#include <windows.h>

// The module handle the loader passed last; nothing else in the library reads it.
void* moduleHandle = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD /*reason*/, LPVOID /*reserved*/) {
    moduleHandle = module;
    return TRUE;
}
