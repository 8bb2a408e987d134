// The module's load entry: it only records the instance handle.
#include "module_instance.h"

namespace {

HINSTANCE instance = nullptr;

} // namespace

HINSTANCE moduleInstance() {
    return instance;
}

// Recorded on every notification, not only at process attach: the handle never changes, and a
// thread notification is as good a moment as any to have it.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD, LPVOID) {
    instance = module;
    return TRUE;
}
