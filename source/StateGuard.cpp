#include "StateGuard.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace StateGuard
{
    namespace
    {
        constexpr std::uint32_t xmlMagic = 0x21324356;

        // The text of the framework's wrapper: the bytes after the header, up
        // to the stored length or the data's end, and before the first zero.
        std::string_view textOf (const void* data, int sizeInBytes)
        {
            if (data == nullptr || sizeInBytes <= 8 || juce::ByteOrder::littleEndianInt (data) != xmlMagic)
                return {};

            const auto storedLength = (int) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4));

            if (storedLength <= 0)
                return {};

            const auto* text = static_cast<const char*> (data) + 8;
            const auto available = (size_t) juce::jmin (storedLength, sizeInBytes - 8);
            const auto* end = static_cast<const char*> (std::memchr (text, 0, available));
            return { text, end != nullptr ? (size_t) (end - text) : available };
        }

        // The parser steps over a multi-byte character by its first byte
        // alone, so a sequence cut short lets it step over the text's end.
        bool isValidUtf8 (std::string_view text)
        {
            for (size_t i = 0; i < text.size();)
            {
                const auto lead = (unsigned char) text[i];
                const auto length = lead < 0x80 ? 1u
                                  : lead >= 0xc2 && lead <= 0xdf ? 2u
                                  : lead >= 0xe0 && lead <= 0xef ? 3u
                                  : lead >= 0xf0 && lead <= 0xf4 ? 4u
                                  : 0u;

                if (length == 0 || i + length > text.size())
                    return false;

                for (size_t k = 1; k < length; ++k)
                    if (((unsigned char) text[i + k] & 0xc0) != 0x80)
                        return false;

                i += length;
            }

            return true;
        }

        // Inside an element, the parser loops for ever on a processing
        // instruction followed by text. Only the declaration may open with
        // "<?", and only at the start.
        bool hasLaterProcessingInstruction (std::string_view text)
        {
            const auto start = text.find_first_not_of (" \t\r\n");
            const auto first = text.find ("<?");
            return first != std::string_view::npos
                && (first != start || text.find ("<?", first + 2) != std::string_view::npos);
        }

        // Every element the parser creates starts at a '<' of the text, and
        // none at "</", "<!" or "<?", so this bounds the nesting depth.
        int countElementStarts (std::string_view text)
        {
            int count = 0;

            for (size_t i = 0; i < text.size(); ++i)
            {
                if (text[i] != '<')
                    continue;

                const auto next = i + 1 < text.size() ? text[i + 1] : '\0';

                if (next != '/' && next != '!' && next != '?')
                    ++count;
            }

            return count;
        }

        bool isSafeToParse (std::string_view text)
        {
            // A document type declaration is the only source of named
            // entities, and the parser expands a self-referencing one
            // without end.
            if (text.find ("<!DOCTYPE") != std::string_view::npos)
                return false;

            // Every attribute needs an '='.
            return isValidUtf8 (text)
                && ! hasLaterProcessingInstruction (text)
                && countElementStarts (text) <= maxElements
                && std::count (text.begin(), text.end(), '=') <= maxAttributes;
        }

        // The framework's value tree keeps both copies of an attribute given
        // twice but reads the first and writes the last, so later saves would
        // no longer match the parameters. Such a state is not XML.
        bool hasRepeatedAttribute (const juce::XmlElement& element)
        {
            std::vector<juce::String> names;

            for (int i = 0; i < element.getNumAttributes(); ++i)
                names.push_back (element.getAttributeName (i));

            std::sort (names.begin(), names.end());

            if (std::adjacent_find (names.begin(), names.end()) != names.end())
                return true;

            for (auto* child : element.getChildIterator())
                if (hasRepeatedAttribute (*child))
                    return true;

            return false;
        }
    }

    std::unique_ptr<juce::XmlElement> parseState (const void* data, int sizeInBytes)
    {
        const auto text = textOf (data, sizeInBytes);

        if (text.empty() || ! isSafeToParse (text))
            return {};

        // The parser can step a few bytes past the end of its text (after a
        // "&#x" there, for one), so the text it gets ends in spare zeros.
        std::vector<char> padded (text.begin(), text.end());
        padded.resize (text.size() + 4, '\0');
        const juce::String paddedText (juce::CharPointer_UTF8 (padded.data()),
                                       juce::CharPointer_UTF8 (padded.data() + padded.size()));

        auto xml = juce::parseXML (paddedText);
        return xml != nullptr && ! hasRepeatedAttribute (*xml) ? std::move (xml) : nullptr;
    }

    void dropNaNValues (juce::ValueTree& newState, const juce::AudioProcessorValueTreeState& parameters)
    {
        // The same reads the framework makes when it reconnects a parameter.
        static const juce::Identifier id ("id"), value ("value");

        for (auto child : newState)
            if (parameters.getParameter (child.getProperty (id).toString()) != nullptr
                  && child.hasProperty (value)
                  && std::isnan ((float) child.getProperty (value)))
                child.removeProperty (value, nullptr);
    }
}
