#pragma once

#include "FilmStripKnob.h"
#include "PluginProcessor.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

// The pages behind the two link buttons; the project's own site.
namespace GrelkLinks
{
    inline constexpr const char* playlistPage = "https://grelk-audio.github.io/videos/playlist/";
    inline constexpr const char* channelPage  = "https://grelk-audio.github.io/videos/";
}

class GrelkAudioProcessorEditor final : public juce::AudioProcessorEditor,
                                        public juce::Slider::Listener,
                                        public juce::ComboBox::Listener,
                                        public juce::Button::Listener
{
public:
    explicit GrelkAudioProcessorEditor (GrelkAudioProcessor&);
    ~GrelkAudioProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    void sliderValueChanged (juce::Slider*) override;
    void buttonClicked (juce::Button*) override;
    void comboBoxChanged (juce::ComboBox*) override;

private:
    using SliderAttachment = juce::AudioProcessorValueTreeState::SliderAttachment;

    static juce::Image knobStrip();

    GrelkAudioProcessor& audioProcessor;
    juce::Image backgroundImage;

    // Declared in on-screen order, left to right.
    FilmStripKnob noiseKnob  { knobStrip(), 31, false };
    FilmStripKnob biteKnob   { knobStrip(), 31, false };
    FilmStripKnob wobbleKnob { knobStrip(), 31, false };
    FilmStripKnob suckKnob   { knobStrip(), 31, false };
    FilmStripKnob depthKnob  { knobStrip(), 31, false };

    juce::ComboBox presetBox;
    juce::ImageButton playlistButton;
    juce::ImageButton channelButton;
    juce::ImageButton previousPresetButton;
    juce::ImageButton nextPresetButton;

    // After the knobs, so each attachment goes before the knob it listens to.
    std::unique_ptr<SliderAttachment> noiseAttachment;
    std::unique_ptr<SliderAttachment> biteAttachment;
    std::unique_ptr<SliderAttachment> wobbleAttachment;
    std::unique_ptr<SliderAttachment> suckAttachment;
    std::unique_ptr<SliderAttachment> depthAttachment;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GrelkAudioProcessorEditor)
};
