#include "WobbleGain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{
    float plainWobble (float sample, double halfCycles, double depth)
    {
        return WobbleGain::applyGain (sample, WobbleGain::gainFor (std::sin (WobbleGain::phase (halfCycles)), 0.5, depth));
    }

    float floatFromBits (std::uint32_t bits)
    {
        float f;
        std::memcpy (&f, &bits, sizeof f);
        return f;
    }
}

TEST (WobbleGain, SineEstimateStaysWellInsideItsMargin)
{
    auto check = [] (double u) {
        ASSERT_LE (std::abs (WobbleGain::estimateSine (u) - std::sin (WobbleGain::phase (u))), WobbleGain::estimateMargin / 1024.0)
            << u;
    };

    std::mt19937_64 rng (3);
    std::uniform_real_distribution<double> anywhere (0.0, WobbleGain::estimateLimit);
    for (int i = 0; i < 1000000; ++i)
        check (anywhere (rng));

    // The phases whole cycles really use, and those next to every multiple
    // of pi/2.
    for (double rate : { 44100.0, 48000.0, 8000.0 })
        for (float frequency : { 20.0f, 0.19999999f, 7.4f })
        {
            const auto cyclesPerSample = (double) frequency / rate;
            for (double counter = 0.0; counter < rate / (double) frequency; counter += 1.0)
                check (WobbleGain::halfCycles (counter, cyclesPerSample));
        }

    for (int quarter = 0; quarter <= 10; ++quarter)
        for (double delta : { -1.0e-9, -1.0e-15, 0.0, 1.0e-15, 1.0e-9 })
            if (quarter * 0.25 + delta >= 0.0 && quarter * 0.25 + delta <= WobbleGain::estimateLimit)
                check (quarter * 0.25 + delta);
}

TEST (WobbleGain, ModulatedSamplesAreExactEvenNextToARoundingBoundary)
{
    // Phases whose gain lies next to the midpoint between two floats, so that
    // a power-of-two sample times the gain does too: there the estimate
    // cannot decide the rounding and the library sine must.
    std::mt19937_64 rng (9);
    std::uniform_real_distribution<double> depthDist (0.01, 1.0);
    std::uniform_int_distribution<std::uint32_t> gainBits (0x3a800000u, 0x3f7ffffeu);  // 0.001 to 1
    std::uniform_int_distribution<int> exponent (-20, 20);

    int undecided = 0;
    for (int run = 0; run < 3000; ++run)
    {
        const auto depth = run % 4 == 0 ? 1.0 : depthDist (rng);
        std::vector<double> halfCycles;
        std::vector<float> samples;

        while (halfCycles.size() < 77)
        {
            const auto lower = floatFromBits (gainBits (rng));
            const auto midpoint = ((double) lower + (double) std::nextafter (lower, 2.0f)) / 2.0;
            const auto sine = 2.0 * (1.0 - midpoint) / depth - 1.0;
            if (std::abs (sine) > 1.0)
                continue;

            // Either phase in the cycle with this sine.
            const auto theta = halfCycles.size() % 2 == 0 ? 3.141592653589793 - std::asin (sine)
                                                          : std::asin (sine) + (sine < 0 ? 6.283185307179586 : 0.0);
            halfCycles.push_back (theta / WobbleGain::pi);
            samples.push_back (std::ldexp (samples.size() % 3 == 0 ? -1.0f : 1.0f, exponent (rng)));
        }

        // Outside the estimate's range (never reached with a positive sample
        // rate) the library sine is used too.
        halfCycles[5] = 7.0;
        halfCycles[6] = -0.25;

        std::vector<float> out (samples.size());
        WobbleGain::modulateRun (samples.data(), out.data(), halfCycles.data(), (int) samples.size(), 0.5, depth);

        for (size_t i = 0; i < samples.size(); ++i)
        {
            ASSERT_EQ (out[i], plainWobble (samples[i], halfCycles[i], depth))
                << "sample " << samples[i] << " half cycles " << halfCycles[i] << " depth " << depth;

            const auto gain = WobbleGain::gainFor (WobbleGain::estimateSine (halfCycles[i]), 0.5, depth);
            if (WobbleGain::applyGain (samples[i], gain - WobbleGain::gainSpread (depth))
                != WobbleGain::applyGain (samples[i], gain + WobbleGain::gainSpread (depth)))
                ++undecided;
        }
    }

    // The boundary cases really reached the library sine.
    EXPECT_GT (undecided, 100000);
}
