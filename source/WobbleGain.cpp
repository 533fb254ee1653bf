#include "WobbleGain.h"

#include <algorithm>

#if defined(__GNUC__) && ! defined(__clang__) && defined(__x86_64__) && defined(__linux__)
 // Wider vectors where the processor has them; the arithmetic and so the
 // results are the same in every version.
 #define GRELK_VECTOR_VERSIONS __attribute__ ((target_clones ("avx2", "default")))
#else
 #define GRELK_VECTOR_VERSIONS
#endif

GRELK_VECTOR_VERSIONS
void WobbleGain::modulateRun (const float* inputs, float* outputs, const double* halfCycles, int count,
                              double offset, double depth) noexcept
{
    // The gain is (1 - offset * depth) - (depth / 2) * sine; the interval's
    // ends take the spread on the constant part.
    const auto spread = gainSpread (depth);
    const auto base = 1.0 - offset * depth;
    const auto lowBase = base - spread, highBase = base + spread;
    const auto slope = 0.5 * depth;

    constexpr int blockSize = 64;
    float low[blockSize], high[blockSize];

    for (int start = 0; start < count; start += blockSize)
    {
        const auto n = std::min (blockSize, count - start);
        const auto* in = inputs + start;
        const auto* u = halfCycles + start;

        // u * (u - limit) is negative or -0 for every u in range; the sign
        // bits are and-ed as integers so that the loop still vectorises.
        auto inRangeSigns = ~std::uint64_t { 0 };

        for (int j = 0; j < n; ++j)
        {
            const auto slopeTimesSine = slope * estimateSine (u[j]);
            low[j] = applyGain (in[j], lowBase - slopeTimesSine);
            high[j] = applyGain (in[j], highBase - slopeTimesSine);

            const auto rangeTest = u[j] * (u[j] - estimateLimit);
            std::uint64_t rangeBits;
            std::memcpy (&rangeBits, &rangeTest, sizeof (rangeBits));
            inRangeSigns &= rangeBits;
        }

        std::uint32_t undecided = 0;
        for (int j = 0; j < n; ++j)
            undecided |= bitsOf (low[j]) ^ bitsOf (high[j]);

        if (undecided != 0 || (inRangeSigns >> 63) == 0)
            for (int j = 0; j < n; ++j)
                if (bitsOf (low[j]) != bitsOf (high[j]) || ! (u[j] >= 0.0 && u[j] <= estimateLimit))
                    low[j] = applyGain (in[j], gainFor (std::sin (phase (u[j])), offset, depth));

        std::copy (low, low + n, outputs + start);
    }
}
