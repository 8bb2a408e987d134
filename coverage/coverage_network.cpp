// The coverage network's two kernels. Both use only integer arithmetic: every build, machine and
// thread count gives the same shares.
#include "coverage_network.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// x86-64 builds by GCC or Clang also carry kernels for AVX2, chosen when the processor has it.
// Integer sums are exact in any order: both give the same shares.
#if defined(__x86_64__) && defined(__GNUC__)
#define TOVRIN_HAS_AVX2_KERNELS 1
#include <immintrin.h>
#endif

namespace {

// Accumulators stay far inside int32: at most 121 (first layer) or 128 (second) products of
// weights below 128 and activations below 256, plus a bias below 2^20.
int32_t rescale(int32_t accumulator, int32_t shift) {
    return (accumulator + (int32_t{1} << (shift - 1))) >> shift;
}

int16_t activation(int32_t accumulator, int32_t shift) {
    return int16_t(std::clamp(rescale(accumulator, shift), int32_t{0}, activationMax));
}

int32_t shareOfScore(const CoverageModel& model, int32_t accumulator) {
    const int32_t index =
        std::clamp(rescale(accumulator, model.outputShift), -scoreIndexLimit, scoreIndexLimit);
    return model.scoreShares[index + scoreIndexLimit];
}

int32_t meanOfViews(int32_t a, int32_t b) { return (a + b + 1) >> 1; }

// The cell a cell of the mirror image across the diagonal shows: (row, column) <- (column, row).
int mirroredCell(int cell) {
    return cell % windowSide * windowSide + cell / windowSide;
}

// The pairs of first-layer activations that are not both zero (after the ReLU, most are): only
// these add to the second layer's sums. Bit p is set when pair p is active.
struct ActivePairs {
    const int16_t* first;
    uint64_t bits;

    int32_t pair(int p) const {
        int32_t word; // the pair's two int16 activations
        std::memcpy(&word, first + 2 * p, sizeof word);
        return word;
    }
};

ActivePairs activePairs(const int16_t* first) {
    static_assert(firstHidden / 2 <= 64);
    ActivePairs active{first, 0};
#if defined(__SSE2__)
    for (int v = 0; v < firstHidden / 8; ++v) {
        const __m128i four = _mm_load_si128(reinterpret_cast<const __m128i*>(first + 8 * v));
        const int zero =
            _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, _mm_setzero_si128())));
        active.bits |= uint64_t(~zero & 15) << (4 * v);
    }
#else
    for (int p = 0; p < firstHidden / 2; ++p)
        active.bits |= uint64_t{active.pair(p) != 0} << p;
#endif
    return active;
}

// Where the kernels differ, they share this shape: the first layer's sums from table rows, the
// second layer's accumulators from pairs of first-layer activations.
struct Kernel {
    void (*sumRows)(const int16_t* const* rows, int count, int16_t* sums);
    void (*secondSums)(const int16_t* pairs, const ActivePairs& active, int32_t* sums);
};

// The first layer's sums, eight lanes at a time: the compiler's vector extension, so that every
// build adds them as vectors (plain loops over the rows were left scalar by some compilers).
void sumRows(const int16_t* const* rows, int count, int16_t* sums) {
    using Lanes = int16_t __attribute__((vector_size(16)));
    static_assert(firstHidden % 8 == 0);
    Lanes lanes[firstHidden / 8] = {};
    for (int r = 0; r < count; ++r)
        for (int v = 0; v < firstHidden / 8; ++v) {
            Lanes row;
            std::memcpy(&row, rows[r] + 8 * v, sizeof row);
            lanes[v] += row;
        }
    std::memcpy(sums, lanes, sizeof lanes);
}

// The second layer's sums (bias not yet added): every pair of first-layer activations times its
// two weights of every output, four outputs a vector, in two halves to stay within the registers.
void secondSums(const int16_t* pairs, const ActivePairs& active, int32_t* sums) {
#if defined(__SSE2__)
    constexpr int half = secondHidden / 2;
    for (int part = 0; part < 2; ++part) {
        __m128i lanes[half / 4];
        for (__m128i& l : lanes)
            l = _mm_setzero_si128();
        for (uint64_t bits = active.bits; bits != 0; bits &= bits - 1) {
            const int p = __builtin_ctzll(bits);
            const __m128i x = _mm_set1_epi32(active.pair(p));
            const int16_t* w = pairs + (p * secondHidden + part * half) * 2;
            for (int v = 0; v < half / 4; ++v)
                lanes[v] = _mm_add_epi32(
                    lanes[v], _mm_madd_epi16(_mm_loadu_si128(
                                                 reinterpret_cast<const __m128i*>(w + 8 * v)),
                                             x));
        }
        for (int v = 0; v < half / 4; ++v)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + part * half + 4 * v), lanes[v]);
    }
#else
    std::fill_n(sums, secondHidden, 0);
    for (int p = 0; p < firstHidden / 2; ++p)
        for (int k = 0; k < secondHidden; ++k) {
            const int16_t* w = pairs + (p * secondHidden + k) * 2;
            sums[k] +=
                int32_t{w[0]} * active.first[2 * p] + int32_t{w[1]} * active.first[2 * p + 1];
        }
#endif
}

#if defined(TOVRIN_HAS_AVX2_KERNELS)
__attribute__((target("avx2"))) void sumRowsAvx2(const int16_t* const* rows, int count,
                                                  int16_t* sums) {
    static_assert(firstHidden % 16 == 0);
    __m256i lanes[firstHidden / 16];
    for (__m256i& l : lanes)
        l = _mm256_setzero_si256();
    for (int r = 0; r < count; ++r)
        for (int v = 0; v < firstHidden / 16; ++v)
            lanes[v] = _mm256_add_epi16(
                lanes[v], _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[r] + 16 * v)));
    for (int v = 0; v < firstHidden / 16; ++v)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 16 * v), lanes[v]);
}

__attribute__((target("avx2"))) void secondSumsAvx2(const int16_t* pairs,
                                                     const ActivePairs& active, int32_t* sums) {
    static_assert(secondHidden % 8 == 0);
    __m256i lanes[secondHidden / 8];
    for (__m256i& l : lanes)
        l = _mm256_setzero_si256();
    for (uint64_t bits = active.bits; bits != 0; bits &= bits - 1) {
        const int p = __builtin_ctzll(bits);
        const __m256i x = _mm256_set1_epi32(active.pair(p));
        const int16_t* w = pairs + p * secondHidden * 2;
        for (int v = 0; v < secondHidden / 8; ++v)
            lanes[v] = _mm256_add_epi32(
                lanes[v],
                _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 16 * v)),
                                  x));
    }
    for (int v = 0; v < secondHidden / 8; ++v)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + 8 * v), lanes[v]);
}
#endif

// The first layer's activations from its sums (bias not yet added), eight at a time on x86-64.
void firstActivations(const CoverageModel& model, const int16_t* sums, int16_t* first) {
#if defined(__SSE2__)
    const __m128i shift = _mm_cvtsi32_si128(model.firstShift);
    const __m128i half = _mm_set1_epi32(int32_t{1} << (model.firstShift - 1));
    const __m128i top = _mm_set1_epi16(int16_t(activationMax));
    for (int j = 0; j < firstHidden; j += 8) {
        const __m128i s = _mm_load_si128(reinterpret_cast<const __m128i*>(sums + j));
        // Sign-extended to 32 bits, the bias and the half added, shifted; then clamped.
        __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16);
        __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16);
        low = _mm_add_epi32(low, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                     model.firstBias + j)));
        high = _mm_add_epi32(high, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                       model.firstBias + j + 4)));
        low = _mm_sra_epi32(_mm_add_epi32(low, half), shift);
        high = _mm_sra_epi32(_mm_add_epi32(high, half), shift);
        const __m128i packed = _mm_packs_epi32(low, high);
        _mm_store_si128(reinterpret_cast<__m128i*>(first + j),
                        _mm_min_epi16(_mm_max_epi16(packed, _mm_setzero_si128()), top));
    }
#else
    for (int j = 0; j < firstHidden; ++j)
        first[j] = activation(int32_t{sums[j]} + model.firstBias[j], model.firstShift);
#endif
}

// The last layer's accumulator from the second layer's sums (bias not yet added): the activations
// and their products with the output weights, four at a time on x86-64.
int32_t outputScore(const CoverageModel& model, const int32_t* sums) {
#if defined(__SSE2__)
    const __m128i shift = _mm_cvtsi32_si128(model.secondShift);
    const __m128i half = _mm_set1_epi32(int32_t{1} << (model.secondShift - 1));
    const __m128i top = _mm_set1_epi16(int16_t(activationMax));
    __m128i score = _mm_setzero_si128();
    for (int k = 0; k < secondHidden; k += 8) {
        __m128i low = _mm_add_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(sums + k)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                        model.secondBias + k)));
        __m128i high = _mm_add_epi32(
            _mm_load_si128(reinterpret_cast<const __m128i*>(sums + k + 4)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(model.secondBias + k + 4)));
        low = _mm_sra_epi32(_mm_add_epi32(low, half), shift);
        high = _mm_sra_epi32(_mm_add_epi32(high, half), shift);
        const __m128i second =
            _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(low, high), _mm_setzero_si128()), top);
        score = _mm_add_epi32(
            score, _mm_madd_epi16(second, _mm_loadu_si128(reinterpret_cast<const __m128i*>(
                                              model.outputWeights + k))));
    }
    score = _mm_add_epi32(score, _mm_shuffle_epi32(score, _MM_SHUFFLE(1, 0, 3, 2)));
    score = _mm_add_epi32(score, _mm_shuffle_epi32(score, _MM_SHUFFLE(2, 3, 0, 1)));
    return model.outputBias + _mm_cvtsi128_si32(score);
#else
    int32_t score = model.outputBias;
    for (int k = 0; k < secondHidden; ++k)
        score += int32_t{model.outputWeights[k]} *
                 activation(sums[k] + model.secondBias[k], model.secondShift);
    return score;
#endif
}

// One view's share by the plain layer-by-layer loops.
int32_t shareOfViewReference(const CoverageModel& model, const WindowMask& mask) {
    int16_t first[firstHidden];
    for (int j = 0; j < firstHidden; ++j) {
        int32_t sum = model.firstBias[j];
        for (int cell = 0; cell < inputCells; ++cell)
            sum += int32_t{model.firstWeights[cell][j]} * int32_t{mask.cells[cell]};
        first[j] = activation(sum, model.firstShift);
    }
    int16_t second[secondHidden];
    for (int k = 0; k < secondHidden; ++k) {
        int32_t sum = model.secondBias[k];
        for (int j = 0; j < firstHidden; ++j)
            sum += int32_t{model.secondWeights[k][j]} * int32_t{first[j]};
        second[k] = activation(sum, model.secondShift);
    }
    int32_t score = model.outputBias;
    for (int k = 0; k < secondHidden; ++k)
        score += int32_t{model.outputWeights[k]} * int32_t{second[k]};
    return shareOfScore(model, score);
}

} // namespace

MaskBits bitsOf(const WindowMask& mask) {
    static_assert(inputCells <= 128);
    MaskBits bits;
#if defined(__SSE2__)
    alignas(16) uint8_t padded[128] = {};
    std::memcpy(padded, mask.cells, inputCells);
    for (int part = 0; part < 8; ++part) {
        const __m128i cells = _mm_load_si128(reinterpret_cast<const __m128i*>(padded + 16 * part));
        const uint64_t set =
            uint32_t(_mm_movemask_epi8(_mm_cmpgt_epi8(cells, _mm_setzero_si128())));
        (part < 4 ? bits.low : bits.high) |= set << (16 * (part % 4));
    }
#else
    for (int cell = 0; cell < 64; ++cell)
        bits.low |= uint64_t{mask.cells[cell] != 0} << cell;
    for (int cell = 64; cell < inputCells; ++cell)
        bits.high |= uint64_t{mask.cells[cell] != 0} << (cell - 64);
#endif
    return bits;
}

CoverageNetwork::CoverageNetwork(const CoverageModel& model, bool useAvx2)
    : model_(model), useAvx2_(useAvx2 && canUseAvx2()),
      chunkSums_(size_t(views * chunks * patterns)),
      secondPairs_(size_t(firstHidden * secondHidden)) {
    // The mirror image's first-layer sums are the mask's own cells under the mirrored cells'
    // weights: both views read one set of chunk patterns.
    for (int view = 0; view < views; ++view)
        for (int chunk = 0; chunk < chunks; ++chunk)
            for (int pattern = 0; pattern < patterns; ++pattern) {
                auto& sums = chunkSums_[size_t((view * chunks + chunk) * patterns + pattern)];
                sums.fill(0);
                for (int bit = 0; bit < chunkCells; ++bit) {
                    const int cell = chunk * chunkCells + bit;
                    if ((pattern >> bit & 1) == 0 || cell >= inputCells)
                        continue;
                    const int16_t* column =
                        model.firstWeights[view == 0 ? cell : mirroredCell(cell)];
                    for (int j = 0; j < firstHidden; ++j)
                        sums[size_t(j)] = int16_t(sums[size_t(j)] + column[j]);
                }
            }
    for (int p = 0; p < firstHidden / 2; ++p)
        for (int k = 0; k < secondHidden; ++k)
            for (int i = 0; i < 2; ++i)
                secondPairs_[size_t((p * secondHidden + k) * 2 + i)] =
                    model.secondWeights[k][2 * p + i];
}

bool CoverageNetwork::canUseAvx2() {
#if defined(TOVRIN_HAS_AVX2_KERNELS)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

int32_t CoverageNetwork::share(const MaskBits& mask) const {
    // Every partial sum adds one weight of magnitude 127 at most from each of a set of cells.
    static_assert(inputCells * 127 <= INT16_MAX, "first-layer sums would overflow int16");
    int patternOfChunk[chunks];
    for (int chunk = 0; chunk < chunks; ++chunk) {
        const int first = chunk * chunkCells;
        uint64_t bits = first < 64 ? mask.low >> first : mask.high >> (first - 64);
        if (first < 64 && first + chunkCells > 64)
            bits |= mask.high << (64 - first);
        patternOfChunk[chunk] = int(bits & (patterns - 1));
    }
    return meanOfViews(shareOfView(patternOfChunk, 0), shareOfView(patternOfChunk, 1));
}

int32_t CoverageNetwork::shareOfView(const int* patternOfChunk, int view) const {
    const int16_t* rows[chunks];
    for (int chunk = 0; chunk < chunks; ++chunk)
        rows[chunk] =
            chunkSums_[size_t((view * chunks + chunk) * patterns + patternOfChunk[chunk])].data();
    Kernel kernel{sumRows, secondSums};
#if defined(TOVRIN_HAS_AVX2_KERNELS)
    if (useAvx2_)
        kernel = {sumRowsAvx2, secondSumsAvx2};
#endif
    alignas(16) int16_t sums[firstHidden];
    alignas(16) int16_t first[firstHidden];
    kernel.sumRows(rows, chunks, sums);
    firstActivations(model_, sums, first);
    alignas(16) int32_t secondSums[secondHidden];
    kernel.secondSums(secondPairs_.data(), activePairs(first), secondSums);
    return shareOfScore(model_, outputScore(model_, secondSums));
}

int32_t colourShareReference(const CoverageModel& model, const WindowMask& mask) {
    WindowMask mirrored;
    for (int cell = 0; cell < inputCells; ++cell)
        mirrored.cells[cell] = mask.cells[mirroredCell(cell)];
    return meanOfViews(shareOfViewReference(model, mask), shareOfViewReference(model, mirrored));
}
