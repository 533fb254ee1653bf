#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

// Reads a saved state without trusting it. The framework's XML parser
// recurses once per nesting level and per entity expansion, loops for ever on
// some text, reads past the end of other text and takes time growing with the
// square of the length on yet other text, and its value tree allocates
// whatever size a binary attribute claims; a corrupt project file could
// otherwise hang or crash the host.
//
// Every limit below holds for the state as it will be saved after the restore,
// not only for the text that came in, so whatever is accepted saves a state
// that is accepted again.
namespace StateGuard
{
    // Longest XML text of a state, in bytes. Ours is about 260; the worst
    // text of this length keeps the parser busy for about 15 ms, and twice
    // the length takes twice to four times as long.
    inline constexpr int maxTextBytes = 32768;

    // Most elements a state may hold. Ours has six; this bounds the parser's
    // recursion to a depth any host thread's stack survives.
    inline constexpr int maxElements = 512;

    // Most attributes a state may hold. Ours has ten; the framework turns an
    // element's attributes into XML one by one with a search each time, so
    // the cost of every later save grows with the square of their number.
    inline constexpr int maxAttributes = 4096;

    // Unwraps the blob as the framework's binary XML wrapper does, parses it
    // and checks its root against the tree's type; returns the tree to
    // install, or an invalid tree when the blob is to be ignored.
    juce::ValueTree readState (const void* data, int sizeInBytes, const juce::AudioProcessorValueTreeState& parameters);
}
