// Cel-like test pictures: flat colour fills, aliased dark outlines and strokes of a few pixels'
// width, on a transparent or paper-white ground, the way an inked and painted cel looks. Used by
// the benchmarks and the randomized comparison tests; deterministic for a given seed on every
// platform.
#pragma once

#include <cstdint>
#include <vector>

struct CelArtOptions {
    int32_t width = 64;
    int32_t height = 64;
    uint32_t seed = 1;
    bool transparentGround = true;
    // Thickest outline in pixels; the thinnest is always 1.
    int32_t maxLineWidth = 3;
    // Shapes per million pixels (at least a few are always drawn).
    int32_t shapeDensity = 50;
};

// RGBA, 8 bits a sample, rows of width * 4 bytes, top row first.
std::vector<uint8_t> drawCelArt(const CelArtOptions& options);

// The same picture in the host's 16-bit units (full scale 32768).
std::vector<uint16_t> toHostSixteenBit(const std::vector<uint8_t>& samples);

// A small deterministic generator (xorshift), identical on every platform and standard library.
class SimpleRandom {
  public:
    explicit SimpleRandom(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return static_cast<uint32_t>(state_ >> 32);
    }
    // Uniform in [low, high], both inclusive.
    int32_t between(int32_t low, int32_t high) {
        const uint64_t span = static_cast<uint64_t>(int64_t{high} - low + 1);
        return static_cast<int32_t>(low + static_cast<int64_t>(next() % span));
    }
    bool chance(int32_t percent) { return between(0, 99) < percent; }
    float unit() { return static_cast<float>(next() >> 8) / 16777216.0f; }

  private:
    uint64_t state_;
};
