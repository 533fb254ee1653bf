#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

// Reads a saved state without trusting it. The framework's XML parser
// recurses once per nesting level and per entity expansion, loops for ever on
// some text and reads past the end of other text, so a corrupt project file
// could otherwise hang or crash the host.
namespace StateGuard
{
    // Most element start tags a state may hold. Ours has six; this bounds the
    // parser's recursion to a depth any host thread's stack survives.
    inline constexpr int maxElements = 512;

    // Most attributes a state may hold. Ours has ten; the framework turns an
    // element's attributes into XML one by one with a search each time, so
    // the cost of every later save grows with the square of their number.
    inline constexpr int maxAttributes = 4096;

    // Unwraps the blob as the framework's binary XML wrapper does and parses
    // its text; null when the wrapper, the text or the XML is unacceptable.
    std::unique_ptr<juce::XmlElement> parseState (const void* data, int sizeInBytes);

    // The framework limits a restored value to its parameter's range, except
    // a text such as "nan" that reads as no number at all, which would put
    // NaN into the parameter and from there into the audio. Such a value is
    // dropped, so the parameter takes its default as for a missing value.
    void dropNaNValues (juce::ValueTree& newState, const juce::AudioProcessorValueTreeState& parameters);
}
