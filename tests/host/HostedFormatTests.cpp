#include "HostedPlugin.h"

#if GRELK_COUNT_ALLOCATIONS
 #include "AllocationOrigin.h"
#endif

#include <gtest/gtest.h>

#include <malloc.h>

#include <cmath>
#include <iostream>
#include <thread>

using namespace hosted;

namespace
{
    constexpr int maxBlock = 512;

    // LV2 fixes the port count in the bundle's Turtle, so only the default
    // stereo pair can be hosted; VST3 lets the host rearrange the buses.
    bool formatCanGoMono (Format f) { return f == Format::vst3; }

    juce::AudioChannelSet channelSet (int channels)
    {
        return channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    }

    juce::AudioProcessor::BusesLayout layout (int inChannels, int outChannels)
    {
        juce::AudioProcessor::BusesLayout l;
        l.inputBuses.add (channelSet (inChannels));
        l.outputBuses.add (channelSet (outChannels));
        return l;
    }

    // A different tone per channel plus a little deterministic hiss, so that
    // a swapped channel or a missed hold shows.
    void fillInput (juce::AudioBuffer<float>& buffer, std::int64_t startSample, double sampleRate)
    {
        for (int c = 0; c < buffer.getNumChannels(); ++c)
        {
            juce::Random random (startSample * 7 + c);
            const auto hz = c == 0 ? 441.0 : 997.0;

            for (int i = 0; i < buffer.getNumSamples(); ++i)
            {
                const auto t = static_cast<double> (startSample + i) / sampleRate;
                buffer.setSample (c, i, static_cast<float> (0.5 * std::sin (juce::MathConstants<double>::twoPi * hz * t))
                                            + 0.1f * (random.nextFloat() - 0.5f));
            }
        }
    }

    float maxAbsDifference (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
    {
        float worst = 0.0f;

        for (int c = 0; c < a.getNumChannels(); ++c)
            for (int i = 0; i < a.getNumSamples(); ++i)
                worst = std::max (worst, std::abs (a.getSample (c, i) - b.getSample (c, i)));

        return worst;
    }

    bool allFinite (const juce::AudioBuffer<float>& buffer)
    {
        for (int c = 0; c < buffer.getNumChannels(); ++c)
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                if (! std::isfinite (buffer.getSample (c, i)))
                    return false;

        return true;
    }

    // Plays one block through the hosted plug-in and through the model.
    struct Player
    {
        Player (juce::AudioPluginInstance& p, int channelsIn, double rate)
            : plugin (p), channels (channelsIn), sampleRate (rate) {}

        // Returns the largest deviation from the model in this block.
        float play (int n, const ReferenceChain::Settings& settings = {})
        {
            juce::AudioBuffer<float> input (channels, n), output (channels, n), expected (channels, n);
            fillInput (input, position, sampleRate);
            output.makeCopyOf (input);
            juce::MidiBuffer midi;
            plugin.processBlock (output, midi);
            model.processBlock (input, expected, settings, sampleRate);
            position += n;
            finite = finite && allFinite (output);
            return n > 0 ? maxAbsDifference (output, expected) : 0.0f;
        }

        juce::AudioPluginInstance& plugin;
        int channels;
        double sampleRate;
        ReferenceChain model;
        std::int64_t position = 0;
        bool finite = true;
    };

    class HostedFormat : public ::testing::TestWithParam<Format>
    {
    protected:
        std::unique_ptr<juce::AudioPluginInstance> load (double sampleRate = 48000.0, int blockSize = maxBlock)
        {
            auto instance = createInstance (GetParam(), sampleRate, blockSize);
            EXPECT_NE (instance, nullptr) << "could not instantiate " << getBundlePath (GetParam()).getFullPathName();
            return instance;
        }

        static void report (const juce::String& what)
        {
            std::cout << "[" << formatName (GetParam()) << "] " << what << std::endl;
        }
    };
}

//==============================================================================
TEST_P (HostedFormat, FindsThePluginAndItsAnswers)
{
    juce::String error;
    const auto description = findDescription (GetParam(), error);
    ASSERT_TRUE (error.isEmpty()) << error;

    EXPECT_EQ (description.name, "Grelk");
    EXPECT_EQ (description.pluginFormatName, formatName (GetParam()));
    EXPECT_EQ (description.manufacturerName, "Grelk Audio");
    EXPECT_FALSE (description.isInstrument);
    EXPECT_EQ (description.numInputChannels, 2);
    EXPECT_EQ (description.numOutputChannels, 2);
    report ("found " + description.createIdentifierString() + ", version " + description.version
            + ", category \"" + description.category + "\"");

    auto instance = load();
    ASSERT_NE (instance, nullptr);
    EXPECT_EQ (instance->getName(), "Grelk");
    EXPECT_FALSE (instance->acceptsMidi());
    EXPECT_FALSE (instance->producesMidi());
    EXPECT_EQ (instance->getTailLengthSeconds(), 0.0);
    EXPECT_TRUE (instance->hasEditor());
}

TEST_P (HostedFormat, OffersOneStereoBusEachWayAndOnlyMatchingLayouts)
{
    auto instance = load();
    ASSERT_NE (instance, nullptr);

    ASSERT_EQ (instance->getBusCount (true), 1);
    ASSERT_EQ (instance->getBusCount (false), 1);
    EXPECT_EQ (instance->getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (instance->getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (instance->getBusesLayout(), layout (2, 2));
    EXPECT_TRUE (instance->getBus (true, 0)->isEnabled());
    EXPECT_TRUE (instance->getBus (false, 0)->isEnabled());

    EXPECT_FALSE (instance->setBusesLayout (layout (1, 2)));
    EXPECT_FALSE (instance->setBusesLayout (layout (2, 1)));
    EXPECT_EQ (instance->getBusesLayout(), layout (2, 2)) << "a refused layout must not stick";

    EXPECT_EQ (instance->setBusesLayout (layout (1, 1)), formatCanGoMono (GetParam()));

    if (formatCanGoMono (GetParam()))
    {
        EXPECT_EQ (instance->getBusesLayout(), layout (1, 1));
        EXPECT_TRUE (instance->setBusesLayout (layout (2, 2))) << "back to stereo";
    }
    else
    {
        report ("mono in/mono out cannot be offered: the bundle declares two fixed audio ports each way");
    }
}

TEST_P (HostedFormat, ListsTheSevenParametersWithTheirDefaultsAndConversions)
{
    auto instance = load();
    ASSERT_NE (instance, nullptr);
    const auto& params = instance->getParameters();
    juce::StringArray order;

    for (auto* p : params)
        order.add (p->getName (100) + (p == instance->getBypassParameter() ? " (bypass)" : ""));

    report ("host order: " + order.joinIntoString (", "));

    for (int i = 0; i < numOwnParams; ++i)
    {
        const auto& s = spec (i);
        SCOPED_TRACE (s.id);
        auto* p = findParameter (*instance, i);
        ASSERT_NE (p, nullptr);

        if (GetParam() == Format::vst3)
        {
            EXPECT_EQ (p->getParameterIndex(), i) << "VST3 hosts list parameters in the plug-in's order";
        }

        EXPECT_EQ (p->getName (100), s.name);
        const auto normalisedDefault = (s.defaultValue - s.minimum) / (s.maximum - s.minimum);
        EXPECT_NEAR (p->getDefaultValue(), normalisedDefault, 1.0e-6);
        EXPECT_NEAR (p->getValue(), normalisedDefault, 1.0e-6);
        EXPECT_TRUE (p->isAutomatable());
    }

    // Beyond our seven, only the wrapper's bypass is tolerated.
    ASSERT_EQ (params.size(), numOwnParams + 1);
    EXPECT_NE (instance->getBypassParameter(), nullptr);

    instance->prepareToPlay (48000.0, maxBlock);
    findParameter (*instance, noise)->setValue (0.12341f);
    findParameter (*instance, bite)->setValue (1.0f);
    findParameter (*instance, wobble)->setValue (0.0f);
    Player (*instance, 2, 48000.0).play (maxBlock, {});

    // VST3 hosts ask the plug-in for the text. LV2 hosts format the plain
    // value they sent themselves, so there only the stored state can show
    // that the plug-in snapped it.
    const auto noiseText = findParameter (*instance, noise)->getCurrentValueAsText();
    report ("normalised 0.12341 on \"noise\" reads back as " + noiseText);

    if (GetParam() == Format::vst3)
    {
        EXPECT_EQ (noiseText, "12.34");
        EXPECT_EQ (findParameter (*instance, bite)->getCurrentValueAsText(), "32.00");
        EXPECT_EQ (findParameter (*instance, wobble)->getCurrentValueAsText(), "0.01");
    }

    juce::MemoryBlock state;
    instance->getStateInformation (state);
    juce::String error;
    const auto unwrapped = unwrapOwnBlob (GetParam(), state, error);
    ASSERT_TRUE (unwrapped.has_value()) << error;
    const auto xml = juce::parseXML (juce::String::fromUTF8 (static_cast<const char*> (unwrapped->blob.getData()) + 8,
                                                             static_cast<int> (unwrapped->blob.getSize()) - 9));
    ASSERT_NE (xml, nullptr);

    auto storedText = [&] (const char* id)
    {
        for (auto* child : xml->getChildIterator())
            if (child->getStringAttribute ("id") == id)
                return child->getStringAttribute ("value");

        return juce::String();
    };

    EXPECT_EQ (storedText ("noise").getFloatValue(), 12.34f);
    EXPECT_EQ (storedText ("bite").getFloatValue(), 32.0f);
    EXPECT_EQ (storedText ("wobble").getFloatValue(), 0.01f);
}

TEST_P (HostedFormat, PlaysAudioAsInputTimesWobbleGainAndHoldsWhenSuckIsRaised)
{
    const std::vector<std::vector<int>> patterns { { 32 }, { 512 }, { 512, 100, 7, 1, 0, 333, 64, 511, 2, 256 } };

    for (const auto sampleRate : { 44100.0, 48000.0 })
    {
        for (const auto& pattern : patterns)
        {
            for (const auto channels : { 2, 1 })
            {
                if (channels == 1 && ! formatCanGoMono (GetParam()))
                    continue;

                SCOPED_TRACE (juce::String (sampleRate) + " Hz, " + juce::String (channels) + " channels, first block "
                              + juce::String (pattern.front()) + ", " + juce::String (pattern.size()) + " block sizes");

                auto instance = load (sampleRate, maxBlock);
                ASSERT_NE (instance, nullptr);
                ASSERT_TRUE (instance->setBusesLayout (layout (channels, channels)));
                instance->prepareToPlay (sampleRate, maxBlock);

                // 10 Hz at depth 0.8 makes every counter slip visible; "noise"
                // stays at its default, which adds nothing.
                ReferenceChain::Settings settings { storedValue (wobble, 0.5f), storedValue (depth, 0.8f), 1.0f };
                setPlain (*instance, wobble, 0.5f);
                setPlain (*instance, depth, 0.8f);

                Player player (*instance, channels, sampleRate);
                float worst = 0.0f;
                size_t next = 0;

                for (int played = 0; played < static_cast<int> (sampleRate) / 2; ++next)
                {
                    if (played >= static_cast<int> (sampleRate) / 4 && settings.suck == 1.0f)
                    {
                        setPlain (*instance, suck, 7.0f);
                        settings.suck = storedValue (suck, 7.0f);
                    }

                    const auto n = pattern[next % pattern.size()];
                    worst = std::max (worst, player.play (n, settings));
                    played += n;
                }

                EXPECT_TRUE (player.finite);
                EXPECT_LT (worst, 1.0e-6f);
                instance->releaseResources();
            }
        }
    }
}

TEST_P (HostedFormat, DefaultSettingsOnlyApplyTheGentleWobble)
{
    auto instance = load();
    ASSERT_NE (instance, nullptr);
    instance->prepareToPlay (48000.0, maxBlock);

    Player player (*instance, 2, 48000.0);
    float worst = 0.0f;

    for (int block = 0; block < 20; ++block)
        worst = std::max (worst, player.play (maxBlock, {}));

    EXPECT_LT (worst, 1.0e-6f);
}

TEST_P (HostedFormat, FullNoiseIsUnitVarianceAndTheSameInBothChannels)
{
    auto instance = load (48000.0, maxBlock);
    ASSERT_NE (instance, nullptr);
    instance->prepareToPlay (48000.0, maxBlock);

    setPlain (*instance, noise, 100.0f);
    setPlain (*instance, wobble, 0.5f);
    setPlain (*instance, depth, 0.8f);
    const ReferenceChain::Settings settings { storedValue (wobble, 0.5f), storedValue (depth, 0.8f), 1.0f };

    ReferenceChain model;
    double sum = 0.0, sumSquares = 0.0, worstMismatch = 0.0;
    int count = 0;

    for (int block = 0; block < 60; ++block)
    {
        juce::AudioBuffer<float> input (2, maxBlock), output (2, maxBlock), clean (2, maxBlock);
        fillInput (input, block * maxBlock, 48000.0);
        output.makeCopyOf (input);
        juce::MidiBuffer midi;
        instance->processBlock (output, midi);

        std::vector<double> gains;
        model.processBlock (input, clean, settings, 48000.0, &gains);

        for (int i = 0; i < maxBlock; ++i)
        {
            // Output = (input + noise) x gain, each channel with its own gain.
            const auto left  = output.getSample (0, i) / gains[static_cast<size_t> (i)] - input.getSample (0, i);
            const auto right = output.getSample (1, i) / gains[static_cast<size_t> (maxBlock + i)] - input.getSample (1, i);
            worstMismatch = std::max (worstMismatch, std::abs (left - right));
            sum += left;
            sumSquares += left * left;
            ++count;
        }

        // Each block is seeded from the clock's millisecond; a real host's
        // blocks are that far apart, and identical seeds would shrink the sample.
        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }

    const auto mean = sum / count;
    const auto variance = sumSquares / count - mean * mean;
    report ("noise at 100: mean " + juce::String (mean, 4) + ", variance " + juce::String (variance, 4));
    EXPECT_LT (worstMismatch, 1.0e-4);
    EXPECT_NEAR (mean, 0.0, 0.05);
    EXPECT_NEAR (variance, 1.0, 0.05);
}

TEST_P (HostedFormat, AutomationBetweenBlocksTakesEffectAtTheNextBlock)
{
    auto instance = load();
    ASSERT_NE (instance, nullptr);
    instance->prepareToPlay (48000.0, maxBlock);

    ReferenceChain::Settings settings { storedValue (wobble, 0.5f), storedValue (depth, 0.8f), 1.0f };
    setPlain (*instance, wobble, 0.5f);
    setPlain (*instance, depth, 0.8f);

    Player player (*instance, 2, 48000.0);
    constexpr int n = 256;

    for (int block = 0; block < 5; ++block)
        EXPECT_LT (player.play (n, settings), 1.0e-6f) << "block " << block;

    // "rate" and "depthMod" only seed the editor; moving them must not be heard.
    setPlain (*instance, wobble, 0.25f);
    setPlain (*instance, depth, 0.3f);
    setPlain (*instance, suck, 3.0f);
    setPlain (*instance, rate, 0.1f);
    setPlain (*instance, depthMod, 0.2f);
    settings = { storedValue (wobble, 0.25f), storedValue (depth, 0.3f), storedValue (suck, 3.0f) };

    for (int block = 5; block < 10; ++block)
        EXPECT_LT (player.play (n, settings), 1.0e-6f) << "block " << block;

    setPlain (*instance, noise, 100.0f);
    EXPECT_GT (player.play (n, settings), 0.5f) << "full noise from the next block on";
    EXPECT_TRUE (player.finite);
}

TEST_P (HostedFormat, SavesThroughTheFormatAndRestoresIntoAFreshInstance)
{
    auto source = load();
    ASSERT_NE (source, nullptr);
    source->prepareToPlay (48000.0, maxBlock);

    // Values on the 0.01 grid with short, exact texts.
    const float noiseValue = 10.0f, biteValue = 10.0f, suckValue = 7.0f, wobbleValue = 0.75f, depthValue = 0.25f;
    ASSERT_EQ (storedValue (wobble, wobbleValue), wobbleValue);
    ASSERT_EQ (storedValue (depth, depthValue), depthValue);

    setPlain (*source, noise, noiseValue);
    setPlain (*source, bite, biteValue);
    setPlain (*source, suck, suckValue);
    setPlain (*source, wobble, wobbleValue);
    setPlain (*source, depth, depthValue);
    setPlain (*source, rate, 0.3f);
    setPlain (*source, depthMod, 0.2f);
    Player (*source, 2, 48000.0).play (maxBlock, {});

    juce::MemoryBlock saved;
    source->getStateInformation (saved);
    source.reset();

    juce::String error;
    const auto unwrapped = unwrapOwnBlob (GetParam(), saved, error);
    ASSERT_TRUE (unwrapped.has_value()) << error;
    report ("state: " + unwrapped->wrapperNotes);

    const juce::String xml ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <Grelk>"
                            "<PARAM id=\"bite\" value=\"10.0\"/><PARAM id=\"depth\" value=\"0.25\"/>"
                            "<PARAM id=\"noise\" value=\"10.0\"/><PARAM id=\"suck\" value=\"7.0\"/>"
                            "<PARAM id=\"wobble\" value=\"0.75\"/></Grelk>");
    juce::MemoryOutputStream expected;
    expected.writeInt (static_cast<int> (blobMagic));
    expected.writeInt (static_cast<int> (xml.getNumBytesAsUTF8()));
    expected.write (xml.toRawUTF8(), xml.getNumBytesAsUTF8());
    expected.writeByte (0);
    EXPECT_EQ (unwrapped->blob, expected.getMemoryBlock())
        << "found: " << juce::String::fromUTF8 (static_cast<const char*> (unwrapped->blob.getData()) + 8,
                                                static_cast<int> (unwrapped->blob.getSize()) - 8);

    auto restored = load();
    ASSERT_NE (restored, nullptr);
    restored->prepareToPlay (48000.0, maxBlock);
    setPlain (*restored, rate, 0.9f);
    setPlain (*restored, depthMod, 0.4f);
    Player player (*restored, 2, 48000.0);
    ASSERT_LT (player.play (maxBlock, {}), 1.0e-6f);

    restored->setStateInformation (saved.getData(), static_cast<int> (saved.getSize()));

    // The restored values must reach the sound at the next block, too.
    const ReferenceChain::Settings settings { wobbleValue, depthValue, suckValue };

    for (int block = 0; block < 4; ++block)
        EXPECT_LT (player.play (maxBlock, settings), 1.0e-6f) << "block " << block << " after the restore";

    const std::pair<int, float> stored[] { { noise, noiseValue }, { bite, biteValue }, { suck, suckValue },
                                           { wobble, wobbleValue }, { depth, depthValue },
                                           { rate, 0.9f }, { depthMod, 0.4f } };

    for (const auto& [index, value] : stored)
        EXPECT_NEAR (findParameter (*restored, index)->getValue(), (value - spec (index).minimum) / (spec (index).maximum - spec (index).minimum), 1.0e-6)
            << spec (index).id;

    juce::MemoryBlock savedAgain;
    restored->getStateInformation (savedAgain);
    const auto again = unwrapOwnBlob (GetParam(), savedAgain, error);
    ASSERT_TRUE (again.has_value()) << error;
    EXPECT_EQ (again->blob, unwrapped->blob) << "a restored state saves the same bytes";
}

TEST_P (HostedFormat, RendersWithoutAllocatingOnceWarm)
{
#if ! GRELK_COUNT_ALLOCATIONS
    GTEST_SKIP() << "allocation counting is off in sanitizer builds";
#else

    auto instance = load();
    ASSERT_NE (instance, nullptr);
    instance->prepareToPlay (48000.0, maxBlock);
    setPlain (*instance, noise, 100.0f);
    setPlain (*instance, suck, 5.0f);

    juce::AudioBuffer<float> buffer (2, maxBlock);
    juce::MidiBuffer midi;
    const auto* binary = GetParam() == Format::vst3 ? "Grelk.vst3/" : "Grelk.lv2/";

    auto render = [&] (int n)
    {
        juce::AudioBuffer<float> view (buffer.getArrayOfWritePointers(), 2, n);
        fillInput (view, 0, 48000.0);
        allocation_origin::start (binary);
        instance->processBlock (view, midi);
        return allocation_origin::stop();
    };

    auto renderAll = [&] (std::initializer_list<int> sizes, int rounds = 3)
    {
        allocation_origin::Counts sum;

        for (int round = 0; round < rounds; ++round)
            for (auto n : sizes)
            {
                const auto c = render (n);
                sum.plugin += c.plugin;
                sum.host += c.host;
            }

        return sum;
    };

    auto describe = [] (allocation_origin::Counts c)
    {
        return juce::String (c.plugin) + " inside the plug-in binary, " + juce::String (c.host) + " in the host";
    };

    render (maxBlock);
    const auto steady = renderAll ({ 512, 512, 512 });
    const auto shrinking = renderAll ({ 400, 300, 200, 100, 50, 20, 7, 2, 1 }, 1);

    setPlain (*instance, wobble, 0.7f);
    setPlain (*instance, noise, 50.0f);
    const auto automated = render (1);

    // A longer block after shorter ones.
    const auto varying = renderAll ({ 512, 100, 7, 1, 333, 512, 64 });

    report ("allocations on the audio thread once warm, 9 blocks of 512: " + describe (steady)
            + "; 9 ever shorter blocks: " + describe (shrinking)
            + "; a block after automation: " + describe (automated)
            + "; 21 blocks of varying length: " + describe (varying));

    // The framework's VST3 client copies a channel mapping, a std::vector, in
    // every process call; one allocation per block is the wrapper's. The LV2
    // client resizes its own buffer to each block's length and so allocates
    // whenever a block is longer than the one before. Anything beyond that
    // comes from our processor.
    const bool vst3 = GetParam() == Format::vst3;
    EXPECT_LE (steady.plugin, vst3 ? 9u : 0u);
    EXPECT_LE (shrinking.plugin, vst3 ? 9u : 0u);
    EXPECT_LE (automated.plugin, vst3 ? 1u : 0u);

    if (vst3)
    {
        EXPECT_LE (varying.plugin, 21u);
    }
#endif
}

TEST_P (HostedFormat, OpensTheEditorAt600By400AndClosesIt)
{
    auto instance = load();
    ASSERT_NE (instance, nullptr);

    std::unique_ptr<juce::AudioProcessorEditor> editor (instance->createEditorIfNeeded());
    ASSERT_NE (editor, nullptr);
    editor->addToDesktop (0);
    editor->setVisible (true);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (300);

    EXPECT_EQ (editor->getWidth(), 600);
    EXPECT_EQ (editor->getHeight(), 400);

    editor.reset();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (50);
    instance.reset();
}

TEST_P (HostedFormat, FiftyInstancesInARowLeakNothing)
{
    auto cycle = [this]
    {
        auto instance = load();
        ASSERT_NE (instance, nullptr);
        instance->prepareToPlay (48000.0, maxBlock);
        Player (*instance, 2, 48000.0).play (maxBlock, {});
        juce::MemoryBlock state;
        instance->getStateInformation (state);
        instance->releaseResources();
    };

    auto settle = []
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (100);
        return static_cast<long long> (mallinfo2().uordblks);
    };

    // The formats' first instances fill caches (module, URI maps, fonts).
    for (int i = 0; i < 10; ++i)
        cycle();

    const auto before = settle();
    long long alive = 0;

    {
        auto probe = load();
        alive = settle() - before;
    }

    if (alive <= 0)
        GTEST_SKIP() << "the heap is not glibc's here (sanitizer build); its leak checker watches instead";

    const auto start = settle();

    for (int i = 0; i < 50; ++i)
        cycle();

    const auto growth = settle() - start;

    // Leaking even a small part of each instance would add up to more than
    // a quarter of one whole instance over fifty.
    report ("one live instance holds " + juce::String (alive) + " heap bytes; 50 more instances left "
            + juce::String (growth) + " bytes behind");
    EXPECT_LT (growth, alive / 4);
}

INSTANTIATE_TEST_SUITE_P (Formats, HostedFormat, ::testing::Values (Format::vst3, Format::lv2),
                          [] (const ::testing::TestParamInfo<Format>& format) { return std::string (formatName (format.param)); });
