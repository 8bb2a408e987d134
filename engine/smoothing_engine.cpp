// Edge classification, run measurement, corner patterns and blending along runs, written once
// for 8-bit and 16-bit samples.
#include "smoothing_engine.h"

#include "changed_pixels.h"

#include <algorithm>
#include <cstdlib>

namespace {

struct Position {
    int32_t x;
    int32_t y;
    bool operator==(const Position&) const = default;
};

// Chebyshev distance: the number of steps between two positions on one line.
int32_t distance(Position a, Position b) {
    return std::max(std::abs(a.x - b.x), std::abs(a.y - b.y));
}

// Halves of a signed offset: near rounds toward zero, far takes the rest.
int32_t nearHalf(int32_t d) {
    return d / 2;
}
int32_t farHalf(int32_t d) {
    return d - d / 2;
}

Position step(Position p, int32_t direction, int32_t count = 1) {
    return {p.x + cellDx[direction] * count, p.y + cellDy[direction] * count};
}

// Of two walk ends a and b, the one nearer to (farther from) the centre, coordinate by
// coordinate; ties go to a.
Position nearerOf(Position a, Position b, Position centre) {
    return {std::abs(a.x - centre.x) <= std::abs(b.x - centre.x) ? a.x : b.x,
            std::abs(a.y - centre.y) <= std::abs(b.y - centre.y) ? a.y : b.y};
}

// Cells around the centre as seen facing a direction.
struct Facing {
    explicit Facing(int32_t d)
        : front(d), left(turnLeft90[d]), right(turnRight90[d]), frontLeft(turnLeft45[d]),
          frontRight(turnRight45[d]), back(oppositeCell[d]), backLeft(turnRight45[back]),
          backRight(turnLeft45[back]) {}
    int32_t front, left, right, frontLeft, frontRight, back, backLeft, backRight;
};

} // namespace

template <typename Sample>
SmoothingEngine<Sample>::SmoothingEngine(FilterRecord& filterRecord, int32_t smoothRange)
    : filterRecord(filterRecord), smoothRange(smoothRange),
      walkSmoothRange(static_cast<uint32_t>(smoothRange)), window_(filterRecord) {
    for (int32_t cell = 0; cell < 9; ++cell)
        cellOffset_[cell] = cellDy[cell] * window_.inputRowBytes() +
                            cellDx[cell] * int64_t{SampleTraits<Sample>::pixelSize};
}

template <typename Sample> void SmoothingEngine<Sample>::scan() {
    scanRows(window_.bounds().top, window_.bounds().bottom);
}

template <typename Sample> void SmoothingEngine<Sample>::scanRows(int32_t top, int32_t bottom) {
    constexpr size_t pixelSize = SampleTraits<Sample>::pixelSize;
    const VRect& bounds = window_.bounds();
    if (bounds.left >= bounds.right)
        return;
    const int32_t width = bounds.right - bounds.left;
    const int64_t rowBytes = window_.inputRowBytes();
    Neighbourhood neighbourhood;
    for (int32_t y = std::max(top, bounds.top); y < std::min(bottom, bounds.bottom); ++y) {
        const auto* row =
            reinterpret_cast<const uint8_t*>(window_.inputPixelInside(bounds.left, y));
        // A missing row compares equal, like the missing neighbour it stands for.
        const uint8_t* above = y > bounds.top ? row - rowBytes : row;
        const uint8_t* below = y + 1 < bounds.bottom ? row + rowBytes : row;
        for (int32_t x = firstChangedPixel<pixelSize>(row, above, below, 0, width); x < width;
             x = firstChangedPixel<pixelSize>(row, above, below, x + 1, width))
            treatPixel(bounds.left + x, y, neighbourhood);
    }
}

template <typename Sample>
void SmoothingEngine<Sample>::treatPixel(int32_t x, int32_t y, Neighbourhood& neighbourhood) const {
    gatherNeighbourhood(x, y, neighbourhood);
    const Sample* centre = neighbourhood.centre();
    for (int32_t direction : sideDirections) {
        // Facing an identical or missing neighbour the luminance difference is 0: no edge.
        const Sample* front = neighbourhood.cells[direction];
        if (front == nullptr || samePixel(centre, front))
            continue;
        dispatchDirection(neighbourhood, x, y, direction, classifyEdge(neighbourhood, direction));
    }
}

template <typename Sample>
void SmoothingEngine<Sample>::gatherNeighbourhood(int32_t x, int32_t y,
                                                  Neighbourhood& neighbourhood) const {
    if (hasFullNeighbourhood(x, y)) {
        const auto* centre = reinterpret_cast<const uint8_t*>(window_.inputPixelInside(x, y));
        for (int32_t cell = 0; cell < 9; ++cell)
            neighbourhood.cells[cell] = reinterpret_cast<const Sample*>(centre + cellOffset_[cell]);
        return;
    }
    for (int32_t cell = 0; cell < 9; ++cell)
        neighbourhood.cells[cell] = window_.inputPixel(x + cellDx[cell], y + cellDy[cell]);
}

template <typename Sample>
void SmoothingEngine<Sample>::write(int32_t x, int32_t y, WriteKind kind,
                                    const Sample* value) const {
    Sample* output = window_.outputPixelInside(x, y);
    const Sample* input = window_.inputPixelInside(x, y);
    if (log_ == nullptr) {
        applyWrite(output, input, kind, value);
        return;
    }
    const WriteRoute route = log_->route(x, y);
    if (route == WriteRoute::Apply) {
        applyWrite(output, input, kind, value);
        return;
    }
    if (route == WriteRoute::Drop)
        return;
    RecordedWrite<Sample> recorded{x, y, kind, {}};
    std::copy(value, value + 4, recorded.value.data());
    (route == WriteRoute::Keep ? log_->kept : log_->foreign).push_back(recorded);
}

template <typename Sample>
EdgeClass SmoothingEngine<Sample>::classifyEdge(const Neighbourhood& neighbourhood,
                                                int32_t direction) const {
    const Facing facing(direction);
    const Sample* const* cells = neighbourhood.cells;
    const Sample* centre = cells[centreCell];
    const int32_t brighter = luminanceTolerance();
    auto matches = [&](const Sample* a, const Sample* b) { return pixelsMatch(a, b, smoothRange); };
    auto isBrighter = [&](const Sample* a, const Sample* b) {
        return brighterBeyond(a, b, brighter);
    };

    const Sample* front = cells[facing.front];
    if (!darkerBeyond(centre, front, brighter))
        return EdgeNone;

    // Only an edge that is not straight asks, and a matching left or right cell already answers.
    auto isolated = [&] {
        for (int32_t cell : neighbourCells) {
            if (matches(centre, cells[cell]))
                return false;
        }
        return true;
    };

    const Sample* left = cells[facing.left];
    const Sample* right = cells[facing.right];
    const Sample* frontLeft = cells[facing.frontLeft];
    const Sample* frontRight = cells[facing.frontRight];
    const bool leftMatches = matches(centre, left);
    const bool rightMatches = matches(centre, right);
    const bool straight =
        (leftMatches && matches(front, frontLeft)) || (rightMatches && matches(front, frontRight));

    if (!straight) {
        const bool frontLeftMatches = matches(centre, frontLeft);
        const bool frontRightMatches = matches(centre, frontRight);
        // A one-pixel notch in an otherwise straight border of the centre's colour.
        if (frontLeftMatches != frontRightMatches && leftMatches && rightMatches)
            return EdgeNone;
        return !leftMatches && !rightMatches && isolated() ? EdgeIsolated : EdgeStep;
    }

    if (left == nullptr || right == nullptr)
        return EdgeNone;
    const bool innerCorner =
        (leftMatches && matches(centre, frontRight) && isBrighter(frontLeft, centre)) ||
        (rightMatches && matches(centre, frontLeft) && isBrighter(frontRight, centre));
    const Sample* back = cells[facing.back];
    if (back != nullptr && leftMatches && matches(centre, cells[facing.backLeft]) &&
        matches(centre, back) && isBrighter(right, centre) && matches(right, front) &&
        matches(right, frontLeft) && matches(right, cells[facing.backRight]))
        return EdgeOuterCorner;
    return innerCorner ? EdgeInnerCorner : EdgeNone;
}

template <typename Sample>
void SmoothingEngine<Sample>::dispatchDirection(const Neighbourhood& neighbourhood, int32_t x,
                                                int32_t y, int32_t direction,
                                                EdgeClass edgeClass) const {
    switch (edgeClass) {
    case EdgeStep: {
        RunMeasurement run;
        measureRun(neighbourhood, x, y, direction, run);
        if (run.frontX != run.backX || run.frontY != run.backY)
            blendRun(neighbourhood, x, y, direction, run);
        break;
    }
    case EdgeInnerCorner:
    case EdgeOuterCorner:
        applyCornerPattern(neighbourhood, x, y, direction, edgeClass);
        break;
    case EdgeIsolated: {
        Colour<Sample> averaged;
        neighbourhood.average(averaged.data(), 5);
        write(x, y, WriteKind::Overwrite, averaged.data());
        break;
    }
    default:
        break;
    }
}

template <typename Sample>
int32_t SmoothingEngine<Sample>::followRun(int32_t startX, int32_t startY, int32_t sideDirection,
                                           int32_t stepDirection, int32_t& endX, int32_t& endY,
                                           uint32_t tolerance) const {
    const int32_t tol = static_cast<int32_t>(tolerance);
    const int32_t sideDx = cellDx[sideDirection];
    const int32_t sideDy = cellDy[sideDirection];
    endX = startX;
    endY = startY;
    const Sample* main = window_.inputPixel(endX, endY);
    const Sample* side = window_.inputPixel(endX + sideDx, endY + sideDy);
    bool mainOk = main != nullptr;
    bool sideOk = side != nullptr;
    bool met = pixelsMatch(main, side, tol);
    // Walks are short (one or two steps on line art): two inside tests a step cost less than
    // working out how far both tracks may go unchecked.
    while (mainOk && sideOk && !met) {
        endX += cellDx[stepDirection];
        endY += cellDy[stepDirection];
        const Sample* nextMain = window_.inputPixel(endX, endY);
        const Sample* nextSide = window_.inputPixel(endX + sideDx, endY + sideDy);
        mainOk = pixelsMatch(main, nextMain, tol);
        sideOk = pixelsMatch(side, nextSide, tol);
        met = pixelsMatch(nextMain, nextSide, tol);
        main = nextMain;
        side = nextSide;
    }
    endX -= cellDx[stepDirection];
    endY -= cellDy[stepDirection];
    if (!mainOk)
        return sideOk ? MainChanged : BothChanged;
    if (!sideOk)
        return SideChanged;
    return stepDirection;
}

template <typename Sample>
bool SmoothingEngine<Sample>::continuesLine(const Sample* centre, const Sample* cell) const {
    return pixelsMatch(centre, cell, smoothRange) ||
           brighterBeyond(centre, cell, luminanceTolerance());
}

template <typename Sample>
void SmoothingEngine<Sample>::measureRun(const Neighbourhood& neighbourhood, int32_t x, int32_t y,
                                         int32_t direction, RunMeasurement& run) const {
    const Facing facing(direction);
    const Sample* const* cells = neighbourhood.cells;
    const Sample* centre = cells[centreCell];
    const Position c{x, y};
    const int32_t tolerance = luminanceTolerance();
    auto walk = [&](Position from, int32_t side, int32_t stepDirection, Position& end) {
        return followRun(from.x, from.y, side, stepDirection, end.x, end.y, walkSmoothRange);
    };
    auto setFront = [&](Position p) { run.frontX = p.x, run.frontY = p.y; };
    auto setBack = [&](Position p) { run.backX = p.x, run.backY = p.y; };

    run = RunMeasurement{};
    setFront(c);
    setBack(c);
    run.secondBackX = x;
    run.secondBackY = y;

    const bool tip = brighterBeyond(cells[facing.frontLeft], centre, tolerance) &&
                     brighterBeyond(cells[facing.frontRight], centre, tolerance) &&
                     brighterBeyond(cells[facing.left], centre, tolerance) &&
                     brighterBeyond(cells[facing.right], centre, tolerance);
    if (tip) {
        Position endLeft{}, endRight{};
        const int32_t leftEnd = walk(c, facing.left, facing.back, endLeft);
        const int32_t rightEnd = walk(c, facing.right, facing.back, endRight);
        Position back;
        if (leftEnd == MainChanged && rightEnd == MainChanged) {
            run.kind = IsolatedTip;
            back = nearerOf(endLeft, endRight, c);
        } else {
            run.kind = Tip;
            // The farther end, ties to the left walk; the second back end is the other one.
            const bool leftX = std::abs(endLeft.x - x) >= std::abs(endRight.x - x);
            const bool leftY = std::abs(endLeft.y - y) >= std::abs(endRight.y - y);
            back = {leftX ? endLeft.x : endRight.x, leftY ? endLeft.y : endRight.y};
            Position second{leftX ? endRight.x : endLeft.x, leftY ? endRight.y : endLeft.y};
            const Position moved = step(second, facing.back);
            const VRect& bounds = window_.bounds();
            // Strictly inside on the top and left: a moved point on the first row or column
            // stays where it was.
            if (bounds.left < moved.x && moved.x < bounds.right && bounds.top < moved.y &&
                moved.y < bounds.bottom)
                second = moved;
            run.secondBackX = second.x;
            run.secondBackY = second.y;
        }
        setBack(back);
        run.evenSpan = distance(back, c) % 2 == 0;
        return;
    }

    run.kind = Step;
    const Position n = step(c, facing.front);
    Position front = n;
    const bool frontLeftContinues = continuesLine(centre, cells[facing.frontLeft]);
    const bool frontRightContinues = continuesLine(centre, cells[facing.frontRight]);
    if (frontLeftContinues) {
        walk(n, facing.left, facing.front, front);
        Position other = n;
        if (frontRightContinues)
            walk(n, facing.right, facing.front, other);
        if (distance(front, c) < distance(other, c))
            front = other;
    } else if (frontRightContinues) {
        walk(n, facing.right, facing.front, front);
    }
    setFront(front);

    const Sample* left = cells[facing.left];
    const Sample* right = cells[facing.right];
    const Sample* frontCell = cells[facing.front];
    const bool leftMatches = pixelsMatch(centre, left, smoothRange);
    const bool rightMatches = pixelsMatch(centre, right, smoothRange);
    if (front == n && leftMatches && rightMatches)
        run.kind = Flank;

    auto continues = [&](bool matches, const Sample* cell) {
        return matches || brighterBeyond(centre, cell, tolerance);
    };
    if ((continues(leftMatches, left) && continues(rightMatches, right)) ||
        (darkerBeyond(left, frontCell, tolerance) && darkerBeyond(right, frontCell, tolerance))) {
        run.noBackRun = true;
        return;
    }

    // Walks read only the input: the one whose end goes unused is left out.
    Position endRight{}, endLeft{};
    if (leftMatches) {
        walk(c, facing.right, facing.back, endRight);
        setBack(endRight);
    } else if (rightMatches) {
        walk(c, facing.left, facing.back, endLeft);
        setBack(endLeft);
    } else {
        walk(c, facing.right, facing.back, endRight);
        walk(c, facing.left, facing.back, endLeft);
        setBack(nearerOf(endLeft, endRight, c));
    }
}

template <typename Sample>
void SmoothingEngine<Sample>::applyCornerPattern(const Neighbourhood& neighbourhood, int32_t x,
                                                 int32_t y, int32_t direction,
                                                 EdgeClass edgeClass) const {
    if (edgeClass != EdgeInnerCorner && edgeClass != EdgeOuterCorner)
        return;
    const Facing facing(direction);
    const Position c{x, y};
    const uint32_t tolerance = static_cast<uint32_t>(smoothRange);
    // Length of a walk: positions from start to end inclusive.
    auto walkLength = [&](Position from, int32_t side, int32_t stepDirection) {
        Position end{};
        followRun(from.x, from.y, side, stepDirection, end.x, end.y, tolerance);
        return distance(from, end) + 1;
    };
    // A corner is small when both edges reach 2 pixels and one of them is at most 3.
    auto small = [](int32_t a, int32_t b) { return a >= 2 && b >= 2 && std::min(a, b) <= 3; };

    Colour<Sample> averaged;
    if (edgeClass == EdgeOuterCorner) {
        if (!small(walkLength(c, facing.front, facing.left),
                   walkLength(c, facing.right, facing.back)))
            return;
        neighbourhood.average(averaged.data(), 2);
        write(x, y, WriteKind::Merge, averaged.data());
        return;
    }

    const Position n = step(c, facing.front);
    if (!small(walkLength(n, facing.left, facing.front), walkLength(n, facing.back, facing.right)))
        return;
    if (!window_.insideFilterRect(n.x, n.y))
        return;
    Neighbourhood around;
    gatherNeighbourhood(n.x, n.y, around);
    around.average(averaged.data(), 2);
    write(n.x, n.y, WriteKind::Merge, averaged.data());
}

// A measured run with its ends moved half-way towards the centre, and the lengths the weights
// along it are made of.
struct MovedRun {
    // As measured: positions from the back end to the second back end, steps from the second
    // back end to the front end, and positions from the back end to the front end.
    int32_t backSpan;
    int32_t frontSpan;
    int32_t wholeSpan;
    // A Step whose back end lies as far from the centre as its front end.
    bool balanced;
    Position front;      // half-way to the front end, rounded away from the centre
    Position back;       // half-way to the back end, rounded towards the centre unless balanced
    Position secondBack; // half-way to the second back end
    // Positions from the moved back end to the moved front end and to the moved second back
    // end, and steps from the moved back end to the centre.
    int32_t length;
    int32_t backLength;
    int32_t centreSteps;
};

namespace {

MovedRun moveRunEnds(const RunMeasurement& run, Position c) {
    const Position f{run.frontX, run.frontY};
    const Position b{run.backX, run.backY};
    const Position s{run.secondBackX, run.secondBackY};
    auto nearHalfway = [c](Position p) {
        return Position{c.x + nearHalf(p.x - c.x), c.y + nearHalf(p.y - c.y)};
    };
    auto farHalfway = [c](Position p) {
        return Position{c.x + farHalf(p.x - c.x), c.y + farHalf(p.y - c.y)};
    };

    MovedRun moved{};
    moved.backSpan = distance(b, s) + 1;
    moved.frontSpan = distance(f, s);
    moved.wholeSpan = distance(f, b) + 1;
    moved.balanced = run.kind == Step && moved.backSpan == moved.frontSpan + 1;
    moved.front = farHalfway(f);
    moved.back = moved.balanced ? farHalfway(b) : nearHalfway(b);
    moved.secondBack = nearHalfway(s);
    if (run.kind == Tip) {
        // From the second back end half-way to the moved front, rounded towards the second back
        // end in a coordinate where rounding away would land on the centre's.
        Position& second = moved.secondBack;
        second = {s.x + farHalf(moved.front.x - s.x), s.y + farHalf(moved.front.y - s.y)};
        if (second.x == c.x)
            second.x = s.x + nearHalf(moved.front.x - s.x);
        if (second.y == c.y)
            second.y = s.y + nearHalf(moved.front.y - s.y);
    }
    moved.length = distance(moved.front, moved.back) + 1;
    moved.backLength = distance(moved.back, moved.secondBack) + 1;
    moved.centreSteps = distance(moved.back, c);
    return moved;
}

// 1 / value, in single precision from an integer.
float reciprocal(int32_t value) {
    return 1.0f / static_cast<float>(value);
}

} // namespace

template <typename Sample>
void SmoothingEngine<Sample>::blendRun(const Neighbourhood& neighbourhood, int32_t x, int32_t y,
                                       int32_t direction, const RunMeasurement& run) const {
    switch (run.kind) {
    case Flank:
        blendFlank(x, y, direction);
        return;
    case IsolatedTip:
    case Tip:
    case Step:
        break;
    default:
        return;
    }
    if (neighbourhood.cells[direction] == nullptr)
        return;
    const MovedRun moved = moveRunEnds(run, {x, y});
    if (run.kind != Step)
        blendTip(neighbourhood, x, y, direction, run, moved);
    else if (moved.balanced)
        blendBalancedStep(neighbourhood, direction, moved);
    else
        blendStep(neighbourhood, direction, run, moved);
}

// The side of a line crossing the direction: the front neighbour takes its own neighbourhood's
// average.
template <typename Sample>
void SmoothingEngine<Sample>::blendFlank(int32_t x, int32_t y, int32_t direction) const {
    const Position p = step({x, y}, direction);
    if (!window_.insideFilterRect(p.x, p.y))
        return;
    Neighbourhood around;
    gatherNeighbourhood(p.x, p.y, around);
    Colour<Sample> averaged;
    around.average(averaged.data(), 4);
    write(p.x, p.y, WriteKind::Overwrite, averaged.data());
}

// The tip of a one-pixel-thick segment: one walk that mixes every pixel of the moved run with
// the target colour, or, for a one-pixel run, the centre's plain average.
template <typename Sample>
void SmoothingEngine<Sample>::blendTip(const Neighbourhood& neighbourhood, int32_t x, int32_t y,
                                       int32_t direction, const RunMeasurement& run,
                                       const MovedRun& moved) const {
    const Sample* centre = neighbourhood.centre();
    const Sample* frontNeighbour = neighbourhood.cells[direction];
    // Towards the left cell where the colours grade centre < left < front.
    const Sample* leftCell = neighbourhood.cells[turnLeft90[direction]];
    const Sample* target = frontNeighbour;
    if (darkerBeyond(centre, leftCell, 0) && darkerBeyond(leftCell, frontNeighbour, 0))
        target = leftCell;

    const int32_t n = moved.length;
    auto walkRun = [&](const InterpolationFunction& weight) {
        blendWalk(direction, moved.back.x, moved.back.y, centre, moved.front.x, moved.front.y,
                  target, weight, n);
    };
    if (run.kind == IsolatedTip) {
        if (run.evenSpan) {
            walkRun(LinearOffsetFunction(reciprocal(2 * n), 1.0f - reciprocal(2 * n)));
        } else {
            const int32_t odd = 2 * n - 1;
            walkRun(LinearOffsetZeroValue(reciprocal(odd), 1.0f - reciprocal(odd),
                                          1.0f / (static_cast<float>(4 * odd) - 0.5f)));
        }
        return;
    }
    if (n == 1) {
        Colour<Sample> averaged;
        neighbourhood.average(averaged.data(), 1);
        write(x, y, WriteKind::Overwrite, averaged.data());
        return;
    }
    const float backLength = static_cast<float>(moved.backLength);
    walkRun(LinearThreeOffsetFunction(reciprocal(4 * n), backLength / static_cast<float>(2 * n),
                                      backLength / static_cast<float>(n),
                                      1.0f - reciprocal(2 * n)));
}

// A step whose ends lie equally far from the centre: one walk across the whole moved run.
template <typename Sample>
void SmoothingEngine<Sample>::blendBalancedStep(const Neighbourhood& neighbourhood,
                                                int32_t direction, const MovedRun& moved) const {
    const float slope =
        static_cast<float>(moved.backLength - 1) / (static_cast<float>(moved.backSpan) - 0.5f);
    const float endWeight = moved.backSpan % 2 != 0 ? reciprocal(2 * moved.wholeSpan - 1)
                                                    : reciprocal(8 * (2 * moved.length - 1));
    const LinearOffsetZeroOneValue weight(0.5f - slope, 0.5f + slope, endWeight, 1.0f - endWeight);
    blendWalk(direction, moved.back.x, moved.back.y, neighbourhood.centre(), moved.front.x,
              moved.front.y, neighbourhood.cells[direction], weight, moved.centreSteps);
}

// Any other step: a back walk up to the second back end that leans towards the front colour,
// then a front walk beyond it that leans towards the centre colour.
template <typename Sample>
void SmoothingEngine<Sample>::blendStep(const Neighbourhood& neighbourhood, int32_t direction,
                                        const RunMeasurement& run, const MovedRun& moved) const {
    const Sample* centre = neighbourhood.centre();
    const Sample* frontNeighbour = neighbourhood.cells[direction];
    if (!run.noBackRun) {
        const int32_t span = moved.backSpan;
        auto walkBack = [&](const InterpolationFunction& weight) {
            blendWalk(direction, moved.back.x, moved.back.y, centre, moved.secondBack.x,
                      moved.secondBack.y, frontNeighbour, weight, moved.centreSteps);
        };
        if (span % 2 != 0) {
            const float endWeight = reciprocal(8 * span);
            const float rampEnd = 0.5f - reciprocal(2 * span);
            walkBack(
                LinearOffsetZeroValue(0.0f, rampEnd > endWeight ? rampEnd : endWeight, endWeight));
        } else {
            walkBack(LinearOffsetFunction(reciprocal(2 * span), 0.5f - reciprocal(2 * span)));
        }
    }
    const int32_t span = moved.frontSpan;
    if (span <= 0)
        return;
    const Position start = step(moved.secondBack, direction);
    auto walkFront = [&](const InterpolationFunction& weight) {
        blendWalk(direction, start.x, start.y, centre, moved.front.x, moved.front.y, frontNeighbour,
                  weight, -1);
    };
    if (span % 2 != 0) {
        const float endWeight = 1.0f - reciprocal(8 * span);
        const float rampStart = 0.5f + reciprocal(2 * span);
        walkFront(
            LinearOffsetOneValue(endWeight > rampStart ? rampStart : endWeight, 1.0f, endWeight));
    } else {
        walkFront(LinearOffsetFunction(0.5f + reciprocal(2 * span), 1.0f - reciprocal(2 * span)));
    }
}

template <typename Sample>
void SmoothingEngine<Sample>::blendWalk(int32_t direction, int32_t startX, int32_t startY,
                                        const Sample* fromColour, int32_t endX, int32_t endY,
                                        const Sample* toColour, const InterpolationFunction& weight,
                                        int32_t switchStep) const {
    static constexpr float fullScale = SampleTraits<Sample>::fullScale;
    Colour<Sample> from;
    Colour<Sample> to;
    std::copy(fromColour, fromColour + 4, from.data());
    std::copy(toColour, toColour + 4, to.data());
    const int32_t count = distance({startX, startY}, {endX, endY});
    for (int32_t i = 0; i <= count; ++i) {
        const float t = count > 0 ? static_cast<float>(i) / static_cast<float>(count) : 0.0f;
        float w = weight.evaluate(t);
        if (w > 1.0f)
            w = 1.0f;
        if (w < 0.0f)
            w = 0.0f;
        if (w != w)
            w = 0.0f;
        const int32_t px = startX + i * cellDx[direction];
        const int32_t py = startY + i * cellDy[direction];
        if (!window_.insideFilterRect(px, py))
            continue; // outside the filter rectangle: nothing read or written
        const Sample* input = window_.inputPixelInside(px, py);
        Colour<Sample>& follower = i <= switchStep ? from : to;
        std::copy(input, input + 4, follower.data());

        Colour<Sample> mixed;
        blendChannels(&from.samples[Red], &from.samples[Green], &from.samples[Blue],
                      &from.samples[Alpha], 1.0f - w, &to.samples[Red], &to.samples[Green],
                      &to.samples[Blue], &to.samples[Alpha], w, &mixed.samples[Red],
                      &mixed.samples[Green], &mixed.samples[Blue], &mixed.samples[Alpha],
                      fullScale);
        write(px, py, WriteKind::Merge, mixed.data());
    }
}

template class SmoothingEngine<uint8_t>;
template class SmoothingEngine<uint16_t>;
