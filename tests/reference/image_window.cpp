// Frozen copy of the straightforward engine, kept as the oracle that the fast engine and the
// parallel pass are compared against byte for byte. Do not optimise.
// Filter rectangle and requested rectangles of the host record.
#include "image_window.h"

namespace tovrin_reference {

VRect filterBounds(const FilterRecord& record) {
    if (record.bigDocumentData != nullptr)
        return record.bigDocumentData->filterRect32;
    const Rect& r = record.filterRect;
    return VRect{r.top, r.left, r.bottom, r.right};
}

namespace {

Rect toRect16(const VRect& rect) {
    return Rect{static_cast<int16_t>(rect.top), static_cast<int16_t>(rect.left),
                static_cast<int16_t>(rect.bottom), static_cast<int16_t>(rect.right)};
}

bool using32BitCoordinates(const FilterRecord& record) {
    return record.bigDocumentData != nullptr &&
           record.bigDocumentData->PluginUsing32BitCoordinates != 0;
}

} // namespace

void setInputRect(FilterRecord& record, const VRect& rect) {
    if (using32BitCoordinates(record))
        record.bigDocumentData->inRect32 = rect;
    else
        record.inRect = toRect16(rect);
}

void setOutputRect(FilterRecord& record, const VRect& rect) {
    if (using32BitCoordinates(record))
        record.bigDocumentData->outRect32 = rect;
    else
        record.outRect = toRect16(rect);
}

} // namespace tovrin_reference
