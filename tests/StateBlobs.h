#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Saved-state blobs written by hand, as a host hands them over: the
// framework's binary wrapper around XML text.
namespace grelk_test
{
    inline const std::string declaration = R"(<?xml version="1.0" encoding="UTF-8"?> )";

    inline void appendLittleEndian (std::vector<unsigned char>& out, std::uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back ((unsigned char) (value >> shift));
    }

    // A blob around the given text; the length field is the text's unless given.
    inline std::vector<unsigned char> makeBlob (const std::string& text, std::int64_t lengthField = -1)
    {
        std::vector<unsigned char> blob;
        blob.reserve (text.size() + 9);
        appendLittleEndian (blob, 0x21324356);
        appendLittleEndian (blob, (std::uint32_t) (lengthField < 0 ? (std::int64_t) text.size() : lengthField));
        blob.insert (blob.end(), text.begin(), text.end());
        blob.push_back (0);
        return blob;
    }

    inline std::string textOf (const std::vector<unsigned char>& blob)
    {
        return blob.size() > 9 ? std::string (blob.begin() + 8, blob.end() - 1) : std::string();
    }

    inline std::string stateText (const std::string& children, const std::string& root = "Grelk")
    {
        return declaration + "<" + root + ">" + children + "</" + root + ">";
    }

    inline std::string param (const std::string& id, const std::string& value)
    {
        return R"(<PARAM id=")" + id + R"(" value=")" + value + R"("/>)";
    }

    // `unit` repeated until the next copy would take the text past `bytes`.
    inline std::string repeatedUpTo (const std::string& unit, size_t bytes)
    {
        std::string text;
        text.reserve (bytes);
        while (text.size() + unit.size() <= bytes)
            text += unit;
        return text;
    }

    // Empty attributes with distinct names of three letters, the most that
    // fit in a state's text.
    inline std::string attributes (int count)
    {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += std::string { ' ', char ('a' + i / 676 % 26), char ('a' + i / 26 % 26), char ('a' + i % 26) } + R"(="")";
        return text;
    }

    // States the framework's XML reader is slowest on, each about `bytes`
    // long. They set "noise" to 50 first, so an accepted one shows.
    namespace slowStates
    {
        inline std::string attribute (const std::string& unit, size_t bytes)
        {
            const auto head = declaration + "<Grelk>" + param ("noise", "50.0") + R"(<Other note=")";
            const std::string tail = R"("/></Grelk>)";
            return head + repeatedUpTo (unit, bytes - head.size() - tail.size()) + tail;
        }

        // The reader grows an attribute's text one reallocation per character
        // reference, so its time grows with the square of the length.
        inline std::string characterReferences (size_t bytes) { return attribute ("a&amp;", bytes); }

        // An ampersand and a hash that start no reference: the same growth,
        // two bytes a step.
        inline std::string brokenReferences (size_t bytes) { return attribute ("&#", bytes); }

        // Text between elements, which the reader keeps and the value tree drops.
        inline std::string longText (size_t bytes)
        {
            const auto head = declaration + "<Grelk>" + param ("noise", "50.0");
            return head + repeatedUpTo ("text &amp; ", bytes - head.size() - 8) + "</Grelk>";
        }

        // Sections of text the reader keeps, each one more element for the
        // value tree to drop.
        inline std::string textSections (size_t bytes)
        {
            const auto head = declaration + "<Grelk>" + param ("noise", "50.0");
            return head + repeatedUpTo ("<![CDATA[x]]>", bytes - head.size() - 8) + "</Grelk>";
        }

        // The reader looks for the end of every unclosed end tag once per
        // level of nesting, through the rest of the text, decoding it one
        // character at a time: four-byte characters are the slowest. The
        // state holds `elements` elements in all.
        inline std::string unclosedEndTags (int elements, size_t bytes)
        {
            auto text = declaration + "<Grelk>" + param ("noise", "50.0");
            for (int i = 2; i < elements; ++i)
                text += "<a>";
            return text + "</" + repeatedUpTo ("\xf0\x9f\x98\x80", bytes - text.size() - 2);
        }

        inline std::string manyAttributes (int count)
        {
            return stateText (param ("noise", "50.0") + "<Other" + attributes (count) + "/>");
        }

        inline std::string manyChildren (int count)
        {
            return stateText (param ("noise", "50.0") + repeatedUpTo ("<a/>", 4 * (size_t) count));
        }
    }
}
