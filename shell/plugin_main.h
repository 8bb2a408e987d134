// The host's entry point and the context of the host call in progress, which the dialogs read.
#pragma once

#include "filter_pass.h"
#include "host_interface.h"

#include <cstdint>

// The host call in progress. Valid only during that call; the host makes one call at a time on
// one thread, so plain module-wide data is enough.
struct CurrentCall {
    FilterRecord* filterRecord = nullptr; // null during the About call
    AboutRecord* aboutRecord = nullptr;   // set only during the About call
    int16_t* result = nullptr;
    FilterParameters* parameters = nullptr;
};

CurrentCall& currentCall();

// Mode check, options dialog and the pass for the document's depth; writes the call's result.
void startFilter();

extern "C" __declspec(dllexport) void PluginMain(int16_t selector, void* record, intptr_t* data,
                                                 int16_t* result);
