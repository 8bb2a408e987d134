// The host's window from its platform record.
#include "host_window.h"

#include "host_interface.h"

HWND hostWindow(const void* platformData) {
    if (platformData == nullptr)
        return nullptr;
    return reinterpret_cast<HWND>(static_cast<const PlatformData*>(platformData)->hwnd);
}
