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
        // The search stops one byte past the longest text we accept.
        std::string_view textOf (const void* data, int sizeInBytes)
        {
            if (data == nullptr || sizeInBytes <= 8 || juce::ByteOrder::littleEndianInt (data) != xmlMagic)
                return {};

            const auto storedLength = (int) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4));

            if (storedLength <= 0)
                return {};

            const auto* text = static_cast<const char*> (data) + 8;
            const auto searched = (size_t) juce::jmin (storedLength, sizeInBytes - 8, maxTextBytes + 1);
            const auto* end = static_cast<const char*> (std::memchr (text, 0, searched));
            return { text, end != nullptr ? (size_t) (end - text) : searched };
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
            return text.size() <= (size_t) maxTextBytes
                && text.find ("<!DOCTYPE") == std::string_view::npos
                && isValidUtf8 (text)
                && ! hasLaterProcessingInstruction (text)
                && countElementStarts (text) <= maxElements;
        }

        std::unique_ptr<juce::XmlElement> parse (std::string_view text)
        {
            // The parser can step a few bytes past the end of its text (after
            // a "&#x" there, for one), so the text it gets ends in spare zeros.
            std::vector<char> padded (text.begin(), text.end());
            padded.resize (text.size() + 4, '\0');
            const juce::String paddedText (juce::CharPointer_UTF8 (padded.data()),
                                           juce::CharPointer_UTF8 (padded.data() + padded.size()));
            return juce::parseXML (paddedText);
        }

        // The framework's value tree decodes an attribute named "base64:x"
        // whose text holds a '.' into a binary property "x" of the size the
        // digits before the '.' claim, however few bytes follow.
        bool isBinaryAttribute (const juce::String& name, const juce::String& value)
        {
            return name.startsWith ("base64:") && value.containsChar ('.');
        }

        bool claimsOnlyWhatItCarries (const juce::String& value)
        {
            const auto dot = value.indexOfChar ('.');
            const auto claimedBytes = (juce::int64) value.substring (0, dot).getIntValue();
            const auto carriedCharacters = (juce::int64) (value.length() - dot - 1);
            return claimedBytes >= 0 && claimedBytes * 8 <= carriedCharacters * 6;
        }

        // Takes the element's attributes apart, first to last. The element
        // offers them only by index, and each look-up by index walks its list.
        bool hasSoundAttributes (juce::XmlElement& element, int& numAttributes)
        {
            std::vector<juce::String> propertyNames;

            for (;;)
            {
                auto name = element.getAttributeName (0);

                if (name.isEmpty())
                    break;

                const auto value = element.getAttributeValue (0);
                element.removeAttribute (name);

                if (++numAttributes > maxAttributes)
                    return false;

                if (isBinaryAttribute (name, value))
                {
                    if (! claimsOnlyWhatItCarries (value))
                        return false;

                    name = name.substring (7);
                }

                propertyNames.push_back (name);
            }

            // The value tree keeps both copies of a property given twice but
            // reads the first and writes the last, so later saves would no
            // longer match the parameters. Such a state is not XML.
            std::sort (propertyNames.begin(), propertyNames.end());

            if (std::adjacent_find (propertyNames.begin(), propertyNames.end()) != propertyNames.end())
                return false;

            for (auto* child : element.getChildIterator())
                if (! child->isTextElement() && ! hasSoundAttributes (*child, numAttributes))
                    return false;

            return true;
        }

        bool hasSoundAttributes (const juce::XmlElement& root)
        {
            juce::XmlElement scratch (root);
            int numAttributes = 0;
            return hasSoundAttributes (scratch, numAttributes);
        }

        // The longest "value" text a flush writes: a float of this system's
        // ranges widened to double is at most 20 characters, as in
        // 0.009999999776482582.
        constexpr int longestValueText = 24;

        void removeTextElements (juce::XmlElement& element)
        {
            element.deleteAllTextElements();

            for (auto* child : element.getChildIterator())
                removeTextElements (*child);
        }

        // Turns the parsed state into the longest that any save after the
        // restore can write: the value tree drops the text between elements,
        // the framework appends a child for each parameter the state lacks,
        // and each parameter's "value" may be rewritten at every flush. The
        // same turn applied to such a save gives nothing longer, so a state
        // that fits the limits this way saves one that fits them too.
        void growToLongestSave (juce::XmlElement& root, const juce::AudioProcessorValueTreeState& parameters)
        {
            removeTextElements (root);
            std::vector<juce::String> connectedIds;

            for (auto* child : root.getChildIterator())
            {
                const auto id = child->getStringAttribute ("id");

                if (parameters.getParameter (id) == nullptr)
                    continue;

                // Padding what is there keeps it at least as long as it is
                // written now, escapes included.
                auto value = child->getStringAttribute ("value");
                value += juce::String::repeatedString ("0", juce::jmax (0, longestValueText - value.length()));
                child->setAttribute ("value", value);
                connectedIds.push_back (id);
            }

            for (auto* parameter : parameters.processor.getParameters())
            {
                const auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (parameter);

                if (ranged == nullptr || parameters.getParameter (ranged->getParameterID()) != ranged
                      || std::find (connectedIds.begin(), connectedIds.end(), ranged->getParameterID()) != connectedIds.end())
                    continue;

                auto* added = root.createNewChildElement ("PARAM");
                added->setAttribute ("id", ranged->getParameterID());
                added->setAttribute ("value", juce::String::repeatedString ("0", longestValueText));
            }
        }

        int countElements (const juce::XmlElement& element, int& numAttributes)
        {
            numAttributes += element.getNumAttributes();
            int count = 1;

            for (auto* child : element.getChildIterator())
                count += countElements (*child, numAttributes);

            return count;
        }

        bool fitsTheLimits (const juce::XmlElement& root)
        {
            int numAttributes = 0;

            if (countElements (root, numAttributes) > maxElements || numAttributes > maxAttributes)
                return false;

            // As the framework's binary wrapper writes it.
            juce::MemoryOutputStream text;
            root.writeTo (text, juce::XmlElement::TextFormat().singleLine());
            return text.getDataSize() <= (size_t) maxTextBytes;
        }

        // The framework limits a restored value to its parameter's range,
        // except a text such as "nan" that reads as no number at all, which
        // would put NaN into the parameter and from there into the audio.
        // Such a value is dropped, so the parameter takes its default as for
        // a missing value.
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

    juce::ValueTree readState (const void* data, int sizeInBytes, const juce::AudioProcessorValueTreeState& parameters)
    {
        const auto text = textOf (data, sizeInBytes);

        if (text.empty() || ! isSafeToParse (text))
            return {};

        const auto xml = parse (text);

        // Compared by hand rather than with hasTagName, which asserts on a
        // case-only match that we accept on purpose.
        if (xml == nullptr || ! xml->getTagName().equalsIgnoreCase (parameters.state.getType().toString())
              || ! hasSoundAttributes (*xml))
            return {};

        auto newState = juce::ValueTree::fromXml (*xml);
        growToLongestSave (*xml, parameters);

        if (! fitsTheLimits (*xml))
            return {};

        dropNaNValues (newState, parameters);
        return newState;
    }
}
