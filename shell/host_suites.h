// The table of host suites the plug-in may acquire through the host's basic suite, and their
// release when the module is unloaded. Portable: it only calls through the host's function table.
#pragma once

#include "host_interface.h"

#include <cstddef>

// One host suite: its registered name and version, and the suite once acquired.
struct HostSuite {
    const char* name;
    int32_t version;
    const void* suite = nullptr;

    // Runs at unload for every record of the table (static destruction of the module).
    ~HostSuite();
};

inline constexpr size_t hostSuiteCount = 21;

// The table, in the host's own order. Slots are filled only by acquireHostSuite.
extern HostSuite hostSuites[hostSuiteCount];

// The host's basic suite as the last host call gave it; the release at unload goes through it.
extern SPBasicSuite* suiteAccess;

// Acquires the suite of one table record through suiteAccess; returns it, or null when the host
// has no basic suite or refuses. A suite already held is returned as it is.
const void* acquireHostSuite(HostSuite& record);

// Hands an acquired suite back to the host and empties the slot; does nothing for an empty slot
// or when there is no basic suite to call.
void releaseHostSuite(HostSuite& record);
