// The host suite table and the release of acquired suites at unload.
#include "host_suites.h"

SPBasicSuite* suiteAccess = nullptr;

HostSuite hostSuites[hostSuiteCount] = {
    {"df135115-c769-11d0-8079-00c04fd7ec47", 3},
    {"bc1e4d70-f953-11d0-8d9f-00c04fd5f7ee", 3},
    {"3eb7c480-8797-11d1-8da7-00c04fd5f7ee", 2},
    {"df135117-c769-11d0-8079-00c04fd7ec47", 3},
    {"df135116-c769-11d0-8079-00c04fd7ec47", 2},
    {"61e608b0-40fd-11d1-8da3-00c04fd5f7ee", 1},
    {"Photoshop UIHooks Suite for Plug-ins", 1},
    {"Photoshop Handle Suite for Plug-ins", 2},
    {"AS ZString Suite", 1},
    {"SP Access Suite", 3},
    {"Photoshop GetFileList Suite for Plug-ins", 4},
    {"Photoshop Buffer Suite for Plug-ins", 1},
    {"Photoshop Buffer Suite for Plug-ins", 2},
    {"Photoshop Buffer Procs for Plug-ins", 2},
    {"Photoshop ChannelPorts Suite for Plug-ins", 3},
    {"SP Runtime Suite", 5},
    {"Photoshop Property Suite for Plug-ins", 1},
    {"Photoshop Alias Utility Suite", 1},
    {"Photoshop Resource Suite for Plug-ins", 3},
    {"JavaScript Scripting Suite", 2},
    {"JavaScript Scripting Suite", 3},
};

HostSuite::~HostSuite() {
    releaseHostSuite(*this);
}

const void* acquireHostSuite(HostSuite& record) {
    if (record.suite != nullptr)
        return record.suite;
    if (suiteAccess == nullptr || suiteAccess->AcquireSuite == nullptr)
        return nullptr;
    const void* suite = nullptr;
    if (suiteAccess->AcquireSuite(record.name, record.version, &suite) != 0)
        return nullptr;
    record.suite = suite;
    return suite;
}

void releaseHostSuite(HostSuite& record) {
    if (record.suite == nullptr || record.name == nullptr || suiteAccess == nullptr ||
        suiteAccess->ReleaseSuite == nullptr)
        return;
    suiteAccess->ReleaseSuite(record.name, record.version);
    record.suite = nullptr;
}
