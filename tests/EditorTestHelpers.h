#pragma once

#include "FilmStripKnob.h"
#include "PluginProcessor.h"
#include "TestHelpers.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <map>
#include <memory>
#include <vector>

namespace grelk_test
{
    // Receives everything the framework logs; these test builds route every
    // assertion and every leak report through it.
    class FrameworkLog final : public juce::Logger
    {
    public:
        void logMessage (const juce::String& message) override
        {
            std::cerr << message << std::endl;

            if (message.contains ("Assertion failure") || message.contains ("Leaked objects"))
                ++count;
        }

        int complaints() const { return count.load(); }

    private:
        std::atomic<int> count { 0 };
    };

    FrameworkLog& frameworkLog();

    // Every editor test also fails when the framework asserted while it ran.
    class EditorTest : public ::testing::Test
    {
    protected:
        void SetUp() override { complaintsBefore = frameworkLog().complaints(); }

        void TearDown() override
        {
            EXPECT_EQ (frameworkLog().complaints(), complaintsBefore) << "the framework asserted during the test";
        }

    private:
        int complaintsBefore = 0;
    };

    inline void pumpMessages (int milliseconds = 30)
    {
        juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
    }

    // Opens the processor's editor the way a host does: asks for it, puts it
    // in a window, and deletes it when the view closes.
    class OpenEditor
    {
    public:
        explicit OpenEditor (juce::AudioProcessor& p)
            : processor (p), editor (p.createEditorIfNeeded())
        {
            if (editor != nullptr)
            {
                editor->addToDesktop (0);
                editor->setVisible (true);
            }
        }

        ~OpenEditor()
        {
            if (editor != nullptr)
                processor.editorBeingDeleted (editor.get());
        }

        juce::AudioProcessorEditor& operator*() const { return *editor; }
        juce::AudioProcessorEditor* operator->() const { return editor.get(); }
        juce::AudioProcessorEditor* get() const { return editor.get(); }

    private:
        juce::AudioProcessor& processor;
        std::unique_ptr<juce::AudioProcessorEditor> editor;
    };

    inline const std::vector<juce::String>& allParameterIds()
    {
        static const std::vector<juce::String> ids { "noise", "bite", "suck", "wobble", "depth", "rate", "depthMod" };
        return ids;
    }

    // The five stored parameters, given in the knobs' on-screen order.
    inline void setStored (juce::AudioProcessor& processor, float noise, float bite, float wobble, float suck, float depth)
    {
        setPlain (processor, "noise", noise);
        setPlain (processor, "bite", bite);
        setPlain (processor, "wobble", wobble);
        setPlain (processor, "suck", suck);
        setPlain (processor, "depth", depth);
    }

    inline std::map<juce::String, float> allValues (juce::AudioProcessor& processor)
    {
        std::map<juce::String, float> values;

        for (const auto& id : allParameterIds())
            values[id] = getPlain (processor, id);

        return values;
    }

    // The editor's controls, found the way a user sees them: the knobs left to
    // right, the image buttons by the picture they show.
    struct EditorControls
    {
        std::vector<FilmStripKnob*> knobs; // noise, bite, wobble, suck, depth
        juce::ComboBox* presetBox = nullptr;
        std::vector<juce::ImageButton*> imageButtons;

        FilmStripKnob& noise() const  { return *knobs.at (0); }
        FilmStripKnob& bite() const   { return *knobs.at (1); }
        FilmStripKnob& wobble() const { return *knobs.at (2); }
        FilmStripKnob& suck() const   { return *knobs.at (3); }
        FilmStripKnob& depth() const  { return *knobs.at (4); }

        juce::ImageButton* buttonShowing (const juce::Image& picture) const
        {
            for (auto* b : imageButtons)
                if (b->getNormalImage() == picture)
                    return b;

            return nullptr;
        }
    };

    inline EditorControls findControls (juce::Component& editor)
    {
        EditorControls controls;

        for (auto* child : editor.getChildren())
        {
            if (auto* knob = dynamic_cast<FilmStripKnob*> (child))
                controls.knobs.push_back (knob);
            else if (auto* box = dynamic_cast<juce::ComboBox*> (child))
                controls.presetBox = box;
            else if (auto* button = dynamic_cast<juce::ImageButton*> (child))
                controls.imageButtons.push_back (button);
        }

        std::sort (controls.knobs.begin(), controls.knobs.end(),
                   [] (auto* a, auto* b) { return a->getX() < b->getX(); });
        return controls;
    }

    //==============================================================================
    inline juce::MouseEvent mouseEventAt (juce::Component& target, juce::Point<float> position,
                                          juce::Point<float> downPosition, int clicks, bool dragged)
    {
        const auto now = juce::Time::getCurrentTime();
        return { juce::Desktop::getInstance().getMainMouseSource(), position,
                 juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier),
                 juce::MouseInputSource::defaultPressure, 0.0f, 0.0f, 0.0f, 0.0f,
                 &target, &target, now, downPosition, now, clicks, dragged };
    }

    inline void doubleClick (juce::Component& target)
    {
        const auto centre = target.getLocalBounds().getCentre().toFloat();
        target.mouseDoubleClick (mouseEventAt (target, centre, centre, 2, false));
    }

    // A press in the middle, a drag by (dx, dy) pixels, and the release.
    inline void drag (juce::Component& target, float dx, float dy)
    {
        const auto start = target.getLocalBounds().getCentre().toFloat();
        const auto end = start.translated (dx, dy);
        target.mouseDown (mouseEventAt (target, start, start, 1, false));
        target.mouseDrag (mouseEventAt (target, end, start, 1, true));
        target.mouseUp (mouseEventAt (target, end, start, 1, true));
    }

    //==============================================================================
    inline int countDifferentPixels (const juce::Image& a, const juce::Image& b)
    {
        if (a.getBounds() != b.getBounds())
            return a.getWidth() * a.getHeight() + 1;

        int different = 0;

        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (a.getPixelAt (x, y).getARGB() != b.getPixelAt (x, y).getARGB())
                    ++different;

        return different;
    }

    // The framework's splash overlay fades out on a timer of its own; hiding
    // it keeps pictures of the window repeatable.
    inline void hideFrameworkSplash (juce::Component& editor)
    {
        for (auto* child : editor.getChildren())
            if (dynamic_cast<juce::JUCESplashScreen*> (child) != nullptr)
                child->setVisible (false);
    }

    inline juce::Image snapshot (juce::Component& component)
    {
        return component.createComponentSnapshot (component.getLocalBounds(), true, 1.0f);
    }
}
