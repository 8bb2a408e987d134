// What the options dialog does with the user's input, apart from the controls themselves: which
// typed values are accepted into the parameter record, which edits go back to the stored value,
// and how a colour from the host's picker becomes the key colour. Portable, so it is tested
// without a window system.
#pragma once

#include "filter_pass.h"
#include "host_interface.h"

// One edit as the platform reads it: the signed value and whether the text was a number at all.
struct EditReading {
    int32_t value = 0;
    bool translated = false;
};

// The four edits the OK button reads, in the order they are checked.
struct OptionsReadings {
    EditReading keyRed, keyGreen, keyBlue, smoothRange;
};

// What one press of OK leads to. A reset edit shows its field's current value again.
struct OkOutcome {
    bool endDialog = false;
    bool resetKeyRed = false, resetKeyGreen = false, resetKeyBlue = false;
    bool resetSmoothRange = false;
};

// Stores every accepted value (0..255) in parameters at once; refused values leave their field
// alone. The dialog may end only when all four are accepted.
OkOutcome applyOk(FilterParameters& parameters, const OptionsReadings& readings);

// Fills info with the host's neutral request: convert (selector 1), RGB to the chosen space, no
// colour, no prompt. Always succeeds.
OSErr initColourServicesInfo(ColorServicesInfo& info);

// The request the Choose Color button hands to the host: pick a colour in RGB, starting on black.
ColorServicesInfo chooseColourRequest();

// Takes the picked colour as the key when the host reports success (code 0). Returns whether the
// key changed, so the caller knows to show the new values.
bool takePickedColour(FilterParameters& parameters, OSErr code, const ColorServicesInfo& answer);
