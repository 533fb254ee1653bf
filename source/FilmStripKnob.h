#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A slider that shows its value as one frame of a pre-rendered picture strip,
// frame 0 at the range's minimum and the last frame at its maximum. All value
// handling (drag, wheel, double-click) is the framework slider's.
class FilmStripKnob final : public juce::Slider
{
public:
    FilmStripKnob (juce::Image strip, int numFramesInStrip, bool stripIsHorizontal);
    ~FilmStripKnob() override;

    void paint (juce::Graphics&) override;

private:
    const int numFrames;
    const bool isHorizontal;
    const juce::Image filmStrip;
    const int frameWidth;
    const int frameHeight;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FilmStripKnob)
};
