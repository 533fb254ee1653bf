#include "EditorTestHelpers.h"

namespace
{
    using grelk_test::EditorTest;

    const juce::Colour leftover { 0xff00ff00 };

    juce::Colour frameColour (int frame)
    {
        return juce::Colour ((juce::uint8) (10 + 7 * frame), (juce::uint8) 40, (juce::uint8) 200);
    }

    // Frame k is filled with its own colour; pixels beyond the last whole
    // frame are green, so showing them is visible.
    juce::Image makeStrip (int width, int height, int numFrames, bool horizontal)
    {
        juce::Image strip (juce::Image::ARGB, width, height, true);
        juce::Graphics g (strip);
        g.fillAll (leftover);

        const auto frameWidth = horizontal ? width / numFrames : width;
        const auto frameHeight = horizontal ? height : height / numFrames;

        for (int k = 0; k < numFrames; ++k)
        {
            g.setColour (frameColour (k));
            g.fillRect (horizontal ? k * frameWidth : 0, horizontal ? 0 : k * frameHeight, frameWidth, frameHeight);
        }

        return strip;
    }

    constexpr int nothingDrawn = -1;
    constexpr int notOneFrame = -2;

    bool near (juce::Colour a, juce::Colour b)
    {
        constexpr int tolerance = 3; // resampling softens the outermost pixels
        return std::abs (a.getAlpha() - b.getAlpha()) <= tolerance && std::abs (a.getRed() - b.getRed()) <= tolerance
            && std::abs (a.getGreen() - b.getGreen()) <= tolerance && std::abs (a.getBlue() - b.getBlue()) <= tolerance;
    }

    // The frame the knob shows, read back from its painted pixels: every
    // pixel must be that frame's colour, so anything else drawn shows up.
    int shownFrame (FilmStripKnob& knob)
    {
        const auto image = grelk_test::snapshot (knob);
        const auto centre = image.getPixelAt (image.getWidth() / 2, image.getHeight() / 2);

        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                if (! near (image.getPixelAt (x, y), centre))
                    return notOneFrame;

        if (centre.getAlpha() == 0)
            return nothingDrawn;

        for (int k = 0; k < 40; ++k)
            if (centre == frameColour (k))
                return k;

        return notOneFrame;
    }

    std::unique_ptr<FilmStripKnob> makeKnob (juce::Image strip, int numFrames, bool horizontal,
                                             double minimum = 0.0, double maximum = 1.0)
    {
        auto knob = std::make_unique<FilmStripKnob> (std::move (strip), numFrames, horizontal);
        knob->setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
        knob->setRange (minimum, maximum, 0.0);
        knob->setBounds (0, 0, 80, 80);
        return knob;
    }
}

TEST_F (EditorTest, KnobShowsTheFrameItsValueTruncatesTo)
{
    auto knob = makeKnob (makeStrip (64, 1984, 31, false), 31, false);

    knob->setValue (0.0);
    EXPECT_EQ (shownFrame (*knob), 0);
    knob->setValue (1.0);
    EXPECT_EQ (shownFrame (*knob), 30);
    knob->setValue (0.5);
    EXPECT_EQ (shownFrame (*knob), 15);
    knob->setValue (0.999);
    EXPECT_EQ (shownFrame (*knob), 29) << "the last frame belongs to the maximum alone";

    for (int k = 0; k <= 30; ++k)
    {
        knob->setValue (k / 30.0);
        EXPECT_EQ (shownFrame (*knob), k) << "value " << k << "/30";
    }

    // Any linear range: halfway through 2..32 is 17.
    auto bite = makeKnob (makeStrip (64, 1984, 31, false), 31, false, 2.0, 32.0);
    bite->setValue (17.0);
    EXPECT_EQ (shownFrame (*bite), 15);
    bite->setValue (2.0);
    EXPECT_EQ (shownFrame (*bite), 0);
}

TEST_F (EditorTest, KnobTakesWholeFramesFromAnyStripLayout)
{
    // 2000 / 31 leaves 64-pixel frames and 16 rows that are never shown.
    auto tall = makeKnob (makeStrip (64, 2000, 31, false), 31, false);
    tall->setValue (1.0);
    EXPECT_EQ (shownFrame (*tall), 30);

    auto horizontal = makeKnob (makeStrip (1984, 64, 31, true), 31, true);
    for (int k = 0; k <= 30; ++k)
    {
        horizontal->setValue (k / 30.0);
        EXPECT_EQ (shownFrame (*horizontal), k) << "horizontal strip, value " << k << "/30";
    }

    auto single = makeKnob (makeStrip (64, 64, 1, false), 1, false);
    for (auto v : { 0.0, 0.3, 1.0 })
    {
        single->setValue (v);
        EXPECT_EQ (shownFrame (*single), 0);
    }
}

TEST_F (EditorTest, KnobDrawsItsFrameStretchedToItsBoundsAndNothingElse)
{
    // Top half one colour, bottom half another: an 80 x 40 knob squeezes the
    // frame to 40 rows, so the colours meet at row 20.
    juce::Image strip (juce::Image::ARGB, 64, 64 * 31, true);
    {
        juce::Graphics g (strip);
        g.setColour (juce::Colours::red);
        g.fillRect (0, 0, 64, 32);
        g.setColour (juce::Colours::blue);
        g.fillRect (0, 32, 64, 32);
    }

    auto knob = makeKnob (strip, 31, false);
    knob->setValue (0.0);
    knob->setSize (80, 40);

    const auto image = grelk_test::snapshot (*knob);
    for (int x = 0; x < 80; x += 8)
    {
        EXPECT_EQ (image.getPixelAt (x, 2), juce::Colours::red);
        EXPECT_EQ (image.getPixelAt (x, 17), juce::Colours::red);
        EXPECT_EQ (image.getPixelAt (x, 22), juce::Colours::blue);
        EXPECT_EQ (image.getPixelAt (x, 38), juce::Colours::blue);
    }

    // No number, no text box, no child of any kind.
    EXPECT_EQ (knob->getTextBoxPosition(), juce::Slider::NoTextBox);
    EXPECT_EQ (knob->getNumChildComponents(), 0);

    // Where the frame is transparent, nothing is drawn at all.
    auto clear = makeKnob (juce::Image (juce::Image::ARGB, 64, 64 * 31, true), 31, false);
    EXPECT_EQ (shownFrame (*clear), nothingDrawn);
}

TEST_F (EditorTest, KnobWithoutAPictureDrawsNothingButStillTurns)
{
    auto knob = makeKnob (juce::Image(), 31, false);
    knob->setValue (0.5);
    EXPECT_EQ (shownFrame (*knob), nothingDrawn);

    grelk_test::drag (*knob, 0.0f, -60.0f);
    EXPECT_GT (knob->getValue(), 0.5) << "dragging up turns the knob up";

    // Fewer rows than frames: zero-high frames, nothing drawn.
    auto stub = makeKnob (makeStrip (64, 20, 1, false), 31, false);
    EXPECT_EQ (shownFrame (*stub), nothingDrawn);
}
