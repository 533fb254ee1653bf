#include "NoiseGenerator.h"
#include "ProcessingHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace grelk_test;

namespace
{
    constexpr float peakDeviate = 6.6604f;  // sqrt (64 ln 2): u1 is never below 2^-32

    std::vector<float> deviates (int n, juce::int64 seed)
    {
        std::vector<float> values ((size_t) n);
        NoiseGenerator::fillStandardNormal (values.data(), n, seed);
        return values;
    }

    // juce::Random's 48-bit generator: the seed after one draw from `seed`,
    // and the seed whose next draw leaves it at `state`.
    constexpr juce::uint64 multiplier = 0x5deece66dULL, mask = 0xffffffffffffULL;

    juce::int64 nextSeed (juce::int64 seed)
    {
        return (juce::int64) ((((juce::uint64) seed) * multiplier + 11) & mask);
    }

    juce::int64 seedBefore (juce::uint64 state)
    {
        juce::uint64 inverse = 1;  // of the multiplier modulo 2^48, by Newton's iteration
        for (int i = 0; i < 6; ++i)
            inverse = (inverse * (2 - multiplier * inverse)) & mask;
        return (juce::int64) (((state - 11) * inverse) & mask);
    }
}

TEST (Noise, LevelMapsToGainWithAFloorAtMinus100Decibels)
{
    EXPECT_EQ (NoiseGenerator::gainForNoise (100.0f), 1.0f);
    EXPECT_NEAR (NoiseGenerator::gainForNoise (50.0f), 0.001f, 1.0e-8f);
    EXPECT_NEAR (NoiseGenerator::gainForNoise (25.0f), std::pow (10.0f, -4.5f), 1.0e-10f);

    // 16.666672 is the smallest value that adds any noise.
    EXPECT_NEAR (NoiseGenerator::gainForNoise (16.666672f), 1.0e-5f, 1.0e-10f);
    EXPECT_EQ (NoiseGenerator::gainForNoise (std::nextafter (16.666672f, 0.0f)), 0.0f);

    for (float silent : { 16.66667f, 16.66f, 0.15f, 0.0f })
        EXPECT_EQ (NoiseGenerator::gainForNoise (silent), 0.0f) << silent;
}

TEST (Noise, GeneratorGivesSeededUnitNormalPairs)
{
    const auto values = deviates (200000, 42);

    double sum = 0.0, sumOfSquares = 0.0;
    for (auto v : values)
    {
        ASSERT_TRUE (std::isfinite (v));
        ASSERT_LE (std::abs (v), peakDeviate);
        sum += v;
        sumOfSquares += (double) v * v;
    }
    const auto mean = sum / (double) values.size();
    EXPECT_NEAR (mean, 0.0, 0.01);
    EXPECT_NEAR (sumOfSquares / (double) values.size() - mean * mean, 1.0, 0.02);

    // Pairs are independent: neighbours (cosine then sine half) uncorrelated.
    double lagProduct = 0.0;
    for (size_t i = 0; i + 1 < values.size(); i += 2)
        lagProduct += (double) values[i] * values[i + 1];
    EXPECT_NEAR (lagProduct / (double) (values.size() / 2), 0.0, 0.02);

    // Same seed, same values; an odd count just drops the last sine half.
    EXPECT_EQ (deviates (200000, 42), values);
    const auto odd = deviates (7, 42);
    EXPECT_EQ (odd, std::vector<float> (values.begin(), values.begin() + 7));
    EXPECT_NE (deviates (8, 43), std::vector<float> (values.begin(), values.begin() + 8));
}

TEST (Noise, DrawsAreTheFrameworksRandomDraws)
{
    auto expectSameDraws = [] (juce::int64 seed, int count) {
        NoiseGenerator::UniformDraws draws { (juce::uint64) seed };
        juce::Random random (seed);
        for (int i = 0; i < count; ++i)
            ASSERT_EQ (bitsOf (draws.next()), bitsOf (random.nextFloat())) << "seed " << seed << " draw " << i;
    };

    for (juce::int64 seed : { 0LL, 1LL, 999LL, 123456789LL, -5LL, 0x7fffffffffffffffLL })
        expectSameDraws (seed, 100000);

    // A draw that rounds up to 1 is pulled just below it.
    const auto topSeed = seedBefore (mask);
    expectSameDraws (topSeed, 3);
    EXPECT_LT ((NoiseGenerator::UniformDraws { (juce::uint64) topSeed }).next(), 1.0f);
}

TEST (Noise, ZeroFirstDrawIsRedrawnAsAPair)
{
    const auto zeroSeed = seedBefore (0);

    juce::Random check (zeroSeed);
    ASSERT_EQ (check.nextFloat(), 0.0f);

    // The pair (0, u2) is dropped whole; the values start with the next pair.
    const auto values = deviates (64, zeroSeed);
    EXPECT_EQ (values, deviates (64, nextSeed (nextSeed (zeroSeed))));
    for (auto v : values)
        EXPECT_TRUE (std::isfinite (v));
}

TEST (Noise, ProcessorAddsTheSameScaledNoiseToBothChannels)
{
    // Below the modulation frequency every wobble gain is the same, so both
    // channels must come out identical when the noise is.
    auto run = [] (float noise, juce::int64 seed) {
        auto processor = createProcessor();
        setPlain (*processor, "noise", noise);
        setPlain (*processor, "wobble", 1.0f);
        prepare (*processor, 10.0, 4096);
        asGrelk (*processor).setNoiseSeedForTesting (seed);
        return processConstant (*processor, 4096, 0.0f);
    };

    const auto full = run (100.0f, 5);
    const auto expected = deviates (4096, 5);
    double sumOfSquares = 0.0;
    for (int i = 0; i < 4096; ++i)
    {
        ASSERT_EQ (bitsOf (full.getSample (0, i)), bitsOf (full.getSample (1, i))) << i;
        ASSERT_FLOAT_EQ (full.getSample (0, i), expected[(size_t) i] * 0.995f) << i;
        sumOfSquares += (double) full.getSample (0, i) * full.getSample (0, i);
    }
    EXPECT_NEAR (std::sqrt (sumOfSquares / 4096.0), 0.995, 0.05);

    // The level scales the same draws. The parameter's 0.01 step makes 16.67
    // the first value with noise (-99.996 dB) and 16.66 silent.
    const struct { float noise; float gain; } levels[] = {
        { 50.0f, 1.0e-3f }, { 25.0f, std::pow (10.0f, -4.5f) }, { 16.67f, std::pow (10.0f, -99.996f / 20.0f) },
    };
    for (const auto& level : levels)
    {
        const auto scaled = run (level.noise, 5);
        for (int i = 0; i < 4096; i += 97)
            ASSERT_NEAR (scaled.getSample (1, i), full.getSample (1, i) * level.gain,
                         2.0e-5f * std::abs (full.getSample (1, i) * level.gain)) << level.noise;
    }

    for (float silent : { 16.66f, 0.15f, 0.0f })
    {
        const auto out = run (silent, 5);
        EXPECT_EQ (out.getMagnitude (0, 4096), 0.0f) << silent;
    }
}

TEST (Noise, ClockSeededNoiseStaysWithinThePeak)
{
    auto processor = createProcessor();
    setPlain (*processor, "noise", 100.0f);
    prepare (*processor, 48000.0, 512);

    for (int block = 0; block < 50; ++block)
    {
        const auto out = processConstant (*processor, 512, 0.0f);
        EXPECT_LE (out.getMagnitude (0, 512), peakDeviate);
        EXPECT_GT (out.getRMSLevel (0, 0, 512), 0.5f);
    }
}
