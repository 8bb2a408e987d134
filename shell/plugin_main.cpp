// The entry point: selector dispatch, the start call and the lifetime of the parameter record.
#include "plugin_main.h"

#include "about_box.h"
#include "host_suites.h"
#include "options_dialog.h"

#include <new>

namespace {

CurrentCall call;

void writeResult(OSErr code) {
    if (call.result != nullptr)
        *call.result = code;
}

bool supportedImage(const FilterRecord& record) {
    const bool rgb = record.imageMode == plugInModeRGBColor || record.imageMode == plugInModeRGB48;
    // The fourth plane is the layer's transparency, which the smoothing blends with.
    return rgb && record.planes == 4;
}

void dispatch(int16_t selector, void* record, int16_t* result) {
    if (record == nullptr)
        return;
    if (selector == filterSelectorAbout) {
        call.aboutRecord = static_cast<AboutRecord*>(record);
        suiteAccess = call.aboutRecord->sSPBasic;
        showAboutBox(*call.aboutRecord);
        return;
    }
    // A value for this call only: nothing is kept between calls, and nothing can fail to be made.
    FilterParameters parameters;
    call.filterRecord = static_cast<FilterRecord*>(record);
    call.result = result;
    call.parameters = &parameters;
    suiteAccess = call.filterRecord->sSPBasic;
    if (selector == filterSelectorStart)
        startFilter();
}

} // namespace

CurrentCall& currentCall() {
    return call;
}

void startFilter() {
    FilterRecord& record = *call.filterRecord;
    if (!supportedImage(record)) {
        writeResult(filterBadMode);
        return;
    }
    if (!showOptionsDialog()) {
        writeResult(userCanceledErr);
        return;
    }
    // Any depth but 8 or 16 comes back as filterBadMode rather than an untouched success code.
    writeResult(runFilterPassForDepth(record, *call.parameters));
}

// No exception may unwind into the host, which is not built to survive one.
extern "C" __declspec(dllexport) void PluginMain(int16_t selector, void* record, intptr_t*,
                                                 int16_t* result) {
    call = CurrentCall{};
    try {
        dispatch(selector, record, result);
    } catch (const std::bad_alloc&) {
        writeResult(memFullErr);
    } catch (...) {
        writeResult(filterBadParameters);
    }
    call = CurrentCall{};
}
