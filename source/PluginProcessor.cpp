#include "PluginProcessor.h"

#include "ParameterIDs.h"
#include "StateGuard.h"

namespace
{
    // The five stored parameters, in the order the host enumerates them.
    juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout()
    {
        using Float = juce::AudioParameterFloat;
        juce::AudioProcessorValueTreeState::ParameterLayout layout;
        layout.add (std::make_unique<Float> (juce::ParameterID { ParameterIDs::noise },  "Noise",  0.0f,  100.0f, 0.15f));
        layout.add (std::make_unique<Float> (juce::ParameterID { ParameterIDs::bite },   "Bite",   2.0f,  32.0f,  32.0f));
        layout.add (std::make_unique<Float> (juce::ParameterID { ParameterIDs::suck },   "Suck",   1.0f,  50.0f,  1.0f));
        layout.add (std::make_unique<Float> (juce::ParameterID { ParameterIDs::wobble }, "Wobble", 0.01f, 1.0f,   0.01f));
        layout.add (std::make_unique<Float> (juce::ParameterID { ParameterIDs::depth },  "Depth",  0.01f, 1.0f,   0.01f));
        return layout;
    }
}

GrelkAudioProcessor::GrelkAudioProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr, juce::Identifier ("Grelk"), createParameterLayout())
{
    // Added only after the tree's parameters, so hosts always see them at
    // indexes 5 and 6.
    rateParameter = new juce::AudioParameterFloat (juce::ParameterID { ParameterIDs::rate }, "XXX", 0.0f, 1.0f, 0.6f);
    addParameter (rateParameter);

    depthModParameter = new juce::AudioParameterFloat (juce::ParameterID { ParameterIDs::depthMod }, "XXX", 0.0f, 1.0f, 1.0f);
    addParameter (depthModParameter);
}

GrelkAudioProcessor::~GrelkAudioProcessor() = default;

//==============================================================================
const juce::String GrelkAudioProcessor::getName() const { return "Grelk"; }

void GrelkAudioProcessor::prepareToPlay (double, int) {}
void GrelkAudioProcessor::releaseResources() {}

double GrelkAudioProcessor::getTailLengthSeconds() const { return 0.0; }
bool GrelkAudioProcessor::acceptsMidi() const { return false; }
bool GrelkAudioProcessor::producesMidi() const { return false; }
bool GrelkAudioProcessor::isMidiEffect() const { return false; }

bool GrelkAudioProcessor::hasEditor() const { return true; }

int GrelkAudioProcessor::getNumPrograms() { return 1; }
int GrelkAudioProcessor::getCurrentProgram() { return 0; }
void GrelkAudioProcessor::setCurrentProgram (int) {}
const juce::String GrelkAudioProcessor::getProgramName (int) { return {}; }
void GrelkAudioProcessor::changeProgramName (int, const juce::String&) {}

bool GrelkAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto mainOutput = layouts.getMainOutputChannelSet();

    if (mainOutput != juce::AudioChannelSet::mono() && mainOutput != juce::AudioChannelSet::stereo())
        return false;

    return layouts.getMainInputChannelSet() == mainOutput;
}

//==============================================================================
void GrelkAudioProcessor::processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&)
{
}

void GrelkAudioProcessor::updateWobble (float, float)
{
}

void GrelkAudioProcessor::holdAndWobble (float*, int, float, double)
{
}

//==============================================================================
void GrelkAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    // copyState flushes the parameters into the tree and copies it under the
    // tree's lock; the XML is built and written outside it.
    const auto state = parameters.copyState();

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

void GrelkAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto xml = StateGuard::parseState (data, sizeInBytes);

    // Compared by hand rather than with hasTagName, which asserts on a
    // case-only match that we accept on purpose.
    if (xml == nullptr || ! xml->getTagName().equalsIgnoreCase (parameters.state.getType().toString()))
        return;

    auto newState = juce::ValueTree::fromXml (*xml);
    StateGuard::dropNaNValues (newState, parameters);
    parameters.replaceState (newState);
}

//==============================================================================
juce::AudioProcessorEditor* GrelkAudioProcessor::createEditor()
{
    return new juce::GenericAudioProcessorEditor (*this);
}

// The framework's plug-in clients create every instance through this hook.
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new GrelkAudioProcessor();
}
