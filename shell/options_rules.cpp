// Acceptance of the options dialog's input and the colour picker's answer.
#include "options_rules.h"

namespace {

// Negative numbers are refused together with numbers above 255 by the one unsigned comparison.
bool acceptable(const EditReading& reading) {
    return reading.translated && static_cast<uint32_t>(reading.value) <= 255u;
}

// Stores an acceptable reading in field; returns whether the edit needs resetting instead.
bool store(int32_t& field, const EditReading& reading) {
    if (!acceptable(reading))
        return true;
    field = reading.value;
    return false;
}

} // namespace

OkOutcome applyOk(FilterParameters& parameters, const OptionsReadings& readings) {
    OkOutcome outcome;
    outcome.resetKeyRed = store(parameters.keyRed, readings.keyRed);
    outcome.resetKeyGreen = store(parameters.keyGreen, readings.keyGreen);
    outcome.resetKeyBlue = store(parameters.keyBlue, readings.keyBlue);
    outcome.resetSmoothRange = store(parameters.smoothRange, readings.smoothRange);
    outcome.endDialog = !outcome.resetKeyRed && !outcome.resetKeyGreen && !outcome.resetKeyBlue &&
                        !outcome.resetSmoothRange;
    return outcome;
}

OSErr initColourServicesInfo(ColorServicesInfo& info) {
    info = ColorServicesInfo{};
    info.infoSize = static_cast<int32_t>(sizeof(ColorServicesInfo));
    info.selector = plugIncolorServicesConvertColor;
    info.sourceSpace = plugIncolorServicesRGBSpace;
    info.resultSpace = plugIncolorServicesChosenSpace;
    return noErr;
}

ColorServicesInfo chooseColourRequest() {
    ColorServicesInfo info;
    initColourServicesInfo(info);
    info.selector = plugIncolorServicesChooseColor;
    info.sourceSpace = plugIncolorServicesRGBSpace;
    info.resultSpace = plugIncolorServicesRGBSpace;
    return info;
}

bool takePickedColour(FilterParameters& parameters, OSErr code, const ColorServicesInfo& answer) {
    if (code != noErr)
        return false;
    parameters.keyRed = answer.colorComponents[0];
    parameters.keyGreen = answer.colorComponents[1];
    parameters.keyBlue = answer.colorComponents[2];
    return true;
}
