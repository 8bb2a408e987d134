// The filter pass for one large frame on several threads, with the same bytes as the sequential
// pass. For hosts that may run threads of their own (the command-line host); the plug-in keeps to
// the sequential pass and never links this.
#pragma once

#include "filter_pass.h"
#include "host_interface.h"

#include <cstdint>

// Filter rectangles of this many pixels or more are cut into bands for several threads; on
// smaller ones, starting threads and settling the bands' borders costs about what it saves.
inline constexpr int64_t largeFramePixels = 2'000'000;

// Like runFilterPassForDepth, on up to `threads` threads (values below 1 count as 1) when the
// filter rectangle holds largeFramePixels or more; the sequential pass otherwise.
OSErr runFilterPassParallel(FilterRecord& record, const FilterParameters& parameters, int threads);

// How the banded pass cuts the filter rectangle.
struct BandLayout {
    int32_t bandRows = 64;     // rows per band, at least 1
    int32_t deferredRows = 32; // leading rows of each band whose writes wait for the bands above
};

// The banded pass with an explicit layout, also with one thread: the banding made visible for
// tests. Any layout gives the sequential pass's bytes; it only changes the speed.
OSErr runFilterPassBanded(FilterRecord& record, const FilterParameters& parameters, int threads,
                          const BandLayout& layout);
