// Draws the editor's pictures and writes them as PNG files:
//
//   GrelkArtwork <output-directory>
//
// The output is deterministic (fixed random seeds, fonts loaded from fixed
// files), so re-running it over resources/ changes nothing unless this file
// changed.

#include <juce_graphics/juce_graphics.h>
#include <juce_events/juce_events.h>

#include <cmath>
#include <iostream>

namespace
{
    namespace Palette
    {
        const juce::Colour coral     { 0xffd67b6d };
        const juce::Colour coralDeep { 0xffa9503f };
        const juce::Colour peach     { 0xffffceac };
        const juce::Colour ink       { 0xff140f0f };
        const juce::Colour labelText { 0xffe9d3c4 };
    }

    constexpr float pi = juce::MathConstants<float>::pi;

    // The knob's sweep: 270 degrees, from lower left (minimum) to lower right.
    constexpr float sweepStart = -0.75f * pi;
    constexpr float sweepEnd   =  0.75f * pi;

    juce::Typeface::Ptr loadTypeface (const juce::String& fileName)
    {
        const juce::File file ("/usr/share/fonts/truetype/dejavu/" + fileName);
        juce::MemoryBlock data;

        if (! file.loadFileAsData (data))
        {
            std::cerr << "missing font " << file.getFullPathName() << " (Debian: fonts-dejavu-core)\n";
            std::exit (1);
        }

        return juce::Typeface::createSystemTypefaceFor (data.getData(), data.getSize());
    }

    struct Fonts
    {
        juce::Typeface::Ptr bold          = loadTypeface ("DejaVuSans-Bold.ttf");
        juce::Typeface::Ptr condensedBold = loadTypeface ("DejaVuSansCondensed-Bold.ttf");

        juce::Font make (const juce::Typeface::Ptr& face, float height, float kerning = 0.0f) const
        {
            juce::Font font (face);
            font.setHeight (height);
            font.setExtraKerningFactor (kerning);
            return font;
        }
    };

    juce::Point<float> onCircle (juce::Point<float> centre, float radius, float angle)
    {
        return centre.getPointOnCircumference (radius, angle);
    }

    // A soft shadow made of stacked translucent discs; cheap and good enough
    // at these sizes.
    void drawSoftDisc (juce::Graphics& g, juce::Point<float> centre, float radius, float spread, float alpha)
    {
        constexpr int layers = 8;

        for (int i = 0; i < layers; ++i)
        {
            const auto r = radius + spread * (1.0f - (float) i / (float) layers);
            g.setColour (juce::Colours::black.withAlpha (alpha / (float) layers));
            g.fillEllipse (juce::Rectangle<float> (r * 2.0f, r * 2.0f).withCentre (centre));
        }
    }

    //==============================================================================
    juce::Image drawKnobStrip (int numFrames, int frameSize)
    {
        juce::Image strip (juce::Image::ARGB, frameSize, frameSize * numFrames, true);
        juce::Graphics g (strip);

        const auto size = (float) frameSize;
        const juce::Point<float> centre (size * 0.5f, size * 0.5f);
        const auto arcRadius  = size * 0.445f;
        const auto bodyRadius = size * 0.335f;
        const auto capRadius  = size * 0.24f;

        for (int frame = 0; frame < numFrames; ++frame)
        {
            const juce::Graphics::ScopedSaveState state (g);
            g.setOrigin (0, frame * frameSize);

            const auto proportion = (float) frame / (float) (numFrames - 1);
            const auto angle = sweepStart + proportion * (sweepEnd - sweepStart);

            // Track and value arc.
            juce::Path track;
            track.addCentredArc (centre.x, centre.y, arcRadius, arcRadius, 0.0f, sweepStart, sweepEnd, true);
            g.setColour (juce::Colour (0xff2b2424));
            g.strokePath (track, juce::PathStrokeType (3.2f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));

            if (frame > 0)
            {
                juce::Path value;
                value.addCentredArc (centre.x, centre.y, arcRadius, arcRadius, 0.0f, sweepStart, angle, true);
                g.setColour (Palette::coral.withAlpha (0.28f));
                g.strokePath (value, juce::PathStrokeType (5.5f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
                g.setColour (Palette::coral);
                g.strokePath (value, juce::PathStrokeType (2.6f, juce::PathStrokeType::curved, juce::PathStrokeType::rounded));
            }
            else
            {
                g.setColour (Palette::coral);
                g.fillEllipse (juce::Rectangle<float> (2.6f, 2.6f).withCentre (onCircle (centre, arcRadius, sweepStart)));
            }

            // Body: shadow, knurled edge that turns with the knob, then the cap.
            drawSoftDisc (g, centre.translated (0.0f, 1.8f), bodyRadius, 3.0f, 0.55f);

            const auto body = juce::Rectangle<float> (bodyRadius * 2.0f, bodyRadius * 2.0f).withCentre (centre);
            g.setGradientFill (juce::ColourGradient (juce::Colour (0xff554b4a), body.getX(), body.getY(),
                                                     juce::Colour (0xff171313), body.getRight(), body.getBottom(), false));
            g.fillEllipse (body);

            for (int notch = 0; notch < 36; ++notch)
            {
                const auto a = angle + (float) notch * (2.0f * pi / 36.0f);
                const auto shade = 0.5f + 0.5f * std::cos (a + 0.8f);
                g.setColour (juce::Colour (0xff0d0a0a).interpolatedWith (juce::Colour (0xff6b5f5d), shade * 0.6f));
                g.drawLine (juce::Line<float> (onCircle (centre, bodyRadius - 3.2f, a), onCircle (centre, bodyRadius - 0.6f, a)), 0.9f);
            }

            g.setGradientFill (juce::ColourGradient (juce::Colour (0xff7a6d6b), centre.x, body.getY(),
                                                     juce::Colour (0xff0c0909), centre.x, body.getBottom(), false));
            g.drawEllipse (body.reduced (0.4f), 0.8f);

            const auto cap = juce::Rectangle<float> (capRadius * 2.0f, capRadius * 2.0f).withCentre (centre);
            g.setGradientFill (juce::ColourGradient (juce::Colour (0xff1e1919), cap.getX(), cap.getY(),
                                                     juce::Colour (0xff3d3434), cap.getRight(), cap.getBottom(), false));
            g.fillEllipse (cap);
            g.setColour (juce::Colour (0x40000000));
            g.drawEllipse (cap, 0.8f);

            // Pointer, from the cap's middle out to the knurling.
            const juce::Line<float> pointer (onCircle (centre, size * 0.07f, angle), onCircle (centre, bodyRadius - 1.5f, angle));
            g.setColour (juce::Colours::black.withAlpha (0.5f));
            g.drawLine (pointer.withShortenedStart (-0.5f), 4.2f);
            g.setColour (Palette::peach);
            g.drawLine (pointer, 2.6f);
            g.fillEllipse (juce::Rectangle<float> (3.4f, 3.4f).withCentre (pointer.getEnd()));
        }

        return strip;
    }

    //==============================================================================
    void addGrain (juce::Image& image, juce::Random& random, int amount)
    {
        const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readWrite);

        for (int y = 0; y < image.getHeight(); ++y)
        {
            const auto rowShift = random.nextInt (juce::Range<int> (-amount / 3, amount / 3 + 1));

            for (int x = 0; x < image.getWidth(); ++x)
            {
                const auto c = pixels.getPixelColour (x, y);
                const auto delta = random.nextInt (juce::Range<int> (-amount, amount + 1)) + rowShift;
                const auto shift = [delta] (juce::uint8 v) { return (juce::uint8) juce::jlimit (0, 255, (int) v + delta); };
                pixels.setPixelColour (x, y, juce::Colour (shift (c.getRed()), shift (c.getGreen()), shift (c.getBlue())));
            }
        }
    }

    // The title: heavy letters, shifted in horizontal bands like a worn tape
    // frame, with a second offset pass for colour misregistration.
    void drawTitle (juce::Graphics& g, const Fonts& fonts, juce::Rectangle<int> area, juce::Random& random)
    {
        juce::Image letters (juce::Image::ARGB, area.getWidth(), area.getHeight(), true);

        {
            juce::Graphics lg (letters);
            lg.setFont (fonts.make (fonts.bold, 118.0f, 0.06f));
            lg.setGradientFill (juce::ColourGradient (Palette::peach, 0.0f, 10.0f,
                                                      Palette::coral, 0.0f, (float) area.getHeight() * 0.75f, false));
            lg.drawText ("GRELK", letters.getBounds(), juce::Justification::centred, false);
        }

        // Wear: specks knocked out of the letters (by hand, as the graphics
        // context only blends).
        {
            const juce::Image::BitmapData pixels (letters, juce::Image::BitmapData::readWrite);
            for (int i = 0; i < 1400; ++i)
            {
                const auto cx = random.nextInt (area.getWidth());
                const auto cy = random.nextInt (area.getHeight());
                const auto r = random.nextFloat() < 0.85f ? 0 : 1;

                for (int y = cy - r; y <= cy + r; ++y)
                    for (int x = cx - r; x <= cx + r; ++x)
                        if (juce::isPositiveAndBelow (x, area.getWidth()) && juce::isPositiveAndBelow (y, area.getHeight()))
                            pixels.setPixelColour (x, y, pixels.getPixelColour (x, y).withMultipliedAlpha (0.15f));
            }
        }

        // Shadow, a faint misregistered pass, then the letters in shifted bands.
        g.setColour (juce::Colours::black.withAlpha (0.6f));
        g.drawImageAt (letters, area.getX() + 3, area.getY() + 5, true);

        g.setOpacity (0.22f);
        g.drawImageAt (letters, area.getX() - 4, area.getY() + 1);
        g.setOpacity (1.0f);

        int y = 0;
        while (y < area.getHeight())
        {
            const auto band = 3 + random.nextInt (14);
            const auto shift = random.nextFloat() < 0.3f ? random.nextInt (juce::Range<int> (-5, 6)) : 0;
            const juce::Graphics::ScopedSaveState state (g);
            g.reduceClipRegion (area.getX() - 10, area.getY() + y, area.getWidth() + 20, band);
            g.drawImageAt (letters, area.getX() + shift, area.getY());
            y += band;
        }
    }

    void drawSpacedText (juce::Graphics& g, const juce::Font& font, const juce::String& text,
                         juce::Rectangle<float> area, juce::Colour colour)
    {
        g.setFont (font);
        g.setColour (juce::Colours::black.withAlpha (0.7f));
        g.drawText (text, area.translated (0.0f, 1.0f), juce::Justification::centred, false);
        g.setColour (colour);
        g.drawText (text, area, juce::Justification::centred, false);
    }

    juce::Image drawBackground (const Fonts& fonts)
    {
        constexpr int width = 600, height = 400;
        juce::Image image (juce::Image::RGB, width, height, true);
        juce::Random random (0x67726c6b);

        {
            juce::Graphics g (image);

            g.setGradientFill (juce::ColourGradient (juce::Colour (0xff2c2524), 0.0f, 0.0f,
                                                     juce::Colour (0xff121010), 0.0f, (float) height, false));
            g.fillAll();

            // Grunge: large faint blotches, then fine scratches.
            for (int i = 0; i < 70; ++i)
            {
                const auto r = 20.0f + random.nextFloat() * 90.0f;
                const juce::Point<float> c (random.nextFloat() * width, random.nextFloat() * height);
                const auto tone = random.nextBool() ? juce::Colours::black : juce::Colour (0xff6a4a44);
                g.setGradientFill (juce::ColourGradient (tone.withAlpha (0.07f), c.x, c.y,
                                                         tone.withAlpha (0.0f), c.x + r, c.y, true));
                g.fillEllipse (juce::Rectangle<float> (r * 2.0f, r * 2.0f).withCentre (c));
            }

            for (int i = 0; i < 160; ++i)
            {
                const juce::Point<float> start (random.nextFloat() * width, random.nextFloat() * height);
                const auto angle = random.nextFloat() * 2.0f * pi;
                const auto length = 6.0f + random.nextFloat() * 40.0f;
                g.setColour ((random.nextBool() ? juce::Colours::white : juce::Colours::black).withAlpha (0.05f + random.nextFloat() * 0.05f));
                g.drawLine (juce::Line<float> (start, start.getPointOnCircumference (length, angle)), 0.6f);
            }
        }

        addGrain (image, random, 7);

        juce::Graphics g (image);

        // Vignette.
        g.setGradientFill (juce::ColourGradient (juce::Colours::transparentBlack, width * 0.5f, height * 0.42f,
                                                 juce::Colours::black.withAlpha (0.6f), 0.0f, 0.0f, true));
        g.fillAll();

        // Header strip behind the preset controls and the two links.
        g.setColour (Palette::ink.withAlpha (0.82f));
        g.fillRect (0, 0, width, 30);
        g.setColour (Palette::coral.withAlpha (0.55f));
        g.fillRect (0, 30, width, 1);
        g.setColour (juce::Colours::black.withAlpha (0.5f));
        g.fillRect (0, 31, width, 2);

        // Sunken display behind the preset menu.
        const juce::Rectangle<float> display (222.0f, 3.0f, 156.0f, 24.0f);
        g.setColour (juce::Colour (0xff070505));
        g.fillRoundedRectangle (display, 4.0f);
        g.setColour (juce::Colours::white.withAlpha (0.08f));
        g.drawRoundedRectangle (display.translated (0.0f, 0.5f), 4.0f, 1.0f);

        drawTitle (g, fonts, { 40, 48, 520, 150 }, random);

        drawSpacedText (g, fonts.make (fonts.condensedBold, 15.0f, 0.32f), juce::String (juce::CharPointer_UTF8 ("NOISE  \xc2\xb7  HOLD  \xc2\xb7  WOBBLE")),
                        { 0.0f, 198.0f, (float) width, 20.0f }, Palette::peach.withAlpha (0.75f));

        // The knob row's panel, with a hairline and four screws.
        const juce::Rectangle<float> panel (10.0f, 262.0f, 580.0f, 130.0f);
        g.setColour (juce::Colours::black.withAlpha (0.45f));
        g.fillRoundedRectangle (panel.translated (0.0f, 3.0f).expanded (2.0f), 10.0f);
        g.setGradientFill (juce::ColourGradient (juce::Colour (0xff262020), 0.0f, panel.getY(),
                                                 juce::Colour (0xff161212), 0.0f, panel.getBottom(), false));
        g.fillRoundedRectangle (panel, 9.0f);
        g.setColour (juce::Colours::white.withAlpha (0.07f));
        g.drawRoundedRectangle (panel.reduced (0.5f), 9.0f, 1.0f);
        g.setColour (Palette::coral.withAlpha (0.35f));
        g.fillRect (panel.getX() + 14.0f, panel.getY() + 4.0f, panel.getWidth() - 28.0f, 1.0f);

        for (auto screw : { panel.getTopLeft() + juce::Point<float> (9.0f, 9.0f),
                            panel.getTopRight() + juce::Point<float> (-9.0f, 9.0f),
                            panel.getBottomLeft() + juce::Point<float> (9.0f, -9.0f),
                            panel.getBottomRight() + juce::Point<float> (-9.0f, -9.0f) })
        {
            const auto head = juce::Rectangle<float> (7.0f, 7.0f).withCentre (screw);
            g.setGradientFill (juce::ColourGradient (juce::Colour (0xff6d6260), head.getX(), head.getY(),
                                                     juce::Colour (0xff1a1515), head.getRight(), head.getBottom(), false));
            g.fillEllipse (head);
            g.setColour (juce::Colour (0xff0d0a0a));
            g.drawLine (juce::Line<float> (screw.translated (-2.2f, 1.2f), screw.translated (2.2f, -1.2f)), 1.0f);
        }

        // A recessed well under each knob and its label below.
        const int knobX[] = { 26, 143, 261, 376, 489 };
        const char* labels[] = { "NOISE", "BITE", "WOBBLE", "SUCK", "DEPTH" };

        for (int i = 0; i < 5; ++i)
        {
            const juce::Point<float> centre ((float) knobX[i] + 40.0f, 330.0f);
            const auto well = juce::Rectangle<float> (78.0f, 78.0f).withCentre (centre);
            g.setGradientFill (juce::ColourGradient (juce::Colour (0xff0a0808), centre.x, well.getY(),
                                                     juce::Colour (0xff2a2322), centre.x, well.getBottom(), false));
            g.fillEllipse (well);
            g.setColour (juce::Colours::black.withAlpha (0.6f));
            g.drawEllipse (well, 1.0f);

            // Scale dots just outside the knob's own arc.
            for (int dot = 0; dot <= 10; ++dot)
            {
                const auto a = sweepStart + (float) dot / 10.0f * (sweepEnd - sweepStart);
                g.setColour (Palette::labelText.withAlpha (dot % 5 == 0 ? 0.65f : 0.3f));
                g.fillEllipse (juce::Rectangle<float> (2.2f, 2.2f).withCentre (onCircle (centre, 42.5f, a)));
            }

            drawSpacedText (g, fonts.make (fonts.condensedBold, 12.5f, 0.22f), labels[i],
                            { (float) knobX[i] - 10.0f, 372.0f, 100.0f, 16.0f }, Palette::labelText);
        }

        return image;
    }

    //==============================================================================
    juce::Image drawArrowButton (bool pointsRight)
    {
        juce::Image image (juce::Image::ARGB, 20, 20, true);
        juce::Graphics g (image);

        const juce::Rectangle<float> disc (1.0f, 1.0f, 18.0f, 18.0f);
        g.setGradientFill (juce::ColourGradient (juce::Colour (0xff3a3131), 0.0f, 1.0f,
                                                 juce::Colour (0xff151111), 0.0f, 19.0f, false));
        g.fillEllipse (disc);
        g.setColour (Palette::coral.withAlpha (0.8f));
        g.drawEllipse (disc.reduced (0.5f), 1.0f);

        juce::Path chevron;
        const auto dir = pointsRight ? 1.0f : -1.0f;
        chevron.startNewSubPath (10.0f - 2.0f * dir, 5.8f);
        chevron.lineTo (10.0f + 2.4f * dir, 10.0f);
        chevron.lineTo (10.0f - 2.0f * dir, 14.2f);
        g.setColour (Palette::peach);
        g.strokePath (chevron, juce::PathStrokeType (2.2f, juce::PathStrokeType::mitered, juce::PathStrokeType::rounded));

        return image;
    }

    juce::Path playTriangle (juce::Rectangle<float> box)
    {
        juce::Path p;
        p.addTriangle (box.getX(), box.getY(), box.getRight(), box.getCentreY(), box.getX(), box.getBottom());
        return p;
    }

    juce::Image drawPlaylistButton (const Fonts& fonts)
    {
        juce::Image image (juce::Image::ARGB, 100, 30, true);
        juce::Graphics g (image);

        const juce::Rectangle<float> pill (4.0f, 5.0f, 92.0f, 20.0f);
        g.setGradientFill (juce::ColourGradient (Palette::coral, 0.0f, pill.getY(), Palette::coralDeep, 0.0f, pill.getBottom(), false));
        g.fillRoundedRectangle (pill, 10.0f);
        g.setColour (juce::Colours::white.withAlpha (0.25f));
        g.drawRoundedRectangle (pill.reduced (0.5f), 9.5f, 1.0f);

        // A list with a play mark: three lines, the last one shorter.
        g.setColour (Palette::ink);
        g.fillRect (juce::Rectangle<float> (12.0f, 10.0f, 9.0f, 1.8f));
        g.fillRect (juce::Rectangle<float> (12.0f, 14.1f, 9.0f, 1.8f));
        g.fillRect (juce::Rectangle<float> (12.0f, 18.2f, 5.0f, 1.8f));
        g.fillPath (playTriangle ({ 18.5f, 15.5f, 5.5f, 6.0f }));

        g.setFont (fonts.make (fonts.condensedBold, 12.0f, 0.12f));
        g.drawText ("PLAYLIST", juce::Rectangle<float> (27.0f, 5.0f, 64.0f, 20.0f), juce::Justification::centred, false);

        return image;
    }

    juce::Image drawChannelButton (const Fonts& fonts)
    {
        juce::Image image (juce::Image::ARGB, 48, 20, true);
        juce::Graphics g (image);

        const juce::Rectangle<float> pill (0.5f, 0.5f, 47.0f, 19.0f);
        g.setColour (juce::Colour (0xff1f1919));
        g.fillRoundedRectangle (pill, 9.5f);
        g.setColour (Palette::coral);
        g.drawRoundedRectangle (pill.reduced (0.5f), 9.0f, 1.0f);

        // A small screen with a play mark, then the word.
        const juce::Rectangle<float> screen (6.0f, 5.5f, 11.0f, 9.0f);
        g.fillRoundedRectangle (screen, 2.2f);
        g.setColour (Palette::ink);
        g.fillPath (playTriangle (screen.reduced (3.6f, 2.4f).translated (0.4f, 0.0f)));

        g.setColour (Palette::peach);
        g.setFont (fonts.make (fonts.condensedBold, 10.0f, 0.04f));
        g.drawText ("TV", juce::Rectangle<float> (18.0f, 0.5f, 26.0f, 19.0f), juce::Justification::centred, false);

        return image;
    }

    bool writePng (const juce::Image& image, const juce::File& file)
    {
        file.deleteFile();
        juce::FileOutputStream out (file);
        juce::PNGImageFormat png;

        if (! out.openedOk() || ! png.writeImageToStream (image, out))
        {
            std::cerr << "could not write " << file.getFullPathName() << '\n';
            return false;
        }

        std::cout << file.getFileName() << ": " << image.getWidth() << " x " << image.getHeight()
                  << (image.hasAlphaChannel() ? " RGBA" : " RGB") << '\n';
        return true;
    }
}

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::cerr << "usage: " << argv[0] << " <output-directory>\n";
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI framework;

    const juce::File outDir (juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]));
    outDir.createDirectory();

    const Fonts fonts;

    const bool ok = writePng (drawArrowButton (false), outDir.getChildFile ("preset-previous.png"))
                 && writePng (drawArrowButton (true), outDir.getChildFile ("preset-next.png"))
                 && writePng (drawBackground (fonts), outDir.getChildFile ("background.png"))
                 && writePng (drawKnobStrip (31, 64), outDir.getChildFile ("knob-strip.png"))
                 && writePng (drawPlaylistButton (fonts), outDir.getChildFile ("playlist-button.png"))
                 && writePng (drawChannelButton (fonts), outDir.getChildFile ("channel-button.png"));

    return ok ? 0 : 1;
}
