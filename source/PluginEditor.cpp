#include "PluginEditor.h"

#include "ParameterIDs.h"

#include <BinaryData.h>

#include <array>

namespace
{
    // Knob values, not parameter values: each knob clamps and snaps to its
    // own range, so the suck values above 50 land on 50.
    namespace presetTable
    {
        constexpr int numPresets = 6;

        const std::array<const char*, numPresets> names { "Default Setting", "Big & Wobbly", "Sucks Big Time",
                                                          "Totally Crushed", "Sick & Screaming", "Gnawed & Sore" };

        constexpr std::array<double, numPresets> noise  { 0.0,  0.0,  25.0, 55.0,  65.0, 40.0 };
        constexpr std::array<double, numPresets> bite   { 2.0,  8.0,  24.0, 32.0,  8.0,  24.0 };
        constexpr std::array<double, numPresets> wobble { 0.5,  0.8,  0.1,  0.01,  0.6,  0.7 };
        constexpr std::array<double, numPresets> suck   { 1.0,  70.0, 50.0, 35.0,  35.0, 400.0 };
        constexpr std::array<double, numPresets> depth  { 0.5,  0.9,  0.1,  0.3,   0.9,  0.8 };
    }

    // The 0.01 step of the parameters, as the single-precision value they use.
    constexpr double fineStep = (double) 0.01f;

    juce::Image picture (const void* data, int size)
    {
        return juce::ImageCache::getFromMemory (data, size);
    }

    // No hover or press look: the normal picture in every state, drawn at its
    // own size, and the whole rectangle takes clicks.
    void setPicture (juce::ImageButton& button, const juce::Image& image)
    {
        button.setImages (false, false, true,
                          image, 1.0f, juce::Colour(),
                          juce::Image(), 1.0f, juce::Colour(),
                          juce::Image(), 1.0f, juce::Colour(),
                          0.0f);
    }
}

juce::Image GrelkAudioProcessorEditor::knobStrip()
{
    return picture (BinaryData::temp_binary_data_3, BinaryData::temp_binary_data_3Size);
}

GrelkAudioProcessorEditor::GrelkAudioProcessorEditor (GrelkAudioProcessor& p)
    : AudioProcessorEditor (&p), audioProcessor (p)
{
    auto& state = audioProcessor.parameters;
    noiseAttachment  = std::make_unique<SliderAttachment> (state, ParameterIDs::noise,  noiseKnob);
    biteAttachment   = std::make_unique<SliderAttachment> (state, ParameterIDs::bite,   biteKnob);
    wobbleAttachment = std::make_unique<SliderAttachment> (state, ParameterIDs::wobble, wobbleKnob);
    suckAttachment   = std::make_unique<SliderAttachment> (state, ParameterIDs::suck,   suckKnob);
    depthAttachment  = std::make_unique<SliderAttachment> (state, ParameterIDs::depth,  depthKnob);

    // The default look-and-feel is shared by every instance in the process, so
    // all preset menus get these.
    getLookAndFeel().setColour (juce::PopupMenu::backgroundColourId, juce::Colour (0xffd67b6d));
    getLookAndFeel().setColour (juce::PopupMenu::highlightedBackgroundColourId, juce::Colour (0xffffceac));

    // The knobs' own ranges replace the ones the attachments gave them without
    // a change notice, so opening the window writes no parameter; the
    // attachments still convert between knob and parameter values.
    struct KnobRange { FilmStripKnob& knob; double minimum, maximum, step; };

    for (const auto& k : { KnobRange { noiseKnob,  0.0, 100.0, 1.0 },
                           KnobRange { biteKnob,   2.0, 32.0,  1.0 },
                           KnobRange { wobbleKnob, 0.0, 1.0,   fineStep },
                           KnobRange { suckKnob,   1.0, 50.0,  1.0 },
                           KnobRange { depthKnob,  0.0, 1.0,   fineStep } })
    {
        k.knob.setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
        k.knob.setRange (k.minimum, k.maximum, k.step);
        k.knob.addListener (this);
        addAndMakeVisible (k.knob);
    }

    presetBox.setColour (juce::ComboBox::backgroundColourId, juce::Colours::transparentWhite);
    presetBox.setColour (juce::ComboBox::focusedOutlineColourId, juce::Colours::transparentWhite);
    presetBox.setTextWhenNothingSelected ("Presets");

    for (int i = 0; i < presetTable::numPresets; ++i)
        presetBox.addItem (presetTable::names[(size_t) i], i + 1);

    presetBox.addListener (this);
    addAndMakeVisible (presetBox);

    setPicture (playlistButton,       picture (BinaryData::temp_binary_data_4, BinaryData::temp_binary_data_4Size));
    setPicture (channelButton,        picture (BinaryData::temp_binary_data_6, BinaryData::temp_binary_data_6Size));
    setPicture (previousPresetButton, picture (BinaryData::temp_binary_data_0, BinaryData::temp_binary_data_0Size));
    setPicture (nextPresetButton,     picture (BinaryData::temp_binary_data_1, BinaryData::temp_binary_data_1Size));

    for (auto* button : { &playlistButton, &channelButton, &previousPresetButton, &nextPresetButton })
    {
        button->addListener (this);
        addAndMakeVisible (button);
    }

    setSize (600, 400);
}

GrelkAudioProcessorEditor::~GrelkAudioProcessorEditor() = default;

//==============================================================================
void GrelkAudioProcessorEditor::paint (juce::Graphics& g)
{
    backgroundImage = picture (BinaryData::temp_binary_data_2, BinaryData::temp_binary_data_2Size);

    if (backgroundImage.isValid())
        g.drawImage (backgroundImage, getLocalBounds().toFloat(), juce::RectanglePlacement::stretchToFit);
}

void GrelkAudioProcessorEditor::resized()
{
    noiseKnob.setBounds  (26,  290, 80, 80);
    biteKnob.setBounds   (143, 290, 80, 80);
    wobbleKnob.setBounds (261, 290, 80, 80);
    suckKnob.setBounds   (376, 290, 80, 80);
    depthKnob.setBounds  (489, 290, 80, 80);

    presetBox.setBounds (getWidth() / 2 - 80, 0, 160, 30);

    playlistButton.setBounds       (0,   0, 100, 30);
    channelButton.setBounds        (547, 5, 48,  20);
    previousPresetButton.setBounds (195, 5, 20,  20);
    nextPresetButton.setBounds     (385, 5, 20,  20);
}

//==============================================================================
// A knob reaches its parameter through its attachment alone.
void GrelkAudioProcessorEditor::sliderValueChanged (juce::Slider*) {}

void GrelkAudioProcessorEditor::comboBoxChanged (juce::ComboBox* box)
{
    if (box != &presetBox)
        return;

    const auto id = presetBox.getSelectedId();

    if (id < 1 || id > presetTable::numPresets)
        return;

    // Asynchronous: each attachment writes its parameter when the knob's
    // change message arrives, and a knob whose value stays put writes nothing.
    const auto row = (size_t) (id - 1);
    noiseKnob.setValue  (presetTable::noise[row],  juce::sendNotificationAsync);
    biteKnob.setValue   (presetTable::bite[row],   juce::sendNotificationAsync);
    wobbleKnob.setValue (presetTable::wobble[row], juce::sendNotificationAsync);
    suckKnob.setValue   (presetTable::suck[row],   juce::sendNotificationAsync);
    depthKnob.setValue  (presetTable::depth[row],  juce::sendNotificationAsync);
}

void GrelkAudioProcessorEditor::buttonClicked (juce::Button* button)
{
    if (button == &playlistButton)
    {
        juce::URL (GrelkLinks::playlistPage).launchInDefaultBrowser();
        return;
    }

    if (button == &channelButton)
    {
        juce::URL (GrelkLinks::channelPage).launchInDefaultBrowser();
        return;
    }

    if (button != &previousPresetButton && button != &nextPresetButton)
        return;

    // With nothing selected, next starts at the second preset.
    const auto current = presetBox.getSelectedItemIndex();
    const auto last = presetTable::numPresets - 1;
    int index = 0;

    if (button == &previousPresetButton)
        index = current > 0 ? current - 1 : last;
    else
        index = current == -1 ? 1 : (current >= last ? 0 : current + 1);

    // Selecting posts the box's change message, and comboBoxChanged applies it.
    presetBox.setSelectedId (presetBox.getItemId (index), juce::sendNotificationAsync);
}
