#include "PluginProcessor.h"

#include <juce_events/juce_events.h>

#include <array>
#include <iostream>

// Writes blobs saved by the processor itself into a directory, as the
// starting corpus of the state fuzzer.
namespace
{
    void setPlain (juce::AudioProcessor& processor, int index, float plainValue)
    {
        auto* parameter = dynamic_cast<juce::RangedAudioParameter*> (processor.getParameters()[index]);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (plainValue));
    }

    void restoreText (juce::AudioProcessor& processor, const juce::String& text)
    {
        juce::MemoryBlock blob;
        juce::AudioProcessor::copyXmlToBinary (*juce::parseXML (text), blob);
        processor.setStateInformation (blob.getData(), (int) blob.getSize());
    }
}

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: " << argv[0] << " <corpus directory>\n";
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI framework;
    const juce::File directory (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    directory.createDirectory();
    int written = 0;

    const auto write = [&] (juce::AudioProcessor& processor)
    {
        juce::MemoryBlock blob;
        processor.getStateInformation (blob);
        directory.getChildFile ("seed-" + juce::String (++written)).replaceWithData (blob.getData(), blob.getSize());
    };

    {
        GrelkAudioProcessor fresh;
        write (fresh);
    }
    for (const auto plainValues : { std::array<float, 5> { 25.5f, 12.0f, 7.0f, 0.5f, 0.25f },
                                    std::array<float, 5> { 0.0f, 2.0f, 1.0f, 0.01f, 0.01f },
                                    std::array<float, 5> { 100.0f, 32.0f, 50.0f, 1.0f, 1.0f } })
    {
        GrelkAudioProcessor processor;

        for (int i = 0; i < 5; ++i)
            setPlain (processor, i, plainValues[(size_t) i]);

        write (processor);
    }

    // Restored states the processor keeps and writes back in their own shape.
    for (const auto* text : { R"(<grelk><PARAM id="suck" value="70"/><PARAM id="rate" value="0.3"/></grelk>)",
                              R"(<GRELK note="x"><PARAM id="bite" value="10"/><PARAM id="bite" value="11"/><Other id="depth" value="0.75"/></GRELK>)",
                              R"(<Grelk><PARAM id="noise"/><PARAM value="3"/><PARAM id="wobble" value="0"/></Grelk>)" })
    {
        GrelkAudioProcessor processor;
        restoreText (processor, text);
        write (processor);
    }

    // States close to the reader's limits on elements, attributes, nesting
    // and size, each lacking a parameter, so that mutations cross them. The
    // seeds are what the processor saves after restoring them.
    {
        const juce::String known = R"(<PARAM id="suck" value="70"/><PARAM id="wobble" value="0"/>)";
        juce::String attributes;
        for (int i = 0; i < 4000; ++i)
            attributes << " " << juce::String::charToString ('a' + i / 676 % 26) << juce::String::charToString ('a' + i / 26 % 26)
                       << juce::String::charToString ('a' + i % 26) << "=\"\"";

        for (const auto& text : { "<Grelk>" + known + juce::String::repeatedString ("<a/>", 500) + "</Grelk>",
                                  "<Grelk>" + known + "<Other" + attributes + "/></Grelk>",
                                  "<Grelk>" + known + juce::String::repeatedString ("<a>", 500) + juce::String::repeatedString ("</a>", 500) + "</Grelk>",
                                  "<Grelk>" + known + "<Other note='" + juce::String::repeatedString ("\"", 5000) + "' base64:b=\"3.AAAA\"/></Grelk>" })
        {
            GrelkAudioProcessor processor;
            restoreText (processor, text);
            write (processor);
        }
    }

    std::cout << "wrote " << written << " seeds to " << directory.getFullPathName() << "\n";
    return 0;
}
