#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

// Screens a saved state before the framework's XML parser sees it. The parser
// recurses once per nesting level and once per entity expansion, so a hostile
// or corrupt project file could otherwise overflow the host thread's stack.
namespace StateGuard
{
    // Most element start tags a state may hold. Ours has six; this bounds the
    // parser's recursion to a depth any host thread's stack survives.
    inline constexpr int maxElements = 512;

    // False when the blob's text must not be parsed. A blob whose wrapper is
    // malformed passes: the framework's own unwrapping rejects it.
    bool isSafeToParse (const void* data, int sizeInBytes);

    // The framework limits a restored value to its parameter's range, except
    // a text such as "nan" that reads as no number at all, which would put
    // NaN into the parameter and from there into the audio. Such a value is
    // dropped, so the parameter takes its default as for a missing value.
    void dropNaNValues (juce::ValueTree& newState, const juce::AudioProcessorValueTreeState& parameters);
}
