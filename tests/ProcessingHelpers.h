#pragma once

#include "TestHelpers.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

// Drives processBlock as a host's render callback does.
namespace grelk_test
{
    inline void prepare (juce::AudioProcessor& processor, double sampleRate, int maximumBlockSize)
    {
        processor.setRateAndBufferSizeDetails (sampleRate, maximumBlockSize);
        processor.prepareToPlay (sampleRate, maximumBlockSize);
    }

    inline void process (juce::AudioProcessor& processor, juce::AudioBuffer<float>& buffer)
    {
        juce::MidiBuffer midi;
        processor.processBlock (buffer, midi);
    }

    // A block whose sample i in every channel is valueAt (i).
    inline juce::AudioBuffer<float> makeBlock (int numChannels, int numSamples, const std::function<float (int)>& valueAt)
    {
        juce::AudioBuffer<float> buffer (numChannels, numSamples);
        for (int ch = 0; ch < numChannels; ++ch)
            for (int i = 0; i < numSamples; ++i)
                buffer.setSample (ch, i, valueAt (i));
        return buffer;
    }

    inline juce::AudioBuffer<float> processConstant (juce::AudioProcessor& processor, int numSamples, float value = 1.0f)
    {
        auto buffer = makeBlock (processor.getTotalNumOutputChannels(), numSamples, [value] (int) { return value; });
        process (processor, buffer);
        return buffer;
    }

    inline std::vector<float> channelOf (const juce::AudioBuffer<float>& buffer, int channel)
    {
        const auto* data = buffer.getReadPointer (channel);
        return { data, data + buffer.getNumSamples() };
    }

    inline std::uint32_t bitsOf (float value)
    {
        std::uint32_t bits;
        std::memcpy (&bits, &value, sizeof bits);
        return bits;
    }

    inline GrelkAudioProcessor& asGrelk (juce::AudioProcessor& processor)
    {
        return static_cast<GrelkAudioProcessor&> (processor);
    }
}
