#include "NoiseGenerator.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>
#include <cstdint>
#include <limits>

float NoiseGenerator::gainForNoise (float noise) noexcept
{
    const auto levelDb = juce::jlimit (-120.0f, 0.0f, noise / 100.0f * 120.0f - 120.0f);
    return juce::Decibels::decibelsToGain (levelDb);
}

float NoiseGenerator::UniformDraws::next() noexcept
{
    state = (state * 0x5deece66dULL + 11) & 0xffffffffffffULL;
    const auto result = static_cast<float> (static_cast<std::uint32_t> (state >> 16)) * 0x1.0p-32f;
    return result == 1.0f ? 1.0f - std::numeric_limits<float>::epsilon() : result;
}

void NoiseGenerator::fillStandardNormal (float* dest, int numSamples, juce::int64 seed) noexcept
{
    UniformDraws random { static_cast<std::uint64_t> (seed) };

    for (int i = 0; i < numSamples; i += 2)
    {
        float u1, u2;

        // A zero u1 would make the logarithm infinite.
        do
        {
            u1 = random.next();
            u2 = random.next();
        }
        while (u1 <= std::numeric_limits<float>::min());

        const auto radius = std::sqrt (-2.0f * std::log (u1));
        const auto theta = u2 * 6.2831855f;

        dest[i] = radius * std::cos (theta);

        if (i + 1 < numSamples)
            dest[i + 1] = radius * std::sin (theta);
    }
}
