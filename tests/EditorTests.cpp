#include "EditorTestHelpers.h"
#include "PluginEditor.h"

#include <BinaryData.h>

namespace
{
    using grelk_test::EditorTest;
    using grelk_test::getPlain;
    using grelk_test::setPlain;

    juce::Image picture (const unsigned char* data, int size)
    {
        return juce::ImageCache::getFromMemory (data, size);
    }

    juce::Image knobStrip()  { return picture (BinaryData::temp_binary_data_3, BinaryData::temp_binary_data_3Size); }
    juce::Image background() { return picture (BinaryData::temp_binary_data_2, BinaryData::temp_binary_data_2Size); }

    const juce::Rectangle<int> knobBounds[] { { 26, 290, 80, 80 }, { 143, 290, 80, 80 }, { 261, 290, 80, 80 },
                                              { 376, 290, 80, 80 }, { 489, 290, 80, 80 } };

    // Away from the defaults and from the values the old editor forced on
    // "wobble" and "depth" (0.6 and 1.0).
    void setDistinctValues (juce::AudioProcessor& processor)
    {
        grelk_test::setStored (processor, 12.0f, 7.0f, 0.3f, 9.0f, 0.45f);
    }

    void expectUnchanged (juce::AudioProcessor& processor, const std::map<juce::String, float>& before)
    {
        for (const auto& [id, value] : before)
            EXPECT_EQ (getPlain (processor, id), value) << id;
    }

    // Pixels whose channels differ by more than the tolerance.
    int countPixelsOff (const juce::Image& a, const juce::Image& b, int tolerance)
    {
        int off = 0;

        for (int y = 0; y < a.getHeight(); ++y)
        {
            for (int x = 0; x < a.getWidth(); ++x)
            {
                const auto p = a.getPixelAt (x, y);
                const auto q = b.getPixelAt (x, y);

                if (std::abs (p.getRed() - q.getRed()) > tolerance || std::abs (p.getGreen() - q.getGreen()) > tolerance
                    || std::abs (p.getBlue() - q.getBlue()) > tolerance)
                    ++off;
            }
        }

        return off;
    }

    // What a knob's square should look like: the background with frame k of
    // the strip scaled over it.
    juce::Image expectedKnobSquare (juce::Rectangle<int> bounds, int frame)
    {
        juce::Image square (juce::Image::ARGB, bounds.getWidth(), bounds.getHeight(), true);
        juce::Graphics g (square);
        g.drawImageAt (background(), -bounds.getX(), -bounds.getY());
        g.drawImage (knobStrip(), 0, 0, bounds.getWidth(), bounds.getHeight(), 0, frame * 64, 64, 64, false);
        return square;
    }

    struct PngHeader
    {
        juce::uint32 width = 0, height = 0;
        int bitDepth = 0, colourType = 0, interlace = 0;
    };

    PngHeader readPngHeader (const unsigned char* data, int size)
    {
        static const unsigned char signature[] { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };
        PngHeader header;

        if (size < 29 || std::memcmp (data, signature, 8) != 0 || std::memcmp (data + 12, "IHDR", 4) != 0)
            return header;

        header.width = juce::ByteOrder::bigEndianInt (data + 16);
        header.height = juce::ByteOrder::bigEndianInt (data + 20);
        header.bitDepth = data[24];
        header.colourType = data[25];
        header.interlace = data[28];
        return header;
    }
}

TEST_F (EditorTest, WindowHasItsFixedLayout)
{
    auto processor = grelk_test::createProcessor();
    grelk_test::OpenEditor editor (*processor);
    ASSERT_NE (editor.get(), nullptr);
    ASSERT_NE (dynamic_cast<GrelkAudioProcessorEditor*> (editor.get()), nullptr);

    EXPECT_EQ (editor->getBounds().getWidth(), 600);
    EXPECT_EQ (editor->getBounds().getHeight(), 400);
    EXPECT_FALSE (editor->isResizable());

    const auto controls = grelk_test::findControls (*editor);
    ASSERT_EQ (controls.knobs.size(), 5u);
    ASSERT_NE (controls.presetBox, nullptr);
    ASSERT_EQ (controls.imageButtons.size(), 4u);

    for (size_t i = 0; i < 5; ++i)
    {
        EXPECT_EQ (controls.knobs[i]->getBounds(), knobBounds[i]) << "knob " << i;
        EXPECT_EQ (controls.knobs[i]->getSliderStyle(), juce::Slider::RotaryHorizontalVerticalDrag);
    }

    EXPECT_EQ (controls.presetBox->getBounds(), juce::Rectangle<int> (220, 0, 160, 30));

    const std::pair<juce::Image, juce::Rectangle<int>> buttons[] {
        { picture (BinaryData::temp_binary_data_4, BinaryData::temp_binary_data_4Size), { 0, 0, 100, 30 } },
        { picture (BinaryData::temp_binary_data_6, BinaryData::temp_binary_data_6Size), { 547, 5, 48, 20 } },
        { picture (BinaryData::temp_binary_data_0, BinaryData::temp_binary_data_0Size), { 195, 5, 20, 20 } },
        { picture (BinaryData::temp_binary_data_1, BinaryData::temp_binary_data_1Size), { 385, 5, 20, 20 } },
    };

    for (const auto& [image, bounds] : buttons)
    {
        auto* button = controls.buttonShowing (image);
        ASSERT_NE (button, nullptr);
        EXPECT_EQ (button->getBounds(), bounds);
        EXPECT_EQ (button->getBounds().getWidth(), image.getWidth()) << "drawn at its own size";
        EXPECT_EQ (button->getBounds().getHeight(), image.getHeight());
    }

    // The preset box: nothing chosen, the six presets, see-through.
    auto& box = *controls.presetBox;
    EXPECT_EQ (box.getSelectedId(), 0);
    EXPECT_EQ (box.getTextWhenNothingSelected(), "Presets");
    const char* names[] { "Default Setting", "Big & Wobbly", "Sucks Big Time", "Totally Crushed", "Sick & Screaming", "Gnawed & Sore" };
    ASSERT_EQ (box.getNumItems(), 6);
    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ (box.getItemText (i), names[i]);
        EXPECT_EQ (box.getItemId (i), i + 1);
    }
    EXPECT_EQ (box.findColour (juce::ComboBox::backgroundColourId), juce::Colours::transparentWhite);
    EXPECT_EQ (box.findColour (juce::ComboBox::focusedOutlineColourId), juce::Colours::transparentWhite);

    auto& lookAndFeel = juce::LookAndFeel::getDefaultLookAndFeel();
    EXPECT_EQ (lookAndFeel.findColour (juce::PopupMenu::backgroundColourId), juce::Colour (0xffd67b6d));
    EXPECT_EQ (lookAndFeel.findColour (juce::PopupMenu::highlightedBackgroundColourId), juce::Colour (0xffffceac));
}

TEST_F (EditorTest, OpeningTheWindowMovesNoParameter)
{
    auto processor = grelk_test::createProcessor();
    setDistinctValues (*processor);
    const auto before = grelk_test::allValues (*processor);

    {
        grelk_test::OpenEditor editor (*processor);
        grelk_test::pumpMessages (200);
        expectUnchanged (*processor, before);

        // The knobs show the stored values, on their own steps.
        const auto controls = grelk_test::findControls (*editor);
        EXPECT_DOUBLE_EQ (controls.noise().getValue(), 12.0);
        EXPECT_DOUBLE_EQ (controls.bite().getValue(), 7.0);
        EXPECT_NEAR (controls.wobble().getValue(), 0.3, 1e-6);
        EXPECT_DOUBLE_EQ (controls.suck().getValue(), 9.0);
        EXPECT_NEAR (controls.depth().getValue(), 0.45, 1e-6);

        // "rate" and "depthMod" stay automatable and change nothing else.
        setPlain (*processor, "rate", 0.2f);
        setPlain (*processor, "depthMod", 0.1f);
        grelk_test::pumpMessages (50);
    }

    auto after = before;
    after["rate"] = getPlain (*processor, "rate");
    after["depthMod"] = getPlain (*processor, "depthMod");
    EXPECT_NEAR (after["rate"], 0.2f, 1e-6f);

    grelk_test::OpenEditor again (*processor);
    grelk_test::pumpMessages (200);
    expectUnchanged (*processor, after);
}

TEST_F (EditorTest, KnobsShowTheirParametersOnTheirOwnSteps)
{
    auto processor = grelk_test::createProcessor();
    grelk_test::OpenEditor editor (*processor);
    const auto controls = grelk_test::findControls (*editor);
    grelk_test::pumpMessages();

    // "noise" stands at 0.15; its knob moves in whole numbers and shows 0,
    // and showing it writes nothing back.
    EXPECT_DOUBLE_EQ (controls.noise().getValue(), 0.0);
    EXPECT_FLOAT_EQ (getPlain (*processor, "noise"), 0.15f);

    // Host changes move each knob; fractions snap to the nearest whole
    // number, halves up, while the parameter keeps the host's value.
    grelk_test::setStored (*processor, 37.0f, 12.5f, 0.77f, 20.49f, 0.25f);
    grelk_test::pumpMessages();

    EXPECT_DOUBLE_EQ (controls.noise().getValue(), 37.0);
    EXPECT_DOUBLE_EQ (controls.bite().getValue(), 13.0);
    EXPECT_DOUBLE_EQ (controls.suck().getValue(), 20.0);
    EXPECT_NEAR (controls.wobble().getValue(), 0.77, 1e-6);
    EXPECT_NEAR (controls.depth().getValue(), 0.25, 1e-6);
    EXPECT_FLOAT_EQ (getPlain (*processor, "bite"), 12.5f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "suck"), 20.49f);

    // Knob ranges start at 0 where the parameters start at 0.01.
    grelk_test::drag (controls.wobble(), 0.0f, 400.0f);
    grelk_test::drag (controls.depth(), -400.0f, 0.0f);
    grelk_test::pumpMessages();
    EXPECT_FLOAT_EQ (getPlain (*processor, "wobble"), 0.01f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "depth"), 0.01f);

    grelk_test::drag (controls.noise(), 0.0f, -1000.0f);
    grelk_test::pumpMessages();
    EXPECT_FLOAT_EQ (getPlain (*processor, "noise"), 100.0f);
}

TEST_F (EditorTest, DoubleClickReturnsEachKnobToItsDefault)
{
    auto processor = grelk_test::createProcessor();
    setDistinctValues (*processor);
    setPlain (*processor, "noise", 50.0f);

    grelk_test::OpenEditor editor (*processor);
    const auto controls = grelk_test::findControls (*editor);

    for (auto* knob : controls.knobs)
        grelk_test::doubleClick (*knob);

    grelk_test::pumpMessages();

    // The default on the knob's own step: 0.15 shows, and is stored, as 0.
    EXPECT_FLOAT_EQ (getPlain (*processor, "noise"), 0.0f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "bite"), 32.0f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "suck"), 1.0f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "wobble"), 0.01f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "depth"), 0.01f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "rate"), 0.6f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "depthMod"), 1.0f);
}

TEST_F (EditorTest, ImageButtonsLookTheSameHoveredOrPressed)
{
    auto processor = grelk_test::createProcessor();
    grelk_test::OpenEditor editor (*processor);
    const auto controls = grelk_test::findControls (*editor);

    for (auto* button : controls.imageButtons)
    {
        button->setState (juce::Button::buttonNormal);
        const auto idle = grelk_test::snapshot (*button);
        button->setState (juce::Button::buttonOver);
        const auto hovered = grelk_test::snapshot (*button);
        button->setState (juce::Button::buttonDown);
        const auto pressed = grelk_test::snapshot (*button);
        button->setState (juce::Button::buttonNormal);

        EXPECT_EQ (grelk_test::countDifferentPixels (idle, hovered), 0);
        EXPECT_EQ (grelk_test::countDifferentPixels (idle, pressed), 0);
        EXPECT_EQ (grelk_test::countDifferentPixels (idle, button->getNormalImage().convertedToFormat (juce::Image::ARGB)), 0)
            << "the picture at its own size, unscaled";
    }
}

TEST_F (EditorTest, WindowPictureShowsTheBackgroundAndEachKnobsFrame)
{
    auto processor = grelk_test::createProcessor();

    // One value per knob, each well inside a different frame.
    grelk_test::setStored (*processor, 0.0f, 32.0f, 0.52f, 40.0f, 0.25f);
    const int expectedFrames[] { 0, 30, 15, 23, 7 };

    grelk_test::OpenEditor editor (*processor);
    grelk_test::pumpMessages (100);
    grelk_test::hideFrameworkSplash (*editor);

    const auto window = grelk_test::snapshot (*editor);
    ASSERT_EQ (window.getWidth(), 600);
    ASSERT_EQ (window.getHeight(), 400);

    const juce::File artefacts (GRELK_TEST_ARTEFACT_DIR);
    artefacts.createDirectory();
    const auto file = artefacts.getChildFile ("editor-window.png");
    file.deleteFile();
    {
        juce::FileOutputStream out (file);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (window, out));
    }
    std::cout << "window picture: " << file.getFullPathName() << std::endl;

    // The background shows where no control sits.
    const auto bg = background();
    for (auto point : { juce::Point<int> (5, 60), juce::Point<int> (300, 240), juce::Point<int> (590, 200),
                        juce::Point<int> (130, 395), juce::Point<int> (300, 120) })
        EXPECT_EQ (window.getPixelAt (point.x, point.y).getARGB(), bg.getPixelAt (point.x, point.y).getARGB())
            << "at " << point.toString();

    // Each knob's square is the background with the frame for its value over
    // it, and not its neighbours' frames.
    for (size_t i = 0; i < 5; ++i)
    {
        const auto bounds = knobBounds[i];
        const auto shown = window.getClippedImage (bounds);
        const auto frame = expectedFrames[i];

        EXPECT_EQ (countPixelsOff (shown, expectedKnobSquare (bounds, frame), 2), 0) << "knob " << i << ", frame " << frame;

        for (auto other : { frame - 1, frame + 1 })
        {
            if (other < 0 || other > 30)
                continue;

            EXPECT_GT (countPixelsOff (shown, expectedKnobSquare (bounds, other), 2), 20) << "knob " << i << " vs frame " << other;
        }
    }
}

TEST_F (EditorTest, OpeningAndClosingAHundredTimesLeavesNothingBehind)
{
    auto processor = grelk_test::createProcessor();
    setDistinctValues (*processor);
    const auto before = grelk_test::allValues (*processor);
    const auto strip = knobStrip();

    for (int i = 0; i < 100; ++i)
    {
        grelk_test::OpenEditor editor (*processor);
        ASSERT_EQ (processor->getActiveEditor(), editor.get());
        grelk_test::pumpMessages (2);
    }

    grelk_test::pumpMessages (50);

    EXPECT_EQ (processor->getActiveEditor(), nullptr);
    EXPECT_EQ (juce::Desktop::getInstance().getNumComponents(), 0);
    EXPECT_LE (strip.getReferenceCount(), 2) << "only this test and the image cache still hold the knob strip";
    expectUnchanged (*processor, before);
    // Leaked objects are reported by the framework's leak detector when the
    // process ends, which fails it (EditorTestMain.cpp).
}

TEST_F (EditorTest, CompiledInPicturesHaveTheirSizesAndColourTypes)
{
    struct Expected { const unsigned char* data; int size; juce::uint32 width, height; int colourType; const char* file; };
    constexpr int rgb = 2, rgba = 6;

    const Expected pictures[] {
        { BinaryData::temp_binary_data_0, BinaryData::temp_binary_data_0Size, 20,  20,   rgba, "preset-previous.png" },
        { BinaryData::temp_binary_data_1, BinaryData::temp_binary_data_1Size, 20,  20,   rgba, "preset-next.png" },
        { BinaryData::temp_binary_data_2, BinaryData::temp_binary_data_2Size, 600, 400,  rgb,  "background.png" },
        { BinaryData::temp_binary_data_3, BinaryData::temp_binary_data_3Size, 64,  1984, rgba, "knob-strip.png" },
        { BinaryData::temp_binary_data_4, BinaryData::temp_binary_data_4Size, 100, 30,   rgba, "playlist-button.png" },
        { BinaryData::temp_binary_data_6, BinaryData::temp_binary_data_6Size, 48,  20,   rgba, "channel-button.png" },
    };

    for (const auto& p : pictures)
    {
        const auto header = readPngHeader (p.data, p.size);
        EXPECT_EQ (header.width, p.width) << p.file;
        EXPECT_EQ (header.height, p.height) << p.file;
        EXPECT_EQ (header.bitDepth, 8) << p.file;
        EXPECT_EQ (header.colourType, p.colourType) << p.file;
        EXPECT_EQ (header.interlace, 0) << p.file;
        EXPECT_TRUE (picture (p.data, p.size).isValid()) << p.file << " decodes";
    }

    // The pointer moves: every frame differs from the one before.
    const auto strip = knobStrip();
    for (int k = 1; k < 31; ++k)
        EXPECT_GT (grelk_test::countDifferentPixels (strip.getClippedImage ({ 0, (k - 1) * 64, 64, 64 }),
                                                     strip.getClippedImage ({ 0, k * 64, 64, 64 })), 10)
            << "frames " << k - 1 << " and " << k;
}
