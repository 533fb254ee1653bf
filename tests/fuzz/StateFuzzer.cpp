#include "PluginProcessor.h"

#include <juce_events/juce_events.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

// Feeds arbitrary bytes to setStateInformation as a host would hand over a
// project's blob, then checks that whatever state results saves a blob that
// a fresh instance accepts, with the same parameter values, and that saves
// the same bytes again.
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
    const auto freshTree = reloaded.parameters.state;
    reloaded.setStateInformation (saved.getData(), (int) saved.getSize());

    // An accepted restore installs a new tree.
    if (reloaded.parameters.state == freshTree)
    {
        std::fprintf (stderr, "a fresh instance refuses the saved state:\n%s\n", (const char*) saved.getData() + 8);
        __builtin_trap();
    }

    juce::MemoryBlock savedAgain;
    reloaded.getStateInformation (savedAgain);

    if (savedAgain != saved)
    {
        std::fprintf (stderr, "saved state does not restore to itself:\n%s\n%s\n",
                      (const char*) saved.getData() + 8, (const char*) savedAgain.getData() + 8);
        __builtin_trap();
    }

    // The blob must carry the values the instance actually holds.
    for (int i = 0; i < processor.getParameters().size(); ++i)
    {
        const auto value = processor.getParameters()[i]->getValue();

        if (! juce::isPositiveAndNotGreaterThan (value, 1.0f) || value != reloaded.getParameters()[i]->getValue())
        {
            std::fprintf (stderr, "parameter %d holds %g, its saved state restores %g\n",
                          i, (double) value, (double) reloaded.getParameters()[i]->getValue());
            __builtin_trap();
        }
    }

    return 0;
}
