#include "WobbleGain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{
    float plainWobble (float sample, double theta, double depth)
    {
        return WobbleGain::applyGain (sample, WobbleGain::gainFor (std::sin (theta), 0.5, depth));
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
    std::mt19937_64 rng (3);
    std::uniform_real_distribution<double> anywhere (0.0, WobbleGain::estimateLimit);

    auto check = [] (double theta) {
        ASSERT_LE (std::abs (WobbleGain::estimateSine (theta) - std::sin (theta)), WobbleGain::estimateMargin / 64.0)
            << theta;
    };

    for (int i = 0; i < 1000000; ++i)
        check (anywhere (rng));

    // The phases a whole cycle really uses, near every multiple of pi.
    for (double rate : { 44100.0, 48000.0, 8000.0 })
        for (float frequency : { 20.0f, 0.19999999f, 7.4f })
        {
            const auto cyclesPerSample = (double) frequency / rate;
            for (double counter = 0.0; counter < rate / (double) frequency; counter += 1.0)
                check (WobbleGain::phase (counter, cyclesPerSample));
        }

    for (double edge : { 0.0, 3.141592653589793, 6.283185307179586, 1.5707963267948966, WobbleGain::estimateLimit })
        for (double delta : { -1.0e-12, 0.0, 1.0e-12 })
            if (edge + delta >= 0.0)
                check (edge + delta);
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
        std::vector<double> phases;
        std::vector<float> samples;

        while (phases.size() < 77)
        {
            const auto lower = floatFromBits (gainBits (rng));
            const auto midpoint = ((double) lower + (double) std::nextafter (lower, 2.0f)) / 2.0;
            const auto sine = 2.0 * (1.0 - midpoint) / depth - 1.0;
            if (std::abs (sine) > 1.0)
                continue;

            // Either phase in the cycle with this sine.
            phases.push_back (phases.size() % 2 == 0 ? 3.141592653589793 - std::asin (sine)
                                                     : std::asin (sine) + (sine < 0 ? 6.283185307179586 : 0.0));
            samples.push_back (std::ldexp (samples.size() % 3 == 0 ? -1.0f : 1.0f, exponent (rng)));
        }

        // Outside the estimate's range (never reached with a positive sample
        // rate) the library sine is used too.
        phases[5] = 20.0;
        phases[6] = -1.0;

        std::vector<float> out (samples.size());
        WobbleGain::modulateRun (samples.data(), out.data(), phases.data(), (int) samples.size(), 0.5, depth);

        for (size_t i = 0; i < samples.size(); ++i)
        {
            ASSERT_EQ (out[i], plainWobble (samples[i], phases[i], depth))
                << "sample " << samples[i] << " theta " << phases[i] << " depth " << depth;

            const auto gain = WobbleGain::gainFor (WobbleGain::estimateSine (phases[i]), 0.5, depth);
            if (WobbleGain::applyGain (samples[i], gain - WobbleGain::gainSpread (depth))
                != WobbleGain::applyGain (samples[i], gain + WobbleGain::gainSpread (depth)))
                ++undecided;
        }
    }

    // The boundary cases really reached the library sine.
    EXPECT_GT (undecided, 100000);
}
