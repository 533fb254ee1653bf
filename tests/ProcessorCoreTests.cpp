#include "TestHelpers.h"

#include <gtest/gtest.h>

using namespace grelk_test;

namespace
{
    struct ExpectedParameter
    {
        const char* id;
        const char* name;
        float minimum, maximum, defaultValue, normalisedDefault;
    };

    const ExpectedParameter expectedParameters[] = {
        { "noise",    "Noise",  0.0f,  100.0f, 0.15f, 0.0015f },
        { "bite",     "Bite",   2.0f,  32.0f,  32.0f, 1.0f },
        { "suck",     "Suck",   1.0f,  50.0f,  1.0f,  0.0f },
        { "wobble",   "Wobble", 0.01f, 1.0f,   0.01f, 0.0f },
        { "depth",    "Depth",  0.01f, 1.0f,   0.01f, 0.0f },
        { "rate",     "XXX",    0.0f,  1.0f,   0.6f,  0.6f },
        { "depthMod", "XXX",    0.0f,  1.0f,   1.0f,  1.0f },
    };
}

TEST (ProcessorParameters, HostSeesSevenParametersInOrderWithRangesAndDefaults)
{
    auto processor = createProcessor();
    const auto& params = processor->getParameters();
    ASSERT_EQ (params.size(), 7);

    for (int i = 0; i < 7; ++i)
    {
        const auto& expected = expectedParameters[i];
        SCOPED_TRACE (expected.id);

        auto* p = dynamic_cast<juce::AudioParameterFloat*> (params[i]);
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->getParameterIndex(), i);
        EXPECT_EQ (p->getParameterID(), juce::String (expected.id));
        EXPECT_EQ (p->getVersionHint(), 0);
        EXPECT_EQ (p->getName (100), juce::String (expected.name));
        EXPECT_EQ (p->getLabel(), juce::String());
        EXPECT_TRUE (p->isAutomatable());
        EXPECT_FALSE (p->isMetaParameter());

        const auto& range = p->getNormalisableRange();
        EXPECT_EQ (range.start, expected.minimum);
        EXPECT_EQ (range.end, expected.maximum);
        EXPECT_EQ (range.interval, 0.01f);
        EXPECT_EQ (range.skew, 1.0f);

        EXPECT_EQ (p->get(), expected.defaultValue);
        auto& hostView = static_cast<juce::AudioProcessorParameter&> (*p);
        EXPECT_NEAR (hostView.getDefaultValue(), expected.normalisedDefault, 1.0e-6f);
        EXPECT_NEAR (hostView.getValue(), expected.normalisedDefault, 1.0e-6f);
    }
}

TEST (ProcessorParameters, HostValuesAreSnappedAndLimitedToTheRange)
{
    auto processor = createProcessor();

    setPlain (*processor, "noise", 0.0f);
    findParameter (*processor, "noise")->setValueNotifyingHost (0.12341f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "noise"), 12.34f);
    EXPECT_EQ (findParameter (*processor, "noise")->getCurrentValueAsText(), "12.34");

    findParameter (*processor, "bite")->setValueNotifyingHost (1.0f);
    EXPECT_EQ (getPlain (*processor, "bite"), 32.0f);

    for (auto* id : { "wobble", "depth" })
    {
        auto* p = findParameter (*processor, id);
        for (float normalised : { 0.0f, -1.0f, -1.0e9f, 0.00001f })
        {
            p->setValueNotifyingHost (normalised);
            EXPECT_GE (getPlain (*processor, id), 0.01f) << id << " at " << normalised;
        }
        p->setValueNotifyingHost (0.0f);
        EXPECT_EQ (getPlain (*processor, id), 0.01f);
        p->setValueNotifyingHost (5.0f);
        EXPECT_FLOAT_EQ (getPlain (*processor, id), 1.0f);
        EXPECT_LE (getPlain (*processor, id), 1.0f);
    }

    // Two decimals in the host's text, from the 0.01 step.
    EXPECT_EQ (findParameter (*processor, "rate")->getCurrentValueAsText(), "0.60");
}

TEST (ProcessorBuses, OneStereoInputAndOneStereoOutputEnabled)
{
    auto processor = createProcessor();

    ASSERT_EQ (processor->getBusCount (true), 1);
    ASSERT_EQ (processor->getBusCount (false), 1);

    auto* in = processor->getBus (true, 0);
    auto* out = processor->getBus (false, 0);
    EXPECT_EQ (in->getName(), "Input");
    EXPECT_EQ (out->getName(), "Output");
    EXPECT_EQ (in->getDefaultLayout(), juce::AudioChannelSet::stereo());
    EXPECT_EQ (out->getDefaultLayout(), juce::AudioChannelSet::stereo());
    EXPECT_TRUE (in->isEnabled());
    EXPECT_TRUE (out->isEnabled());
    EXPECT_TRUE (in->isEnabledByDefault());
    EXPECT_EQ (processor->getTotalNumInputChannels(), 2);
    EXPECT_EQ (processor->getTotalNumOutputChannels(), 2);

    EXPECT_FALSE (processor->canAddBus (true));
    EXPECT_FALSE (processor->canRemoveBus (false));
}

TEST (ProcessorHostAnswers, ConstantAnswersWhateverTheState)
{
    auto processor = createProcessor();

    auto checkAnswers = [&processor]
    {
        EXPECT_EQ (processor->getName(), "Grelk");
        EXPECT_FALSE (processor->acceptsMidi());
        EXPECT_FALSE (processor->producesMidi());
        EXPECT_FALSE (processor->isMidiEffect());
        EXPECT_EQ (processor->getTailLengthSeconds(), 0.0);
        EXPECT_TRUE (processor->hasEditor());
        EXPECT_FALSE (processor->supportsDoublePrecisionProcessing());
        EXPECT_EQ (processor->getBypassParameter(), nullptr);
        EXPECT_EQ (processor->getNumPrograms(), 1);
        EXPECT_EQ (processor->getCurrentProgram(), 0);
        for (int index : { 0, 5, -1 })
            EXPECT_EQ (processor->getProgramName (index), juce::String());
    };

    checkAnswers();

    for (int index : { 0, 3, -1 })
    {
        processor->setCurrentProgram (index);
        processor->changeProgramName (index, "renamed");
    }
    processor->prepareToPlay (44100.0, 256);
    setPlain (*processor, "noise", 80.0f);
    ASSERT_TRUE (applyLayout (*processor, juce::AudioChannelSet::mono(), juce::AudioChannelSet::mono()));

    checkAnswers();
    processor->releaseResources();
}

TEST (ProcessorBusLayouts, AcceptsOnlyMonoToMonoAndStereoToStereo)
{
    auto processor = createProcessor();

    using Set = juce::AudioChannelSet;
    auto layoutOf = [] (const juce::Array<Set>& ins, const juce::Array<Set>& outs)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses = ins;
        layout.outputBuses = outs;
        return layout;
    };

    auto twoSurround = Set();
    twoSurround.addChannel (Set::leftSurround);
    twoSurround.addChannel (Set::rightSurround);

    // Channel types, not counts, make a set: right-then-left is still stereo.
    auto rightThenLeft = Set();
    rightThenLeft.addChannel (Set::right);
    rightThenLeft.addChannel (Set::left);

    struct Case { const char* what; juce::AudioProcessor::BusesLayout layout; bool accepted; };
    const Case cases[] = {
        { "stereo to stereo",            layoutOf ({ Set::stereo() }, { Set::stereo() }), true },
        { "mono to mono",                layoutOf ({ Set::mono() },   { Set::mono() }),   true },
        { "stereo added right first",    layoutOf ({ rightThenLeft }, { Set::stereo() }), true },
        { "mono to stereo",              layoutOf ({ Set::mono() },   { Set::stereo() }), false },
        { "stereo to mono",              layoutOf ({ Set::stereo() }, { Set::mono() }),   false },
        { "disabled output",             layoutOf ({ Set::stereo() }, { Set::disabled() }), false },
        { "both disabled",               layoutOf ({ Set::disabled() }, { Set::disabled() }), false },
        { "disabled input, mono out",    layoutOf ({ Set::disabled() }, { Set::mono() }),   false },
        { "disabled input, stereo out",  layoutOf ({ Set::disabled() }, { Set::stereo() }), false },
        { "LCR",                         layoutOf ({ Set::createLCR() }, { Set::createLCR() }), false },
        { "quadraphonic",                layoutOf ({ Set::quadraphonic() }, { Set::quadraphonic() }), false },
        { "5.1",                         layoutOf ({ Set::create5point1() }, { Set::create5point1() }), false },
        { "two discrete",                layoutOf ({ Set::discreteChannels (2) }, { Set::discreteChannels (2) }), false },
        { "two surround channels",       layoutOf ({ twoSurround }, { twoSurround }), false },
        { "no output bus",               layoutOf ({ Set::stereo() }, {}), false },
        { "no input bus, stereo out",    layoutOf ({}, { Set::stereo() }), false },
        { "no input bus, mono out",      layoutOf ({}, { Set::mono() }), false },
        { "no buses at all",             layoutOf ({}, {}), false },
        { "extra buses are ignored",     layoutOf ({ Set::mono(), Set::stereo() }, { Set::mono(), Set::create5point1() }), true },
    };

    // Asked directly, as the framework's clients do, so that layouts listing
    // other bus counts reach the check too.
    auto& grelk = static_cast<GrelkAudioProcessor&> (*processor);
    for (const auto& c : cases)
        EXPECT_EQ (grelk.isBusesLayoutSupported (c.layout), c.accepted) << c.what;

    // A refused layout is not applied; an accepted one is, and back again.
    EXPECT_FALSE (applyLayout (*processor, Set::mono(), Set::stereo()));
    EXPECT_EQ (processor->getTotalNumInputChannels(), 2);
    EXPECT_TRUE (applyLayout (*processor, Set::mono(), Set::mono()));
    EXPECT_EQ (processor->getTotalNumInputChannels(), 1);
    EXPECT_EQ (processor->getTotalNumOutputChannels(), 1);
    EXPECT_TRUE (applyLayout (*processor, Set::stereo(), Set::stereo()));
    EXPECT_EQ (processor->getTotalNumOutputChannels(), 2);
}
