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

// Accumulators stay far inside int32: at most 121 (first layer) or 64 (second) products of
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

// sum(a[i] * b[i]) over n int16 values, n a multiple of 8. No product or sum here comes near
// int32's limits (weights below 128, activations below 256), so every order of adding gives the
// same total: on x86-64, SSE2's multiply-add of pairs, present in every such processor.
int32_t dotProduct(const int16_t* a, const int16_t* b, int n) {
#if defined(__SSE2__)
    __m128i sums = _mm_setzero_si128();
    for (int i = 0; i < n; i += 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        sums = _mm_add_epi32(sums, _mm_madd_epi16(x, y));
    }
    sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(1, 0, 3, 2)));
    sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(sums);
#else
    int32_t sum = 0;
    for (int i = 0; i < n; ++i)
        sum += int32_t{a[i]} * int32_t{b[i]};
    return sum;
#endif
}

#if defined(TOVRIN_HAS_AVX2_KERNELS)
// The same sum, sixteen pairs at a time, on processors with AVX2.
__attribute__((target("avx2"))) int32_t dotProductAvx2(const int16_t* a, const int16_t* b, int n) {
    __m256i sums = _mm256_setzero_si256();
    for (int i = 0; i < n; i += 16) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        sums = _mm256_add_epi32(sums, _mm256_madd_epi16(x, y));
    }
    __m128i half = _mm_add_epi32(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    half = _mm_add_epi32(half, _mm_shuffle_epi32(half, _MM_SHUFFLE(1, 0, 3, 2)));
    half = _mm_add_epi32(half, _mm_shuffle_epi32(half, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(half);
}

// The first layer's sums: the table rows of every chunk added up, sixteen lanes at a time.
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
#endif

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

// The two layers after the first, from its activations, with one of the dot products above.
template <int32_t (*dot)(const int16_t*, const int16_t*, int)>
int32_t shareFromFirstActivations(const CoverageModel& model, const int16_t* first) {
    static_assert(firstHidden % 16 == 0 && secondHidden % 16 == 0);
    alignas(16) int16_t second[secondHidden];
    for (int k = 0; k < secondHidden; ++k)
        second[k] = activation(dot(model.secondWeights[k], first, firstHidden) +
                                   model.secondBias[k],
                               model.secondShift);
    return shareOfScore(model, dot(model.outputWeights, second, secondHidden) +
                                   model.outputBias);
}

} // namespace

CoverageNetwork::CoverageNetwork(const CoverageModel& model, bool useAvx2)
    : model_(model), useAvx2_(useAvx2 && canUseAvx2()), chunkSums_(size_t(chunks) * patterns) {
    for (int chunk = 0; chunk < chunks; ++chunk)
        for (int pattern = 0; pattern < patterns; ++pattern) {
            auto& sums = chunkSums_[size_t(chunk * patterns + pattern)];
            sums.fill(0);
            for (int bit = 0; bit < chunkCells; ++bit) {
                const int cell = chunk * chunkCells + bit;
                if ((pattern >> bit & 1) == 0 || cell >= inputCells)
                    continue;
                for (int j = 0; j < firstHidden; ++j)
                    sums[size_t(j)] = int16_t(sums[size_t(j)] + model.firstWeights[cell][j]);
            }
        }
}

bool CoverageNetwork::canUseAvx2() {
#if defined(TOVRIN_HAS_AVX2_KERNELS)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

int32_t CoverageNetwork::share(const WindowMask& mask) const {
    // Every partial sum adds one weight of magnitude 127 at most from each of a set of cells.
    static_assert(inputCells * 127 <= INT16_MAX, "first-layer sums would overflow int16");
    uint8_t padded[chunks * chunkCells] = {};
    std::copy(std::begin(mask.cells), std::end(mask.cells), padded);
    const int16_t* rows[chunks];
    for (int chunk = 0; chunk < chunks; ++chunk) {
        const uint8_t* bits = padded + chunk * chunkCells;
        int pattern = 0;
        for (int bit = 0; bit < chunkCells; ++bit)
            pattern |= bits[bit] << bit;
        rows[chunk] = chunkSums_[size_t(chunk * patterns + pattern)].data();
    }
    alignas(16) int16_t sums[firstHidden];
    alignas(16) int16_t first[firstHidden];
#if defined(TOVRIN_HAS_AVX2_KERNELS)
    if (useAvx2_) {
        sumRowsAvx2(rows, chunks, sums);
        firstActivations(model_, sums, first);
        return shareFromFirstActivations<dotProductAvx2>(model_, first);
    }
#endif
    sumRows(rows, chunks, sums);
    firstActivations(model_, sums, first);
    return shareFromFirstActivations<dotProduct>(model_, first);
}

int32_t colourShareReference(const CoverageModel& model, const WindowMask& mask) {
    alignas(16) int16_t first[firstHidden];
    for (int j = 0; j < firstHidden; ++j) {
        int32_t sum = model.firstBias[j];
        for (int cell = 0; cell < inputCells; ++cell)
            sum += int32_t{model.firstWeights[cell][j]} * int32_t{mask.cells[cell]};
        first[j] = activation(sum, model.firstShift);
    }
    alignas(16) int16_t second[secondHidden];
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
