// The filter pass for one large frame on several threads, with the same bytes as the sequential
// pass. For hosts that may run threads of their own (the command-line host); the plug-in keeps to
// the sequential pass and never links this.
#pragma once

#include "filter_pass.h"
#include "host_interface.h"

#include <cstdint>

// Like runFilterPassForDepth, on up to `threads` threads (values below 1 count as 1).
OSErr runFilterPassParallel(FilterRecord& record, const FilterParameters& parameters, int threads);

// The same with bands of bandRows rows (at least 1): the banding made visible for tests.
OSErr runFilterPassBanded(FilterRecord& record, const FilterParameters& parameters, int threads,
                          int32_t bandRows);
