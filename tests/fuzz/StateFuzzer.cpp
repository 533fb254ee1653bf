#include "PluginProcessor.h"

#include <juce_events/juce_events.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

// Feeds arbitrary bytes to setStateInformation as a host would hand over a
// project's blob, then checks that whatever state results saves a blob that
// restores to the same bytes.
extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    // The value-tree state's timer wants a message manager, as in a host.
    static auto* framework = new juce::ScopedJuceInitialiser_GUI();

    // The framework registers its list of objects deleted at shutdown when
    // the first timer starts; shutting down must come before that list is
    // destroyed at exit, so it is registered after it.
    {
        GrelkAudioProcessor warmUp;
    }
    std::atexit ([] { delete framework; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    if (size > (std::size_t) std::numeric_limits<int>::max())
        return 0;

    GrelkAudioProcessor processor;
    processor.setStateInformation (data, (int) size);

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);

    GrelkAudioProcessor reloaded;
    reloaded.setStateInformation (saved.getData(), (int) saved.getSize());

    juce::MemoryBlock savedAgain;
    reloaded.getStateInformation (savedAgain);

    if (savedAgain != saved)
        __builtin_trap();

    for (auto* parameter : processor.getParameters())
        if (! juce::isPositiveAndNotGreaterThan (parameter->getValue(), 1.0f))
            __builtin_trap();

    return 0;
}
