#include "NoiseGenerator.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>
#include <limits>

float NoiseGenerator::gainForNoise (float noise) noexcept
{
    const auto levelDb = juce::jlimit (-120.0f, 0.0f, noise / 100.0f * 120.0f - 120.0f);
    return juce::Decibels::decibelsToGain (levelDb);
}

void NoiseGenerator::fillStandardNormal (float* dest, int numSamples, juce::int64 seed) noexcept
{
    juce::Random random (seed);

    for (int i = 0; i < numSamples; i += 2)
    {
        float u1, u2;

        // A zero u1 would make the logarithm infinite.
        do
        {
            u1 = random.nextFloat();
            u2 = random.nextFloat();
        }
        while (u1 <= std::numeric_limits<float>::min());

        const auto radius = std::sqrt (-2.0f * std::log (u1));
        const auto theta = u2 * 6.2831855f;

        dest[i] = radius * std::cos (theta);

        if (i + 1 < numSamples)
            dest[i + 1] = radius * std::sin (theta);
    }
}
