#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// Host-side helpers for driving the built plug-in bundles through the
// framework's plug-in hosting. Nothing here knows the plug-in's own code.
namespace hosted
{
    enum class Format { vst3, lv2 };

    const char* formatName (Format);
    void setBundlePath (Format, const juce::String& path);
    juce::File getBundlePath (Format);

    // Destroys the format manager while the framework is still up.
    void shutdown();

    juce::AudioPluginFormat& getFormat (Format);

    // Finds the plug-in in its bundle; empty description and an error on failure.
    juce::PluginDescription findDescription (Format, juce::String& error);

    std::unique_ptr<juce::AudioPluginInstance> createInstance (Format, double sampleRate, int blockSize);

    //==========================================================================
    // The seven parameters in host order, as documented for users.
    enum ParamIndex { noise, bite, suck, wobble, depth, rate, depthMod, numOwnParams };

    struct ParamSpec
    {
        const char* id;
        const char* name;
        float minimum, maximum, defaultValue;
    };

    const ParamSpec& spec (int index);

    // Our parameter as the host sees it: by host index in VST3; by URI in
    // LV2, whose hosts pick their own order.
    juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance&, int index);

    // Sends a plain value through the host's normalised interface.
    void setPlain (juce::AudioPluginInstance&, int index, float plainValue);

    // The value the plug-in stores once a host sent plainValue, using the
    // framework's own parameter class for the 0.01 snapping.
    float storedValue (int index, float plainValue);

    //==========================================================================
    // Independent model of the output with no noise added: sample hold, then
    // the wobble gain with one counter shared by both channels.
    class ReferenceChain
    {
    public:
        struct Settings { float wobble = 0.01f, depth = 0.01f, suck = 1.0f; };

        // input and output have the host's channel count (1 or 2). Fills
        // gains (channel-major, 2 x n) with the gain each sample got.
        void processBlock (const juce::AudioBuffer<float>& input, juce::AudioBuffer<float>& output,
                           const Settings&, double sampleRate, std::vector<double>* gains = nullptr);

    private:
        double nextGain (double sampleRate, float depth);

        std::uint64_t counter = 0;
        float frequency = 12.0f;
    };

    //==========================================================================
    // Our own state blob: magic, length, XML, zero byte.
    constexpr std::uint32_t blobMagic = 0x21324356;

    struct WrappedState
    {
        juce::MemoryBlock blob;     // our blob as found inside the format's state
        juce::String wrapperNotes;  // what the format put around it
    };

    std::optional<WrappedState> unwrapOwnBlob (Format, const juce::MemoryBlock& formatState, juce::String& error);
}
