// Where a dialog goes over its parent window: the arithmetic behind centreDialog, free of any
// window system so it can be checked with plain numbers.
#pragma once

#include <cstdint>

struct PlacementInput {
    // The parent's client area in screen coordinates (the desktop when there is no parent).
    int32_t referenceLeft = 0, referenceTop = 0, referenceWidth = 0, referenceHeight = 0;
    int32_t dialogWidth = 0, dialogHeight = 0; // the dialog's whole window
    int32_t captionButtonWidth = 0;            // the platform's SM_CXSIZE
    bool hasSystemMenu = false;
    int32_t screenWidth = 0, screenHeight = 0;
};

struct DialogPosition {
    int32_t x = 0, y = 0;
};

// Horizontally centred less a caption-button allowance, a third of the free height below the
// reference's top, pulled back onto the screen when it would run off the right or bottom edge.
DialogPosition centredPosition(const PlacementInput& input);
