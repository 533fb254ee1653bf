#include "AllocationCounter.h"
#include "ProcessingHelpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

using namespace grelk_test;

namespace
{
    // Keeps the compiler from eliding an allocation it can see is unused.
    void* volatile escaped = nullptr;
}

TEST (AllocationCounter, CatchesEveryWayOfAllocating)
{
    // A counter that cannot fail proves nothing.
    auto countOf = [] (auto allocate) {
        AllocationCounter::start();
        allocate();
        return AllocationCounter::stop();
    };

    EXPECT_EQ (countOf ([] {}), 0u);
    EXPECT_GE (countOf ([] { escaped = std::malloc (24); }), 1u);
    EXPECT_GE (countOf ([] { escaped = std::realloc (escaped, 4096); }), 1u);
    std::free (escaped);
    EXPECT_GE (countOf ([] { escaped = std::calloc (8, 8); }), 1u);
    std::free (escaped);
    EXPECT_GE (countOf ([] { auto p = std::make_unique<int> (3); escaped = p.get(); }), 1u);
    EXPECT_GE (countOf ([] { auto p = std::make_unique<double[]> (3); escaped = p.get(); }), 1u);
    EXPECT_GE (countOf ([] { std::vector<double> v (100); escaped = v.data(); }), 1u);
    EXPECT_GE (countOf ([] { juce::HeapBlock<float> block (64, true); escaped = block.get(); }), 1u);
    EXPECT_GE (countOf ([] { juce::AudioBuffer<float> buffer (2, 512); escaped = buffer.getWritePointer (0); }), 1u);
}

TEST (RealtimeSafety, NoBlockUpToThePreparedSizeAllocates)
{
    std::mt19937 rng (17);
    std::uniform_real_distribution<float> dist (-1.0f, 1.0f);
    constexpr int maxBlock = 512;

    for (bool mono : { false, true })
    {
        SCOPED_TRACE (mono ? "mono" : "stereo");
        auto processor = createProcessor();
        if (mono)
        {
            ASSERT_TRUE (applyLayout (*processor, juce::AudioChannelSet::mono(), juce::AudioChannelSet::mono()));
        }
        prepare (*processor, 48000.0, maxBlock);

        const auto channels = processor->getTotalNumOutputChannels();
        std::vector<int> lengths { maxBlock, 0, 1, maxBlock, 100, maxBlock, 0, 2, 511, 3 };
        for (int i = 0; i < 40; ++i)
            lengths.push_back (std::uniform_int_distribution<int> (0, maxBlock) (rng));

        size_t blockIndex = 0;
        for (auto n : lengths)
        {
            // Parameter changes come from the host's other threads.
            setPlain (*processor, "noise", blockIndex % 3 == 0 ? 0.15f : 100.0f);
            setPlain (*processor, "suck", blockIndex % 2 == 0 ? 50.0f : 1.0f);
            setPlain (*processor, "wobble", blockIndex % 4 == 0 ? 0.01f : 0.73f);
            ++blockIndex;

            auto buffer = makeBlock (channels, maxBlock, [&] (int) { return dist (rng); });
            juce::AudioBuffer<float> block (buffer.getArrayOfWritePointers(), channels, n);
            juce::MidiBuffer midi;

            AllocationCounter::start();
            processor->processBlock (block, midi);
            const auto allocations = AllocationCounter::stop();
            ASSERT_EQ (allocations, 0u) << "block of " << n;
        }
    }

    // Without the announced size the first block has to take memory, which
    // shows that the counter sees what processBlock does.
    auto unprepared = createProcessor();
    unprepared->setRateAndBufferSizeDetails (48000.0, maxBlock);
    auto buffer = makeBlock (2, maxBlock, [] (int) { return 0.5f; });
    juce::MidiBuffer midi;
    AllocationCounter::start();
    unprepared->processBlock (buffer, midi);
    EXPECT_GT (AllocationCounter::stop(), 0u);
}
