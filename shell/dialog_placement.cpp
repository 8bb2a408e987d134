// The placement of a dialog over its parent window.
#include "dialog_placement.h"

#include <algorithm>

namespace {

// Pulls a position back so that the far edge meets the screen's edge, but never past 0; a
// position already off the near edge is left there.
int32_t keepFarEdgeOnScreen(int32_t position, int32_t size, int32_t screen) {
    if (position + size > screen)
        return std::max(screen - size, 0);
    return position;
}

} // namespace

DialogPosition centredPosition(const PlacementInput& input) {
    int32_t allowance = input.captionButtonWidth;
    if (!input.hasSystemMenu)
        allowance -= allowance / 3;
    const int32_t freeWidth = std::max(0, input.referenceWidth - input.dialogWidth);
    const int32_t freeHeight = std::max(0, input.referenceHeight - input.dialogHeight);
    DialogPosition position;
    position.x = input.referenceLeft + freeWidth / 2 - allowance;
    position.y = input.referenceTop + freeHeight / 3;
    position.x = keepFarEdgeOnScreen(position.x, input.dialogWidth, input.screenWidth);
    position.y = keepFarEdgeOnScreen(position.y, input.dialogHeight, input.screenHeight);
    return position;
}
