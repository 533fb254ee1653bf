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
void WobbleGain::modulateRun (const float* inputs, float* outputs, const double* phases, int count,
                              double offset, double depth) noexcept
{
    constexpr int blockSize = 64;
    float low[blockSize], high[blockSize];
    const auto spread = gainSpread (depth);

    for (int start = 0; start < count; start += blockSize)
    {
        const auto n = std::min (blockSize, count - start);
        const auto* in = inputs + start;
        const auto* theta = phases + start;

        std::uint32_t undecided = 0;

        for (int j = 0; j < n; ++j)
        {
            const auto gain = gainFor (estimateSine (theta[j]), offset, depth);
            low[j] = applyGain (in[j], gain - spread);
            high[j] = applyGain (in[j], gain + spread);
            const auto inRange = (theta[j] >= 0.0) & (theta[j] <= estimateLimit);
            undecided |= (bitsOf (low[j]) ^ bitsOf (high[j])) | static_cast<std::uint32_t> (! inRange);
        }

        if (undecided != 0)
            for (int j = 0; j < n; ++j)
                if (bitsOf (low[j]) != bitsOf (high[j]) || ! (theta[j] >= 0.0 && theta[j] <= estimateLimit))
                    low[j] = applyGain (in[j], gainFor (std::sin (theta[j]), offset, depth));

        std::copy (low, low + n, outputs + start);
    }
}
