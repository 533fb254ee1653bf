#include "TestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace
{
    constexpr int rounds = 3000;
    constexpr int blockSize = 256;

    // Stops the message loop however the thread that owns it ends.
    struct StopDispatchLoopOnExit
    {
        ~StopDispatchLoopOnExit() { juce::MessageManager::getInstance()->stopDispatchLoop(); }
    };
}

// As in a host: the render thread processes blocks, another thread saves,
// restores and automates, and the message thread runs the value-tree state's
// own flushes. Built with ThreadSanitizer in CI.
TEST (StateConcurrency, SaveRestoreAndAutomationDuringPlayback)
{
    auto processor = grelk_test::createProcessor();
    processor->setRateAndBufferSizeDetails (48000.0, blockSize);
    processor->prepareToPlay (48000.0, blockSize);

    std::atomic<bool> stopAudio { false };
    std::atomic<int> blocksProcessed { 0 };
    std::atomic<int> nonFiniteBlocks { 0 };

    std::thread audio ([&]
    {
        juce::AudioBuffer<float> buffer (2, blockSize);
        juce::MidiBuffer midi;
        juce::Random random (1);

        while (! stopAudio.load())
        {
            for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
                for (int i = 0; i < blockSize; ++i)
                    buffer.setSample (channel, i, random.nextFloat() - 0.5f);

            processor->processBlock (buffer, midi);

            for (int channel = 0; channel < buffer.getNumChannels(); ++channel)
                for (int i = 0; i < blockSize; ++i)
                    if (! std::isfinite (buffer.getSample (channel, i)))
                    {
                        ++nonFiniteBlocks;
                        channel = buffer.getNumChannels();
                        break;
                    }

            ++blocksProcessed;
        }
    });

    std::vector<juce::MemoryBlock> saved;
    saved.reserve (rounds);

    std::thread host ([&]
    {
        StopDispatchLoopOnExit stopLoop;
        juce::Random random (2);
        const auto& parameters = processor->getParameters();

        for (int round = 0; round < rounds; ++round)
        {
            for (int moves = random.nextInt (3); moves >= 0; --moves)
                parameters[random.nextInt (parameters.size())]->setValueNotifyingHost (random.nextFloat());

            saved.emplace_back();
            processor->getStateInformation (saved.back());

            if (round % 3 == 2)
            {
                const auto& earlier = saved[(size_t) random.nextInt ((int) saved.size())];
                processor->setStateInformation (earlier.getData(), (int) earlier.getSize());
            }
        }
    });

    juce::MessageManager::getInstance()->runDispatchLoop();
    host.join();
    stopAudio = true;
    audio.join();

    EXPECT_GT (blocksProcessed.load(), 0);
    EXPECT_EQ (nonFiniteBlocks.load(), 0);
    ASSERT_EQ (saved.size(), (size_t) rounds);

    // Every blob saved under load restores, to exactly what it holds.
    auto checker = grelk_test::createProcessor();
    int mismatches = 0;

    for (const auto& blob : saved)
    {
        checker->setStateInformation (blob.getData(), (int) blob.getSize());
        juce::MemoryBlock again;
        checker->getStateInformation (again);

        if (again != blob && ++mismatches <= 3)
            ADD_FAILURE() << "restored\n" << blob.toString() << "\nsaved back\n" << again.toString();
    }

    EXPECT_EQ (mismatches, 0);
}
