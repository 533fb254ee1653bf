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

    // The phase in units of pi: its first two steps, counter times cycles per
    // sample, times 2. It stays below about 2 while the rate is positive.
    inline double halfCycles (double counter, double cyclesPerSample) noexcept
    {
        const auto cycles = counter * cyclesPerSample;
        return cycles * 2.0;
    }

    // The last step, as the plain arithmetic takes it.
    inline double phase (double halfCycles) noexcept
    {
        return halfCycles * pi;
    }

    // Largest halfCycles the estimate is used for.
    inline constexpr double estimateLimit = 2.5;

    // Far wider than the estimate's error (under 1e-15) plus the library
    // sine's (under one ulp), so the interval always holds the library value;
    // narrow enough that the library sine is needed only about once in ten
    // thousand samples even at full depth.
    inline constexpr double estimateMargin = 0x1.0p-36;

    // sin (phase (u)) to within 1e-15 for u in [0, estimateLimit]: less the
    // nearest whole number k of half cycles (pi in the phase being slightly
    // more than pi, each takes that excess along), then an odd polynomial on
    // [-pi/2, pi/2] (Chebyshev-economised, error under 1e-16). Branch-free so
    // that loops over it vectorise.
    inline double estimateSine (double u) noexcept
    {
        constexpr double roundingShift = 0x1.8p52;
        constexpr double piExcess = 8.742278000372485e-08;  // pi above, less true pi

        const auto shifted = u + roundingShift;
        const auto k = shifted - roundingShift;
        const auto r = (u - k) * pi + k * piExcess;
        const auto r2 = r * r;

        auto p = -7.357628460837624e-13;
        p = p * r2 + 1.6046617466236934e-10;
        p = p * r2 - 2.5051824540329856e-08;
        p = p * r2 + 2.755731552689222e-06;
        p = p * r2 - 0.00019841269813936327;
        p = p * r2 + 0.00833333333322613;
        p = p * r2 - 0.16666666666664778;
        p = p * r2 + 0.999999999999999;
        const auto s = r * p;

        // An odd k flips the sign; k's parity is the lowest mantissa bit of
        // the shifted value.
        std::uint64_t shiftedBits, sBits;
        std::memcpy (&shiftedBits, &shifted, sizeof (double));
        std::memcpy (&sBits, &s, sizeof (double));
        sBits ^= (shiftedBits & 1u) << 63;
        double result;
        std::memcpy (&result, &sBits, sizeof (double));
        return result;
    }

    // The gain exactly as the plain arithmetic forms it.
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
    // library sine: the margin through the depth, plus room for a few
    // roundings in forming either.
    inline double gainSpread (double depth) noexcept
    {
        return estimateMargin * 0.5 * depth + 0x1.0p-46;
    }

    // Wobbles a run of samples, each at its own phase (given as halfCycles):
    // when both ends of the gain's interval give the same float that is the
    // result, otherwise the library sine decides. Written so that it
    // vectorises; outputs may be the same array as inputs.
    void modulateRun (const float* inputs, float* outputs, const double* halfCycles, int count,
                      double offset, double depth) noexcept;
}
