// A minimal host for benchmarks and comparison tests: it hands a pass caller-owned input and
// output buffers at advanceState, with no copies, so the same pixels can be run through several
// passes.
#pragma once

#include "host_interface.h"

#include <cstdint>
#include <functional>

struct HostBuffers {
    void* inData = nullptr;  // first pixel of the filter rectangle
    void* outData = nullptr; // the same for the output
    int32_t inRowBytes = 0;
    int32_t outRowBytes = 0;
    VRect filterRect{}; // document coordinates
    int32_t depth = 8;  // 8 or 16
};

// Builds a record with big-document data for the buffers and calls pass(record) once, on the
// calling thread; returns what the pass returns.
OSErr runOnBuffers(const HostBuffers& buffers, const std::function<OSErr(FilterRecord&)>& pass);
