#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <cstdint>

// Level-modulation state carried from block to block. Only updateWobble and
// holdAndWobble touch it, both on the render thread.
struct WobbleLfo
{
    std::uint64_t sampleCounter = 0;
    float modulationDepth = 1.0f;
    float previousFrequency = 0.0f;
    float offset = 0.5f;
    float frequency = 12.0f;
};

class GrelkAudioProcessor final : public juce::AudioProcessor
{
public:
    GrelkAudioProcessor();
    ~GrelkAudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override;

    using juce::AudioProcessor::processBlock;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    // Tests fix the noise seed with this; otherwise (negative) every block
    // seeds from the millisecond of the wall clock.
    void setNoiseSeedForTesting (juce::int64 seed) noexcept { noiseSeedForTesting = seed; }

private:
    void updateWobble (float wobble, float depth);
    void holdAndWobble (float* samples, int numSamples, float suck, double sampleRate);
    void reserveBuffers (int maximumBlockSize);

    juce::AudioBuffer<float> noiseBuffer;
    juce::AudioBuffer<float> workBuffer;

public:
    // The editor binds its knobs to these by parameter ID.
    juce::AudioProcessorValueTreeState parameters;

private:
    WobbleLfo wobbleLfo;

public:
    // Registered beside the tree, so they are automatable but never saved.
    juce::AudioParameterFloat* rateParameter = nullptr;
    juce::AudioParameterFloat* depthModParameter = nullptr;

private:
    // Block length the buffers hold memory for without reallocating.
    int reservedBlockSize = 0;
    juce::int64 noiseSeedForTesting = -1;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GrelkAudioProcessor)
};
