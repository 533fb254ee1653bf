#include "HostedPlugin.h"

#include <cmath>
#include <cstring>
#include <map>

namespace hosted
{
namespace
{
    struct Host
    {
        Host()
        {
            manager.addFormat (vst3 = new juce::VST3PluginFormat());
            manager.addFormat (lv2 = new juce::LV2PluginFormat());
        }

        juce::AudioPluginFormatManager manager;
        juce::AudioPluginFormat* vst3 = nullptr;
        juce::AudioPluginFormat* lv2 = nullptr;
        std::map<Format, juce::PluginDescription> descriptions;
    };

    std::unique_ptr<Host>& hostStorage()
    {
        static std::unique_ptr<Host> host;
        return host;
    }

    Host& host()
    {
        auto& h = hostStorage();

        if (h == nullptr)
            h = std::make_unique<Host>();

        return *h;
    }

    std::map<Format, juce::String>& bundlePaths()
    {
        static std::map<Format, juce::String> paths { { Format::vst3, GRELK_VST3_BUNDLE },
                                                      { Format::lv2,  GRELK_LV2_BUNDLE } };
        return paths;
    }

    const ParamSpec specs[numOwnParams] {
        { "noise",    "Noise",  0.0f,  100.0f, 0.15f },
        { "bite",     "Bite",   2.0f,  32.0f,  32.0f },
        { "suck",     "Suck",   1.0f,  50.0f,  1.0f },
        { "wobble",   "Wobble", 0.01f, 1.0f,   0.01f },
        { "depth",    "Depth",  0.01f, 1.0f,   0.01f },
        { "rate",     "XXX",    0.0f,  1.0f,   0.6f },
        { "depthMod", "XXX",    0.0f,  1.0f,   1.0f },
    };

    float normalised (int index, float plainValue)
    {
        const auto& s = specs[index];
        return (plainValue - s.minimum) / (s.maximum - s.minimum);
    }

    std::uint32_t readLE32 (const juce::MemoryBlock& block, size_t offset)
    {
        return juce::ByteOrder::littleEndianInt (static_cast<const char*> (block.getData()) + offset);
    }
}

const char* formatName (Format f) { return f == Format::vst3 ? "VST3" : "LV2"; }

void setBundlePath (Format f, const juce::String& path) { bundlePaths()[f] = path; }

juce::File getBundlePath (Format f) { return juce::File (juce::File::getCurrentWorkingDirectory().getChildFile (bundlePaths()[f])); }

void shutdown() { hostStorage().reset(); }

juce::AudioPluginFormat& getFormat (Format f) { return f == Format::vst3 ? *host().vst3 : *host().lv2; }

juce::PluginDescription findDescription (Format f, juce::String& error)
{
    auto& cache = host().descriptions;

    if (auto it = cache.find (f); it != cache.end())
        return it->second;

    const auto bundle = getBundlePath (f);

    if (! bundle.isDirectory())
    {
        error = "no bundle at " + bundle.getFullPathName();
        return {};
    }

    auto& format = getFormat (f);
    juce::String fileOrIdentifier = bundle.getFullPathName();

    // LV2 hosts name plug-ins by URI; the bundle is found in ~/.lv2.
    if (f == Format::lv2)
        fileOrIdentifier = GRELK_LV2_URI;

    juce::OwnedArray<juce::PluginDescription> found;
    format.findAllTypesForFile (found, fileOrIdentifier);

    if (found.size() != 1)
    {
        error = juce::String (found.size()) + " plug-ins found in " + fileOrIdentifier;
        return {};
    }

    cache[f] = *found[0];
    return *found[0];
}

std::unique_ptr<juce::AudioPluginInstance> createInstance (Format f, double sampleRate, int blockSize)
{
    juce::String error;
    const auto description = findDescription (f, error);

    if (error.isNotEmpty())
        return nullptr;

    return host().manager.createPluginInstance (description, sampleRate, blockSize, error);
}

//==============================================================================
const ParamSpec& spec (int index) { return specs[index]; }

juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance& instance, int index)
{
    const auto& params = instance.getParameters();

    if (instance.getPluginDescription().pluginFormatName == "VST3")
        return index < params.size() ? params[index] : nullptr;

    // The framework's LV2 host prefixes the property URI with a tag of its own.
    const auto uri = juce::String (GRELK_LV2_URI) + ":" + specs[index].id;

    for (auto* p : params)
        if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (p); hosted != nullptr && hosted->getParameterID().endsWith (uri))
            return p;

    return nullptr;
}

void setPlain (juce::AudioPluginInstance& instance, int index, float plainValue)
{
    findParameter (instance, index)->setValue (normalised (index, plainValue));
}

float storedValue (int index, float plainValue)
{
    const auto& s = specs[index];
    juce::AudioParameterFloat reference (juce::ParameterID { s.id }, s.name,
                                         juce::NormalisableRange<float> (s.minimum, s.maximum, 0.01f), s.defaultValue);
    static_cast<juce::AudioProcessorParameter&> (reference).setValue (normalised (index, plainValue));
    return reference.get();
}

//==============================================================================
double ReferenceChain::nextGain (double sampleRate, float depth)
{
    if (static_cast<double> (counter) >= sampleRate / static_cast<double> (frequency))
        counter = 0;

    auto theta = static_cast<double> (counter) * (static_cast<double> (frequency) / sampleRate);
    theta *= 2.0;
    theta *= static_cast<double> (3.14159274f);
    ++counter;
    return 1.0 - (0.5 + std::sin (theta) * 0.5) * static_cast<double> (depth);
}

void ReferenceChain::processBlock (const juce::AudioBuffer<float>& input, juce::AudioBuffer<float>& output,
                                   const Settings& settings, double sampleRate, std::vector<double>* gains)
{
    const auto n = input.getNumSamples();

    // A new rate keeps the phase by rescaling the counter, in single precision.
    const auto previous = frequency;
    frequency = settings.wobble * 20.0f;

    if (previous != frequency)
        counter = static_cast<std::uint64_t> ((previous / frequency) * static_cast<float> (counter));

    const auto hold = static_cast<int> (settings.suck);

    if (gains != nullptr)
        gains->assign (static_cast<size_t> (2 * n), 0.0);

    // Both internal channels advance the counter, also when the host is mono.
    for (int channel = 0; channel < 2; ++channel)
    {
        const bool audible = channel < input.getNumChannels();
        const auto* in = audible ? input.getReadPointer (channel) : nullptr;
        auto* out = audible ? output.getWritePointer (channel) : nullptr;

        for (int i = 0; i < n; ++i)
        {
            const auto gain = nextGain (sampleRate, settings.depth);

            if (gains != nullptr)
                (*gains)[static_cast<size_t> (channel * n + i)] = gain;

            if (! audible)
                continue;

            const auto r = hold >= 2 ? i % hold : 0;
            const auto x = r != 0 ? out[i - r] : in[i];
            out[i] = static_cast<float> (static_cast<double> (x) * gain);
        }
    }
}

//==============================================================================
std::optional<WrappedState> unwrapOwnBlob (Format f, const juce::MemoryBlock& formatState, juce::String& error)
{
    WrappedState result;
    juce::MemoryBlock carrier;

    if (f == Format::vst3)
    {
        // The framework's VST3 host keeps each VST3 object's stream, in its own
        // base-64 flavour, inside an XML document of its own.
        const auto xml = juce::AudioProcessor::getXmlFromBinary (formatState.getData(), static_cast<int> (formatState.getSize()));

        if (xml == nullptr || ! xml->hasTagName ("VST3PluginState"))
        {
            error = "no VST3PluginState document";
            return {};
        }

        const auto* component = xml->getChildByName ("IComponent");

        if (component == nullptr || ! carrier.fromBase64Encoding (component->getAllSubText()))
        {
            error = "no IComponent stream";
            return {};
        }

        juce::MemoryBlock controller;

        if (const auto* c = xml->getChildByName ("IEditController"))
            controller.fromBase64Encoding (c->getAllSubText());

        result.wrapperNotes << "host document VST3PluginState: IComponent stream " << (int) carrier.getSize()
                            << " bytes, IEditController stream " << (int) controller.getSize() << " bytes";
    }
    else
    {
        // The LV2 client stores the blob, base-64 encoded, as one string
        // property of the plug-in's LV2 state; the host writes that as Turtle.
        const auto text = formatState.toString();
        const auto key = text.indexOf ("StateString");
        const auto open = key < 0 ? -1 : text.indexOfChar (key, '"');
        const auto close = open < 0 ? -1 : text.indexOfChar (open + 1, '"');

        if (close < 0 || ! carrier.fromBase64Encoding (text.substring (open + 1, close)))
        {
            error = "no StateString property in the LV2 state:\n" + text;
            return {};
        }

        result.wrapperNotes << "LV2 state (Turtle, " << (int) formatState.getSize()
                            << " bytes) with the blob as a base-64 StateString property";
    }

    if (carrier.getSize() < 9 || readLE32 (carrier, 0) != blobMagic)
    {
        error = "the format's payload does not start with our magic";
        return {};
    }

    const auto blobSize = static_cast<size_t> (readLE32 (carrier, 4)) + 9;

    if (blobSize > carrier.getSize())
    {
        error = "our blob's length field runs past the format's payload";
        return {};
    }

    result.blob = juce::MemoryBlock (carrier.getData(), blobSize);

    const auto trailing = carrier.getSize() - blobSize;

    if (trailing > 0)
    {
        const juce::String marker ("JUCEPrivateData");
        const auto markerSize = static_cast<size_t> (marker.length());
        const auto* end = static_cast<const char*> (carrier.getData()) + carrier.getSize();
        const bool juceRecord = trailing >= markerSize && std::memcmp (end - markerSize, marker.toRawUTF8(), markerSize) == 0;

        result.wrapperNotes << "; " << (int) trailing << " bytes appended after our blob"
                            << (juceRecord ? " (the wrapper's JUCEPrivateData record)" : "");
    }

    return result;
}
}
