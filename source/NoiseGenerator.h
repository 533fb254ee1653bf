#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>

// The added noise: a level in decibels from the "noise" parameter, and
// standard-normal values drawn by Box-Muller from a seeded generator.
namespace NoiseGenerator
{
    // Gain for a "noise" value of 0 to 100: -120 dB to 0 dB, and exactly 0 at
    // or below the framework's -100 dB floor.
    float gainForNoise (float noise) noexcept;

    // juce::Random's generator and float draw, step for step, but where the
    // compiler can inline it: as calls, the draws cost more than the
    // arithmetic they do. Seeded as juce::Random (seed).
    struct UniformDraws
    {
        std::uint64_t state;

        float next() noexcept;  // in [0, 1)
    };

    // Writes numSamples standard-normal values, in pairs (cosine half first).
    // With an odd count the last pair's sine half is dropped. The same seed
    // always gives the same values.
    void fillStandardNormal (float* dest, int numSamples, juce::int64 seed) noexcept;
}
