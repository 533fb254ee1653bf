#include "PluginProcessor.h"

#include "NoiseGenerator.h"
#include "PluginEditor.h"
#include "ParameterIDs.h"
#include "StateGuard.h"
#include "WobbleGain.h"

#include <algorithm>
#include <cmath>

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

void GrelkAudioProcessor::prepareToPlay (double, int maximumExpectedSamplesPerBlock)
{
    reserveBuffers (maximumExpectedSamplesPerBlock);
}

// The memory is kept: hosts call prepareToPlay again before rendering anyway,
// and keeping it costs little.
void GrelkAudioProcessor::releaseResources() {}

void GrelkAudioProcessor::reserveBuffers (int maximumBlockSize)
{
    if (maximumBlockSize <= reservedBlockSize)
        return;

    // Only the memory grows here: length and contents stay, so a mono host's
    // second work channel carries on and the next change of block length
    // still zeroes both buffers, as before.
    for (auto* b : { &noiseBuffer, &workBuffer })
    {
        const auto channels = b->getNumChannels();
        const auto length = b->getNumSamples();
        b->setSize (2, juce::jmax (maximumBlockSize, length), true, true, false);
        b->setSize (channels, length, true, false, true);
    }

    reservedBlockSize = maximumBlockSize;
}

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
void GrelkAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    const auto numSamples = buffer.getNumSamples();
    const auto hostChannels = buffer.getNumChannels();

    for (auto channel = getTotalNumInputChannels(); channel < getTotalNumOutputChannels(); ++channel)
        buffer.clear (channel, 0, numSamples);

    const auto noise = parameters.getRawParameterValue (ParameterIDs::noise)->load();
    parameters.getRawParameterValue (ParameterIDs::bite)->load();
    const auto suck = parameters.getRawParameterValue (ParameterIDs::suck)->load();
    const auto wobble = parameters.getRawParameterValue (ParameterIDs::wobble)->load();
    const auto depth = parameters.getRawParameterValue (ParameterIDs::depth)->load();

    const auto noiseGain = juce::jlimit (0.0f, 1.0f, NoiseGenerator::gainForNoise (noise));

    updateWobble (wobble, depth);

    if (noiseBuffer.getNumSamples() != numSamples)
    {
        noiseBuffer.setSize (2, numSamples, false, true, true);
        workBuffer.setSize (2, numSamples, false, true, true);
    }

    if (numSamples == 0)
        return;

    auto* work0 = workBuffer.getWritePointer (0);
    auto* work1 = workBuffer.getWritePointer (1);

    juce::FloatVectorOperations::copy (work0, buffer.getReadPointer (0), numSamples);

    if (hostChannels > 1)
        juce::FloatVectorOperations::copy (work1, buffer.getReadPointer (1), numSamples);

    // Noise times a zero gain is not drawn at all: the cleared noise channel
    // it would leave only turns -0 (and flushed subnormals) into +0, which
    // adding +0 does as well.
    if (noiseGain > 0.0f)
    {
        const auto seed = noiseSeedForTesting >= 0 ? noiseSeedForTesting
                                                   : static_cast<juce::int64> (juce::Time::getCurrentTime().getMilliseconds());

        auto* noise0 = noiseBuffer.getWritePointer (0);
        NoiseGenerator::fillStandardNormal (noise0, numSamples, seed);
        juce::FloatVectorOperations::multiply (noise0, noiseGain, numSamples);
        noiseBuffer.copyFrom (1, 0, noise0, numSamples);

        juce::FloatVectorOperations::add (work0, noise0, numSamples);
        juce::FloatVectorOperations::add (work1, noiseBuffer.getReadPointer (1), numSamples);
    }
    else
    {
        noiseBuffer.clear();
        juce::FloatVectorOperations::add (work0, 0.0f, numSamples);
        juce::FloatVectorOperations::add (work1, 0.0f, numSamples);
    }

    holdAndWobble (work0, numSamples, suck, getSampleRate());
    holdAndWobble (work1, numSamples, suck, getSampleRate());

    buffer.copyFrom (0, 0, workBuffer, 0, 0, numSamples);

    if (hostChannels > 1)
        buffer.copyFrom (1, 0, workBuffer, 1, 0, numSamples);
}

void GrelkAudioProcessor::updateWobble (float wobble, float depth)
{
    auto& lfo = wobbleLfo;
    lfo.previousFrequency = lfo.frequency;
    lfo.frequency = wobble * 20.0f;
    lfo.modulationDepth = depth;

    // Keeps the phase, which goes with counter times frequency, across a
    // change of frequency.
    if (lfo.previousFrequency != lfo.frequency)
    {
        const auto counter = static_cast<float> (lfo.sampleCounter);
        const auto ratio = lfo.previousFrequency / lfo.frequency;
        const auto rescaled = ratio * counter;
        lfo.sampleCounter = rescaled < 0x1.0p64f ? static_cast<std::uint64_t> (rescaled) : 0;
    }

    lfo.offset = 0.5f;
}

void GrelkAudioProcessor::holdAndWobble (float* samples, int numSamples, float suck, double sampleRate)
{
    if (numSamples <= 0)
        return;

    const auto holdFactor = static_cast<int> (suck);
    const auto offset = static_cast<double> (wobbleLfo.offset);
    const auto depth = static_cast<double> (wobbleLfo.modulationDepth);
    const auto frequency = static_cast<double> (wobbleLfo.frequency);
    auto wrapThreshold = sampleRate / frequency;
    auto cyclesPerSample = frequency / sampleRate;

    // Without a usable rate there is no cycle: every sample takes counter 0,
    // as with a rate below the frequency, instead of a NaN gain. (Counters
    // beyond 2^52 would no longer convert exactly; no real rate gets there.)
    if (! (sampleRate > 0.0 && std::isfinite (cyclesPerSample) && wrapThreshold < 0x1.0p52))
    {
        wrapThreshold = 0.5;
        cyclesPerSample = 0.0;
    }

    auto counter = wobbleLfo.sampleCounter;
    auto holdPosition = 0;

    constexpr int chunkSize = 256;
    double halfCycles[chunkSize], startHalfCycles[chunkSize];
    float inputs[chunkSize], startSamples[chunkSize];

    for (int chunkStart = 0; chunkStart < numSamples; chunkStart += chunkSize)
    {
        const auto chunkLength = juce::jmin (chunkSize, numSamples - chunkStart);
        auto* chunk = samples + chunkStart;

        // The counter climbs by one per sample and goes back to 0 when it
        // reaches the threshold, so the phases come in runs.
        for (int j = 0; j < chunkLength;)
        {
            if (static_cast<double> (counter) >= wrapThreshold)
                counter = 0;

            const auto first = static_cast<double> (counter);
            auto runLength = chunkLength - j;

            if (first + static_cast<double> (runLength - 1) >= wrapThreshold)
            {
                runLength = juce::jlimit (1, runLength, static_cast<int> (std::ceil (wrapThreshold - first)));
                while (runLength > 1 && first + static_cast<double> (runLength - 1) >= wrapThreshold)
                    --runLength;
                while (first + static_cast<double> (runLength) < wrapThreshold)
                    ++runLength;
            }

            for (int k = 0; k < runLength; ++k)
                halfCycles[j + k] = WobbleGain::halfCycles (first + static_cast<double> (k), cyclesPerSample);

            counter += static_cast<std::uint64_t> (runLength);
            j += runLength;
        }

        if (holdFactor < 2)
        {
            WobbleGain::modulateRun (chunk, chunk, halfCycles, chunkLength, offset, depth);
            continue;
        }

        // A held sample repeats its group's first sample, already wobbled, so
        // the groups' first samples go first.
        const auto firstStart = holdPosition == 0 ? 0 : holdFactor - holdPosition;
        auto numStarts = 0;
        for (int j = firstStart; j < chunkLength; j += holdFactor, ++numStarts)
        {
            startSamples[numStarts] = chunk[j];
            startHalfCycles[numStarts] = halfCycles[j];
        }

        WobbleGain::modulateRun (startSamples, startSamples, startHalfCycles, numStarts, offset, depth);

        // A group begun in the previous chunk carries on from its first sample.
        std::fill (inputs, inputs + juce::jmin (firstStart, chunkLength), chunk[-holdPosition]);

        for (int j = firstStart, s = 0; j < chunkLength; j += holdFactor, ++s)
        {
            inputs[j] = chunk[j];
            chunk[j] = startSamples[s];
            std::fill (inputs + j + 1, inputs + juce::jmin (j + holdFactor, chunkLength), startSamples[s]);
        }

        holdPosition = (holdPosition + chunkLength) % holdFactor;

        // The first samples come out as before; only the held ones are new.
        WobbleGain::modulateRun (inputs, chunk, halfCycles, chunkLength, offset, depth);
    }

    wobbleLfo.sampleCounter = counter;
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
    if (const auto newState = StateGuard::readState (data, sizeInBytes, parameters); newState.isValid())
        parameters.replaceState (newState);
}

//==============================================================================
juce::AudioProcessorEditor* GrelkAudioProcessor::createEditor()
{
    return new GrelkAudioProcessorEditor (*this);
}

// The framework's plug-in clients create every instance through this hook.
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new GrelkAudioProcessor();
}
