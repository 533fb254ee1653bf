#include "PlainBlockProcessing.h"
#include "ProcessingHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace grelk_test;

namespace
{
    std::unique_ptr<juce::AudioProcessor> preparedProcessor (double sampleRate, float wobble, float depth, int maxBlock = 4096)
    {
        auto processor = createProcessor();
        setPlain (*processor, "wobble", wobble);
        setPlain (*processor, "depth", depth);
        prepare (*processor, sampleRate, maxBlock);
        return processor;
    }

    void expectSameBits (const std::vector<float>& actual, const std::vector<float>& expected, const char* what)
    {
        ASSERT_EQ (actual.size(), expected.size()) << what;
        for (size_t i = 0; i < actual.size(); ++i)
            ASSERT_EQ (bitsOf (actual[i]), bitsOf (expected[i])) << what << " at sample " << i
                                                                 << ": " << actual[i] << " vs " << expected[i];
    }
}

// Through the host's 0.01 steps "wobble" 1 and 0.5 come out a hair low
// (19.999998 Hz and 9.999999 Hz), and "depth" 1 too; 0.25 and 0.75 are exact
// (5 Hz and 15 Hz). The cases below are set up with the values a host gets.

TEST (Wobble, FirstGainAndTheGainRange)
{
    // Counter 0: gain 1 - depth / 2, so 0.995 at the default depth.
    auto fresh = createProcessor();
    prepare (*fresh, 48000.0, 512);
    EXPECT_EQ (processConstant (*fresh, 512).getSample (0, 0), 0.995f);

    // At 2 kHz and 5 Hz a cycle is 400 steps: the gain falls to 1 - depth a
    // quarter cycle in and reaches 1 at three quarters.
    for (float depth : { 0.75f, 0.25f, 0.01f })
    {
        SCOPED_TRACE (depth);
        auto processor = preparedProcessor (2000.0, 0.25f, depth);
        const auto gains = channelOf (processConstant (*processor, 400), 0);

        EXPECT_EQ (gains[0], 1.0f - depth / 2.0f);
        EXPECT_NEAR (gains[100], 1.0f - depth, 1.0e-6f);
        EXPECT_NEAR (gains[300], 1.0f, 1.0e-6f);

        for (auto g : gains)
        {
            EXPECT_GE (g, 1.0f - depth - 1.0e-7f);
            EXPECT_LE (g, 1.0f);
        }
    }
}

TEST (Wobble, CounterWrapsEveryCycleAndIsSharedByBothChannels)
{
    // 400 steps per cycle (5 Hz at 2 kHz, as 20 Hz at 8 kHz), fewer than a
    // 512-sample pass uses.
    auto processor = preparedProcessor (2000.0, 0.25f, 1.0f, 512);
    const auto first = processConstant (*processor, 512);
    const auto ch0 = channelOf (first, 0), ch1 = channelOf (first, 1);

    for (int j = 0; j < 112; ++j)
        ASSERT_EQ (ch0[size_t (400 + j)], ch0[size_t (j)]) << j;

    // Channel 1 carries on from counter 512, i.e. 112 after the wrap...
    for (int j = 0; j < 288; ++j)
        ASSERT_EQ (ch1[size_t (j)], ch0[size_t (112 + j)]) << j;
    for (int j = 0; j < 224; ++j)
        ASSERT_EQ (ch1[size_t (288 + j)], ch0[size_t (j)]) << j;

    // ...and the next block's channel 0 from where channel 1 stopped.
    const auto second = channelOf (processConstant (*processor, 512), 0);
    for (int j = 0; j < 176; ++j)
        ASSERT_EQ (second[size_t (j)], ch0[size_t (224 + j)]) << j;

    // 8 kHz and "wobble" 1 (just under 20 Hz): the threshold lies just above
    // 400, so counter 400 is still used and the cycle is 401 steps.
    auto nearly20 = preparedProcessor (8000.0, 1.0f, 0.75f, 512);
    const auto gains = channelOf (processConstant (*nearly20, 512), 0);
    EXPECT_NE (gains[400], gains[0]);
    EXPECT_EQ (gains[401], gains[0]);
}

TEST (Wobble, RateBelowTheFrequencyOrZeroGivesHalfDepthEverywhere)
{
    std::mt19937 rng (7);
    std::uniform_real_distribution<float> dist (-1.0f, 1.0f);
    const auto input = makeBlock (2, 300, [&] (int) { return dist (rng); });

    for (double rate : { 10.0, 0.0 })
    {
        for (float depth : { 0.75f, 0.25f })
        {
            SCOPED_TRACE (testing::Message() << "rate " << rate << " depth " << depth);
            auto processor = preparedProcessor (rate, 1.0f, depth);

            for (int block = 0; block < 3; ++block)
            {
                auto buffer = input;
                process (*processor, buffer);

                for (int ch = 0; ch < 2; ++ch)
                    for (int i = 0; i < buffer.getNumSamples(); ++i)
                        ASSERT_EQ (buffer.getSample (ch, i), input.getSample (ch, i) * (1.0f - depth / 2.0f));
            }
        }
    }
}

TEST (Wobble, FrequencyChangeRescalesTheCounter)
{
    // At 10005 Hz and "wobble" 0.5 (about 10 Hz) a cycle is 1001 steps, so a
    // 1000-sample stereo block leaves the counter at 999.
    constexpr double rate = 10005.0;
    auto at999 = [] {
        auto processor = preparedProcessor (rate, 0.5f, 1.0f);
        processConstant (*processor, 1000);
        return processor;
    };

    // Gains a fresh processor shows at channel-0 sample i, i.e. counter i.
    auto freshGains = [] (float wobble) {
        auto processor = preparedProcessor (rate, wobble, 1.0f);
        return channelOf (processConstant (*processor, 1000), 0);
    };
    const auto gainsFast = freshGains (1.0f), gainsSlow = freshGains (0.5f);
    ASSERT_NE (gainsFast[499], gainsFast[500]);
    ASSERT_NE (gainsSlow[998], gainsSlow[999]);

    // Doubling the frequency: 999 becomes 499 (499.5 truncated).
    auto processor = at999();
    setPlain (*processor, "wobble", 1.0f);
    EXPECT_EQ (processConstant (*processor, 1).getSample (0, 0), gainsFast[499]);

    // And back: 499 becomes 998, one step lost. Empty blocks still apply the
    // change.
    processor = at999();
    setPlain (*processor, "wobble", 1.0f);
    processConstant (*processor, 0);
    setPlain (*processor, "wobble", 0.5f);
    processConstant (*processor, 0);
    EXPECT_EQ (processConstant (*processor, 1).getSample (0, 0), gainsSlow[998]);
}

TEST (Wobble, SampleRateChangeAloneKeepsTheCounter)
{
    auto processor = preparedProcessor (48000.0, 1.0f, 0.75f, 512);
    processConstant (*processor, 512);  // counter 1024

    // 44.1 kHz: threshold 2205, so the counter goes on from 1024.
    processor->releaseResources();
    prepare (*processor, 44100.0, 512);
    const auto fresh = preparedProcessor (44100.0, 1.0f, 0.75f);
    EXPECT_EQ (processConstant (*processor, 1).getSample (0, 0),
               processConstant (*fresh, 1100).getSample (0, 1024));

    // 8 kHz: counter 1026 lies beyond the threshold of 400 and restarts at 0.
    prepare (*processor, 8000.0, 512);
    EXPECT_EQ (processConstant (*processor, 1).getSample (0, 0), 0.625f);
}

TEST (SampleHold, GroupsRepeatTheirFirstWobbledSample)
{
    // Group start at counter 0: 1 - depth / 2 of its level, then that value
    // times each further sample's own gain.
    {
        auto processor = preparedProcessor (8000.0, 1.0f, 0.75f);
        setPlain (*processor, "suck", 2.0f);
        auto unheld = preparedProcessor (8000.0, 1.0f, 0.75f);

        const auto held = channelOf (processConstant (*processor, 4), 0);
        const auto gains = channelOf (processConstant (*unheld, 4), 0);
        EXPECT_EQ (held[0], 0.625f);
        EXPECT_FLOAT_EQ (held[1], 0.625f * gains[1]);
        EXPECT_EQ (held[2], gains[2]);
        EXPECT_FLOAT_EQ (held[3], gains[2] * gains[3]);
    }

    // A ramp through a held processor and ones through an unheld one: every
    // sample must be its group's input times the gain at the group's start
    // times its own gain. Groups restart with each block.
    struct Case { float suck; std::vector<int> blockLengths; };
    const Case cases[] = {
        { 2.0f,   { 512, 511, 64 } },
        { 50.0f,  { 512, 512 } },
        { 50.0f,  { 500, 500, 500 } },
        { 1.99f,  { 100 } },
        { 7.0f,   { 1, 2, 9, 512 } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.suck);
        auto held = preparedProcessor (8000.0, 1.0f, 0.5f);
        auto unheld = preparedProcessor (8000.0, 1.0f, 0.5f);
        setPlain (*held, "suck", c.suck);
        const auto holdFactor = static_cast<int> (getPlain (*held, "suck"));

        for (auto n : c.blockLengths)
        {
            SCOPED_TRACE (n);
            auto ramp = [] (int i) { return 0.001f * float (i + 1); };
            auto buffer = makeBlock (2, n, ramp);
            process (*held, buffer);
            const auto gainBlock = processConstant (*unheld, n);

            for (int ch = 0; ch < 2; ++ch)
            {
                for (int i = 0; i < n; ++i)
                {
                    const auto start = i - i % holdFactor;
                    const auto expected = ramp (start) * gainBlock.getSample (ch, start)
                                          * (i == start ? 1.0f : gainBlock.getSample (ch, i));
                    ASSERT_NEAR (buffer.getSample (ch, i), expected, 1.0e-6f) << "channel " << ch << " sample " << i;
                }
            }
        }
    }
}

TEST (BlockProcessing, MonoCarriesWhatChannelZeroCarriesInStereo)
{
    auto mono = createProcessor();
    auto stereo = createProcessor();
    ASSERT_TRUE (applyLayout (*mono, juce::AudioChannelSet::mono(), juce::AudioChannelSet::mono()));

    for (auto* p : { mono.get(), stereo.get() })
    {
        setPlain (*p, "noise", 100.0f);
        setPlain (*p, "suck", 7.0f);
        setPlain (*p, "wobble", 0.3f);
        setPlain (*p, "depth", 0.7f);
        asGrelk (*p).setNoiseSeedForTesting (321);
        prepare (*p, 44100.0, 512);
    }

    std::mt19937 rng (11);
    std::uniform_real_distribution<float> dist (-1.0f, 1.0f);

    for (int n : { 512, 100, 1, 0, 333, 512 })
    {
        auto monoBlock = makeBlock (1, n, [&] (int) { return dist (rng); });
        auto stereoBlock = makeBlock (2, n, [&] (int i) { return monoBlock.getSample (0, i); });
        for (int i = 0; i < n; ++i)
            stereoBlock.setSample (1, i, dist (rng));

        process (*mono, monoBlock);
        process (*stereo, stereoBlock);
        expectSameBits (channelOf (monoBlock, 0), channelOf (stereoBlock, 0), "mono vs stereo channel 0");
    }
}

TEST (BlockProcessing, MatchesThePlainArithmeticBitForBit)
{
    // Random settings, block lengths (with changes, empty and single-sample
    // blocks) and inputs, each run through the processor and through the
    // plain sample-by-sample arithmetic.
    std::mt19937 rng (2024);
    auto pick = [&rng] (auto... values) {
        const float options[] = { float (values)... };
        return options[std::uniform_int_distribution<size_t> (0, sizeof...(values) - 1) (rng)];
    };
    std::uniform_real_distribution<float> sampleDist (-1.0f, 1.0f);
    std::uniform_int_distribution<int> lengthDist (0, 700);

    for (int scenario = 0; scenario < 40; ++scenario)
    {
        SCOPED_TRACE (scenario);
        const double rates[] = { 44100.0, 48000.0, 96000.0, 8000.0, 22050.0, 192000.0, 11.0 };
        const auto sampleRate = rates[scenario % 7];
        const auto isMono = scenario % 5 == 4;

        auto processor = createProcessor();
        if (isMono)
        {
            ASSERT_TRUE (applyLayout (*processor, juce::AudioChannelSet::mono(), juce::AudioChannelSet::mono()));
        }
        prepare (*processor, sampleRate, 512);  // some blocks are longer than announced

        PlainBlockProcessing plain;

        for (int block = 0; block < 12; ++block)
        {
            if (block == 0 || rng() % 3 == 0)
            {
                setPlain (*processor, "noise", pick (0, 0.15, 16.66, 16.67, 50, 100));
                setPlain (*processor, "suck", pick (1, 1.99, 2, 7, 50, 33.3));
                setPlain (*processor, "wobble", pick (0.01, 0.02, 0.5, 1, 0.37, 0.99));
                setPlain (*processor, "depth", pick (0.01, 1, 0.5, 0.83));
            }

            const auto seed = static_cast<juce::int64> (rng() % 1000);
            asGrelk (*processor).setNoiseSeedForTesting (seed);

            const auto n = block % 4 == 3 ? pick (0, 1, 2, 700) : lengthDist (rng);
            const auto numSamples = static_cast<int> (n);
            // Mostly full-scale noise, now and then a signed zero, a
            // subnormal or a huge value.
            auto buffer = makeBlock (isMono ? 1 : 2, numSamples, [&] (int) {
                const auto v = sampleDist (rng);
                const float specials[] = { 0.0f, -0.0f, 1.0e-40f, -1.0e-40f, 3.0e38f, -1.0e-30f };
                return rng() % 16 == 0 ? specials[rng() % 6] : v;
            });
            auto expected = buffer;

            process (*processor, buffer);
            plain.process (expected, { getPlain (*processor, "noise"), getPlain (*processor, "suck"),
                                       getPlain (*processor, "wobble"), getPlain (*processor, "depth"),
                                       sampleRate, seed });

            for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
                expectSameBits (channelOf (buffer, ch), channelOf (expected, ch), ch == 0 ? "channel 0" : "channel 1");
        }
    }
}

TEST (BlockProcessing, OutputStaysFiniteAndFreeOfDenormals)
{
    const auto subnormal = std::numeric_limits<float>::denorm_min() * 1000.0f;

    struct Case { const char* what; float input; float noise; double rate; };
    const Case cases[] = {
        { "silence",             0.0f,      0.15f, 48000.0 },
        { "subnormal",           subnormal, 0.15f, 48000.0 },
        { "subnormal, noise",    subnormal, 20.0f, 48000.0 },
        { "full scale, noise",   1.0f,      100.0f, 48000.0 },
        { "full scale, rate 0",  -1.0f,     100.0f, 0.0 },
        { "largest float",       std::numeric_limits<float>::max(), 100.0f, 44100.0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        auto processor = preparedProcessor (c.rate, 0.77f, 1.0f, 512);
        setPlain (*processor, "noise", c.noise);
        setPlain (*processor, "suck", 50.0f);

        for (int block = 0; block < 20; ++block)
        {
            const auto out = processConstant (*processor, 512, block % 2 == 0 ? c.input : -c.input);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 512; ++i)
                {
                    const auto v = out.getSample (ch, i);
                    ASSERT_TRUE (std::isfinite (v)) << i;
                    ASSERT_NE (std::fpclassify (v), FP_SUBNORMAL) << i;
                    if (c.input == 0.0f || c.input == subnormal)
                    {
                        ASSERT_LE (std::abs (v), c.noise > 16.67f ? 7.0f : 0.0f);
                    }
                }
        }
    }
}
