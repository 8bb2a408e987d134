// Placeholder until the banded pass lands: runs the sequential pass.
#include "parallel_pass.h"

OSErr runFilterPassParallel(FilterRecord& record, const FilterParameters& parameters, int) {
    return runFilterPassForDepth(record, parameters);
}
