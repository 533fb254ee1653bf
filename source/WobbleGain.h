#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

// The wobble multiplies a sample by 1 - (offset + sin(theta) * 0.5) * depth in
// double precision and rounds once to float. The double-precision sine costs
// more than everything else in the block, so a polynomial estimate is tried
// first: the gain is monotonic in the sine and the product monotonic in the
// gain, so when both ends of the estimate's error interval round to the same
// float, that float is the exact result. Only otherwise is the library sine
// evaluated. The output never depends on which path was taken.
namespace WobbleGain
{
    // The phase has always used single-precision pi, widened.
    inline constexpr double pi = static_cast<double> (3.14159274f);

    // Largest phase the estimate is used for; the wobble stays within one
    // cycle (just over 2 pi) as long as the sample rate is positive.
    inline constexpr double estimateLimit = 8.0;

    // Far wider than the estimate's error (under 5e-14) plus the library
    // sine's (under one ulp), so the interval always holds the library value;
    // narrow enough that the library sine is needed only about once in ten
    // thousand samples even at full depth.
    inline constexpr double estimateMargin = 0x1.0p-36;

    inline double phase (double counter, double cyclesPerSample) noexcept
    {
        auto theta = counter * cyclesPerSample;
        theta = theta * 2.0;
        return theta * pi;
    }

    // sin(theta) to within 5e-14 for theta in [0, estimateLimit]:
    // reduction by a multiple of pi (exact for these multiples), then an odd
    // Taylor polynomial on [-pi/2, pi/2]. Branch-free so loops vectorise.
    inline double estimateSine (double theta) noexcept
    {
        constexpr double piHigh = 3.141592653589793116;      // has three trailing zero bits
        constexpr double piLow = 1.2246467991473532072e-16;  // pi - piHigh
        constexpr double roundingShift = 0x1.8p52;

        const auto shifted = theta * (1.0 / piHigh) + roundingShift;
        const auto k = shifted - roundingShift;
        const auto r = (theta - k * piHigh) - k * piLow;
        const auto r2 = r * r;

        auto p = -1.0 / 355687428096000.0;          // -1/17!
        p = p * r2 + 1.0 / 1307674368000.0;         //  1/15!
        p = p * r2 - 1.0 / 6227020800.0;            // -1/13!
        p = p * r2 + 1.0 / 39916800.0;              //  1/11!
        p = p * r2 - 1.0 / 362880.0;                // -1/9!
        p = p * r2 + 1.0 / 5040.0;                  //  1/7!
        p = p * r2 - 1.0 / 120.0;                   // -1/5!
        p = p * r2 + 1.0 / 6.0;                     //  1/3!
        const auto s = r - (r * r2) * p;

        // An odd multiple of pi flips the sign; its parity is the lowest
        // mantissa bit of the shifted value.
        std::uint64_t shiftedBits, sBits;
        std::memcpy (&shiftedBits, &shifted, sizeof (double));
        std::memcpy (&sBits, &s, sizeof (double));
        sBits ^= (shiftedBits & 1u) << 63;
        double result;
        std::memcpy (&result, &sBits, sizeof (double));
        return result;
    }

    inline double gainFor (double sine, double offset, double depth) noexcept
    {
        return 1.0 - (offset + sine * 0.5) * depth;
    }

    inline float applyGain (float sample, double gain) noexcept
    {
        return static_cast<float> (static_cast<double> (sample) * gain);
    }

    inline std::uint32_t bitsOf (float value) noexcept
    {
        std::uint32_t bits;
        std::memcpy (&bits, &value, sizeof (float));
        return bits;
    }

    // How far the gain from the estimate may lie from the gain from the
    // library sine: the margin through the depth, plus a few roundings.
    inline double gainSpread (double depth) noexcept
    {
        return estimateMargin * 0.5 * depth + 0x1.0p-48;
    }

    // Wobbles a run of samples, each at its own phase: when both ends of the
    // gain's interval give the same float that is the result, otherwise the
    // library sine decides. Written so that it vectorises; outputs may be the
    // same array as inputs.
    void modulateRun (const float* inputs, float* outputs, const double* phases, int count,
                      double offset, double depth) noexcept;
}
