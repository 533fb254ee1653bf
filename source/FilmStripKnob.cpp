#include "FilmStripKnob.h"

#include <algorithm>

FilmStripKnob::FilmStripKnob (juce::Image strip, int numFramesInStrip, bool stripIsHorizontal)
    : numFrames (std::max (1, numFramesInStrip)),
      isHorizontal (stripIsHorizontal),
      filmStrip (std::move (strip)),
      // A null image counts as 0 x 0; a remainder left by the division is
      // never shown.
      frameWidth (isHorizontal ? filmStrip.getWidth() / numFrames : filmStrip.getWidth()),
      frameHeight (isHorizontal ? filmStrip.getHeight() : filmStrip.getHeight() / numFrames)
{
    setTextBoxStyle (juce::Slider::NoTextBox, false, 0, 0);
}

FilmStripKnob::~FilmStripKnob() = default;

void FilmStripKnob::paint (juce::Graphics& g)
{
    if (frameWidth <= 0 || frameHeight <= 0)
        return;

    // Truncated, not rounded: the last frame appears only at the maximum.
    const auto proportion = juce::jlimit (0.0f, 1.0f, (float) valueToProportionOfLength (getValue()));
    const auto frame = (int) (proportion * (float) (numFrames - 1));

    const auto sourceX = isHorizontal ? frame * frameWidth : 0;
    const auto sourceY = isHorizontal ? 0 : frame * frameHeight;

    g.drawImage (filmStrip, 0, 0, getWidth(), getHeight(), sourceX, sourceY, frameWidth, frameHeight, false);
}
