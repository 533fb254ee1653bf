#pragma once

#include "PluginProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

// Host-side helpers: everything goes through juce::AudioProcessor's public
// interface and the normalised parameter API, as a host would drive it.
namespace grelk_test
{
    inline std::unique_ptr<juce::AudioProcessor> createProcessor()
    {
        return std::make_unique<GrelkAudioProcessor>();
    }

    inline juce::RangedAudioParameter* findParameter (juce::AudioProcessor& processor, const juce::String& id)
    {
        for (auto* p : processor.getParameters())
            if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (p))
                if (ranged->getParameterID() == id)
                    return ranged;

        return nullptr;
    }

    // Sets a plain value the way a host does: converted to 0..1 and sent
    // through setValueNotifyingHost.
    inline void setPlain (juce::AudioProcessor& processor, const juce::String& id, float plainValue)
    {
        auto* p = findParameter (processor, id);
        jassert (p != nullptr);
        p->setValueNotifyingHost (p->convertTo0to1 (plainValue));
    }

    // The plain value the parameter stores.
    inline float getPlain (juce::AudioProcessor& processor, const juce::String& id)
    {
        auto* p = dynamic_cast<juce::AudioParameterFloat*> (findParameter (processor, id));
        jassert (p != nullptr);
        return p->get();
    }

    // Applies a layout of one main input and one main output bus.
    inline bool applyLayout (juce::AudioProcessor& processor, const juce::AudioChannelSet& in, const juce::AudioChannelSet& out)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (in);
        layout.outputBuses.add (out);
        return processor.setBusesLayout (layout);
    }
}
