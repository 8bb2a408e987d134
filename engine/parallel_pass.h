// The filter pass for one large frame on several threads, with the same bytes as the sequential
// pass. For hosts that may run threads of their own (the command-line host); the plug-in keeps to
// the sequential pass.
#pragma once

#include "filter_pass.h"
#include "host_interface.h"

#include <cstdint>

// Like runFilterPassForDepth, on up to `threads` threads (values below 1 count as 1).
OSErr runFilterPassParallel(FilterRecord& record, const FilterParameters& parameters, int threads);
