// The smoothing engine of one filter pass: edge classification in the four side directions,
// run measurement, corner softening and blending along staircase runs. Every decision reads the
// input buffer only; every effect is a write into the output buffer.
#pragma once

#include "blend_weights.h"
#include "host_interface.h"
#include "image_window.h"
#include "neighbourhood.h"
#include "output_writes.h"

#include <cstdint>

enum EdgeClass : int32_t {
    EdgeNone = 0,
    EdgeStep = 1,        // the centre ends a run of a staircase
    EdgeInnerCorner = 2, // the front neighbour sits in an inner corner of the centre's colour
    EdgeOuterCorner = 3, // the centre is the outer corner of a block of its colour
    EdgeIsolated = 4,    // the centre matches none of its eight neighbours
};

enum RunKind : int32_t {
    IsolatedTip = 0, // tip of a one-pixel-thick segment whose own row changed on both walks
    Tip = 1,         // tip of a one-pixel-thick segment otherwise
    Step = 2,        // last pixel of a staircase step
    Flank = 3,       // side of a line crossing the direction
};

// Result of followRun when the walk ended for a reason other than the two tracks meeting (then
// the result is the step direction, which is never 0..2 here).
enum RunEnd : int32_t { MainChanged = 0, SideChanged = 1, BothChanged = 2 };

struct RunMeasurement {
    RunKind kind = Step;
    bool evenSpan = false;  // tip kinds: the centre-to-back distance is even
    bool noBackRun = false; // Step and Flank: the back end is the centre, unmeasured
    int32_t frontX = 0, frontY = 0;
    int32_t backX = 0, backY = 0;
    int32_t secondBackX = 0, secondBackY = 0;
};

struct MovedRun;

template <typename Sample> class SmoothingEngine {
  public:
    using Neighbourhood = PixelNeighbourhood<Sample>;

    // smoothRange: 0..255 in 8-bit units, for both depths. The window must be built after the
    // host has supplied the buffers.
    SmoothingEngine(FilterRecord& filterRecord, int32_t smoothRange);

    // Visits every pixel of the filter rectangle, top to bottom and left to right, and treats
    // it facing right, left, up and down in that order.
    void scan();
    // The same for the rows top..bottom - 1 of the filter rectangle only.
    void scanRows(int32_t top, int32_t bottom);
    // From now on, writes go through the log instead of straight into the output buffer (the
    // banded parallel pass); null restores direct writes.
    void recordWritesInto(BandWriteLog<Sample>* log) { log_ = log; }

    void gatherNeighbourhood(int32_t x, int32_t y, Neighbourhood& neighbourhood) const;
    EdgeClass classifyEdge(const Neighbourhood& neighbourhood, int32_t direction) const;
    void dispatchDirection(const Neighbourhood& neighbourhood, int32_t x, int32_t y,
                           int32_t direction, EdgeClass edgeClass) const;

    // Advances a main track from (startX, startY) and a side track one step towards sideDirection
    // from it, both in stepDirection, while each track keeps its colour and the two differ.
    // (endX, endY) is the last position where both were still running.
    int32_t followRun(int32_t startX, int32_t startY, int32_t sideDirection, int32_t stepDirection,
                      int32_t& endX, int32_t& endY, uint32_t tolerance) const;
    void measureRun(const Neighbourhood& neighbourhood, int32_t x, int32_t y, int32_t direction,
                    RunMeasurement& run) const;
    void applyCornerPattern(const Neighbourhood& neighbourhood, int32_t x, int32_t y,
                            int32_t direction, EdgeClass edgeClass) const;
    void blendRun(const Neighbourhood& neighbourhood, int32_t x, int32_t y, int32_t direction,
                  const RunMeasurement& run) const;
    void blendWalk(int32_t direction, int32_t startX, int32_t startY, const Sample* fromColour,
                   int32_t endX, int32_t endY, const Sample* toColour,
                   const InterpolationFunction& weight, int32_t switchStep) const;

    const ImageWindow<Sample>& window() const { return window_; }

    FilterRecord& filterRecord;
    int32_t smoothRange;
    uint32_t walkSmoothRange;

  private:
    // The smooth range in the units of luminanceDifference.
    int32_t luminanceTolerance() const {
        return smoothRange * SampleTraits<Sample>::toleranceScale;
    }
    bool continuesLine(const Sample* centre, const Sample* cell) const;
    // Classifies and treats one pixel in the four directions.
    void treatPixel(int32_t x, int32_t y, Neighbourhood& neighbourhood) const;
    // True when all nine cells around (x, y) lie inside the filter rectangle.
    bool hasFullNeighbourhood(int32_t x, int32_t y) const {
        return window_.insideFilterRect(x - 1, y - 1) && window_.insideFilterRect(x + 1, y + 1);
    }
    // blendRun for each kind of run.
    void blendFlank(int32_t x, int32_t y, int32_t direction) const;
    void blendTip(const Neighbourhood& neighbourhood, int32_t x, int32_t y, int32_t direction,
                  const RunMeasurement& run, const MovedRun& moved) const;
    void blendBalancedStep(const Neighbourhood& neighbourhood, int32_t direction,
                           const MovedRun& moved) const;
    void blendStep(const Neighbourhood& neighbourhood, int32_t direction, const RunMeasurement& run,
                   const MovedRun& moved) const;
    // Applies (or, in the banded pass, logs) a write to the output pixel at (x, y), which must
    // lie inside the filter rectangle.
    void write(int32_t x, int32_t y, WriteKind kind, const Sample* value) const;

    ImageWindow<Sample> window_;
    // Byte offset of each neighbour cell from the centre in the input.
    int64_t cellOffset_[9];
    BandWriteLog<Sample>* log_ = nullptr;
};

extern template class SmoothingEngine<uint8_t>;
extern template class SmoothingEngine<uint16_t>;
