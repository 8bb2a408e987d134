// The filter pass: one run of the smoother over the host's filter rectangle, inside the host's
// start call. This is the engine's public entry.
#pragma once

#include "host_interface.h"

#include <cstdint>

// The user's options for one run. Values are in 8-bit units for both depths.
struct FilterParameters {
    int32_t keyRed = 255;    // colour key, 0..255
    int32_t keyGreen = 255;  // 0..255
    int32_t keyBlue = 255;   // 0..255
    bool useColourKey = false;
    int32_t smoothRange = 0; // 0..255: how far samples may differ and still count as equal
};

// Requests the whole filter rectangle with all planes, calls advanceState once, makes opaque
// pixels of the key colour transparent when asked, smooths every pixel into the output buffer and
// clears the requested rectangles. Returns the host call's result code: advanceState's code (0 on
// success); filterBadMode for a plane count other than 4; filterBadParameters when the host
// supplied no callback, no buffers or rows too short for the rectangle.
template <typename Sample>
OSErr runFilterPass(FilterRecord& record, const FilterParameters& parameters);

// The pass for the record's depth: 8 or 16 bits per channel; filterBadMode for any other.
OSErr runFilterPassForDepth(FilterRecord& record, const FilterParameters& parameters);
