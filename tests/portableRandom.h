// Random test inputs that come out bit for bit the same on every compiler and
// target: a fixed integer generator, exact conversions to float, and only
// single-precision operations that round the same everywhere. (The standard
// library's distributions are free to differ between implementations.)
#ifndef COOLWARM_TEST_PORTABLE_RANDOM_H
#define COOLWARM_TEST_PORTABLE_RANDOM_H

#include "toneTerms.h"

#include <cmath>
#include <cstdint>

class PortableRandom {
public:
    explicit PortableRandom(std::uint64_t seed) : state_(seed) {}

    // The high half of a 64-bit linear congruential step (Knuth's MMIX constants).
    std::uint32_t next()
    {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state_ >> 32);
    }
    // Uniform in [0, 1): 24 random bits, converted exactly.
    float unit() { return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f); }
    float range(float lo, float hi) { return lo + (hi - lo) * unit(); }
    tone::Triple triple(float lo, float hi) { return {range(lo, hi), range(lo, hi), range(lo, hi)}; }
    // 0 to n - 1.
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint32_t>(n)); }
    bool oneIn(int n) { return below(n) == 0; }

    // A unit vector whose squared length is exactly 1 in single precision, so
    // that normalising it again, by any rule, leaves every bit as it is.
    tone::Triple exactUnit()
    {
        for (;;) {
            tone::Triple v = triple(-1.0f, 1.0f);
            const float lensq = tone::dot(v, v);
            if (lensq < 0.01f || lensq > 1.0f)
                continue;
            v = v * (1.0f / std::sqrt(lensq));
            if (tone::dot(v, v) == 1.0f)
                return v;
        }
    }

private:
    std::uint64_t state_;
};

#endif
