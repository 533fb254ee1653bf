#include "EditorTestHelpers.h"
#include "PluginEditor.h"

#include <BinaryData.h>

#include <array>
#include <cstdlib>

namespace
{
    using grelk_test::EditorTest;
    using grelk_test::getPlain;
    using grelk_test::setPlain;

    // What each preset leaves in noise, bite, wobble, suck, depth. Suck
    // values beyond the knob's 50 land on 50.
    const std::array<std::array<float, 5>, 6> storedByPreset { {
        { 0.0f,  2.0f,  0.5f,  1.0f,  0.5f },
        { 0.0f,  8.0f,  0.8f,  50.0f, 0.9f },
        { 25.0f, 24.0f, 0.1f,  50.0f, 0.1f },
        { 55.0f, 32.0f, 0.01f, 35.0f, 0.3f },
        { 65.0f, 8.0f,  0.6f,  35.0f, 0.9f },
        { 40.0f, 24.0f, 0.7f,  50.0f, 0.8f },
    } };

    const char* const knobOrder[] { "noise", "bite", "wobble", "suck", "depth" };

    // Values no preset uses, so every knob has to move.
    void setValuesNoPresetHas (juce::AudioProcessor& processor)
    {
        grelk_test::setStored (processor, 99.0f, 3.0f, 0.33f, 2.0f, 0.77f);
    }

    void expectPresetStored (juce::AudioProcessor& processor, int id)
    {
        const auto& expected = storedByPreset.at ((size_t) (id - 1));

        for (size_t i = 0; i < 5; ++i)
            EXPECT_NEAR (getPlain (processor, knobOrder[i]), expected[i], 1e-5f) << "preset " << id << ", " << knobOrder[i];
    }

    void expectExtrasUntouched (juce::AudioProcessor& processor)
    {
        EXPECT_FLOAT_EQ (getPlain (processor, "rate"), 0.6f);
        EXPECT_FLOAT_EQ (getPlain (processor, "depthMod"), 1.0f);
    }

    juce::ImageButton& buttonShowing (const grelk_test::EditorControls& controls, const unsigned char* data, int size)
    {
        auto* button = controls.buttonShowing (juce::ImageCache::getFromMemory (data, size));
        jassert (button != nullptr);
        return *button;
    }

    juce::ImageButton& previousButton (const grelk_test::EditorControls& c) { return buttonShowing (c, BinaryData::temp_binary_data_0, BinaryData::temp_binary_data_0Size); }
    juce::ImageButton& nextButton (const grelk_test::EditorControls& c)     { return buttonShowing (c, BinaryData::temp_binary_data_1, BinaryData::temp_binary_data_1Size); }
    juce::ImageButton& playlistButton (const grelk_test::EditorControls& c) { return buttonShowing (c, BinaryData::temp_binary_data_4, BinaryData::temp_binary_data_4Size); }
    juce::ImageButton& channelButton (const grelk_test::EditorControls& c)  { return buttonShowing (c, BinaryData::temp_binary_data_6, BinaryData::temp_binary_data_6Size); }

    void click (juce::Button& button)
    {
        button.triggerClick();
        grelk_test::pumpMessages (60);
    }

    // A user's choice from the menu: the box posts its change message.
    void choose (juce::ComboBox& box, int id)
    {
        box.setSelectedId (id);
        grelk_test::pumpMessages (60);
    }
}

TEST_F (EditorTest, EachPresetStoresItsValues)
{
    for (int id = 1; id <= 6; ++id)
    {
        auto processor = grelk_test::createProcessor();
        setValuesNoPresetHas (*processor);
        grelk_test::OpenEditor editor (*processor);
        const auto controls = grelk_test::findControls (*editor);

        choose (*controls.presetBox, id);

        EXPECT_EQ (controls.presetBox->getSelectedId(), id);
        expectPresetStored (*processor, id);
        expectExtrasUntouched (*processor);
    }
}

TEST_F (EditorTest, PresetLeavesAParameterAloneWhenItsKnobAlreadyShowsTheValue)
{
    auto processor = grelk_test::createProcessor();
    grelk_test::OpenEditor editor (*processor);
    const auto controls = grelk_test::findControls (*editor);

    // "noise" 0.15 shows as 0, the value of these two presets.
    choose (*controls.presetBox, 1);
    EXPECT_FLOAT_EQ (getPlain (*processor, "noise"), 0.15f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "bite"), 2.0f);

    choose (*controls.presetBox, 2);
    EXPECT_FLOAT_EQ (getPlain (*processor, "noise"), 0.15f);
    EXPECT_FLOAT_EQ (getPlain (*processor, "suck"), 50.0f);
}

TEST_F (EditorTest, PreviousAndNextStepThroughThePresetsAndWrap)
{
    auto processor = grelk_test::createProcessor();
    setValuesNoPresetHas (*processor);

    {
        // Nothing chosen: next gives the second preset.
        grelk_test::OpenEditor editor (*processor);
        const auto controls = grelk_test::findControls (*editor);
        click (nextButton (controls));
        EXPECT_EQ (controls.presetBox->getSelectedId(), 2);
        EXPECT_EQ (controls.presetBox->getText(), "Big & Wobbly");
        expectPresetStored (*processor, 2);
    }

    setValuesNoPresetHas (*processor);
    grelk_test::OpenEditor editor (*processor);
    const auto controls = grelk_test::findControls (*editor);
    auto& box = *controls.presetBox;

    // Nothing chosen: previous gives the last.
    click (previousButton (controls));
    EXPECT_EQ (box.getSelectedId(), 6);
    EXPECT_EQ (box.getText(), "Gnawed & Sore");
    expectPresetStored (*processor, 6);

    click (nextButton (controls));
    EXPECT_EQ (box.getSelectedId(), 1) << "next wraps from the last to the first";
    expectPresetStored (*processor, 1);

    click (previousButton (controls));
    EXPECT_EQ (box.getSelectedId(), 6) << "previous wraps from the first to the last";

    click (previousButton (controls));
    EXPECT_EQ (box.getSelectedId(), 5);
    expectPresetStored (*processor, 5);

    for (int expected : { 6, 1, 2, 3, 4 })
    {
        click (nextButton (controls));
        EXPECT_EQ (box.getSelectedId(), expected);
        expectPresetStored (*processor, expected);
    }

    expectExtrasUntouched (*processor);
}

TEST_F (EditorTest, ChoosingTheChosenPresetAgainChangesNothing)
{
    auto processor = grelk_test::createProcessor();
    grelk_test::OpenEditor editor (*processor);
    const auto controls = grelk_test::findControls (*editor);
    auto& box = *controls.presetBox;

    choose (box, 3);
    expectPresetStored (*processor, 3);

    // Knob moves keep the choice shown and are not undone by choosing it again.
    controls.noise().setValue (10.0, juce::sendNotificationSync);
    grelk_test::pumpMessages();
    EXPECT_EQ (box.getSelectedId(), 3);

    choose (box, 3);
    EXPECT_FLOAT_EQ (getPlain (*processor, "noise"), 10.0f);

    // Clearing the choice applies nothing either.
    choose (box, 0);
    EXPECT_FLOAT_EQ (getPlain (*processor, "noise"), 10.0f);

    // Stepping away and back applies it again.
    choose (box, 3);
    click (nextButton (controls));
    click (previousButton (controls));
    EXPECT_EQ (box.getSelectedId(), 3);
    expectPresetStored (*processor, 3);
}

TEST_F (EditorTest, EachKnobChangesOnlyItsOwnParameter)
{
    auto processor = grelk_test::createProcessor();
    setValuesNoPresetHas (*processor);
    grelk_test::OpenEditor editor (*processor);
    const auto controls = grelk_test::findControls (*editor);

    for (size_t i = 0; i < 5; ++i)
    {
        const auto before = grelk_test::allValues (*processor);
        grelk_test::drag (*controls.knobs[i], 0.0f, -20.0f);
        grelk_test::pumpMessages();
        const auto after = grelk_test::allValues (*processor);

        for (const auto& [id, value] : before)
        {
            if (id == knobOrder[i])
                EXPECT_GT (after.at (id), value) << "dragging up raises " << id;
            else
                EXPECT_EQ (after.at (id), value) << id << " moved with the " << knobOrder[i] << " knob";
        }
    }

    expectExtrasUntouched (*processor);
}

TEST_F (EditorTest, LinkButtonsHandTheirPagesToTheSystemOpener)
{
    // A stand-in for the desktop's opener, first on PATH, that writes down
    // what it was given.
    const auto dir = juce::File::getSpecialLocation (juce::File::tempDirectory)
                         .getNonexistentChildFile ("grelk-opener", {}, false);
    ASSERT_TRUE (dir.createDirectory().wasOk());
    const auto record = dir.getChildFile ("opened.txt");
    const auto opener = dir.getChildFile ("xdg-open");
    ASSERT_TRUE (opener.replaceWithText ("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + record.getFullPathName() + "'\n",
                                         false, false, "\n"));
    ASSERT_TRUE (opener.setExecutePermission (true));

    const juce::String oldPath (std::getenv ("PATH"));
    setenv ("PATH", (dir.getFullPathName() + ":" + oldPath).toRawUTF8(), 1);

    auto processor = grelk_test::createProcessor();
    const auto before = grelk_test::allValues (*processor);
    grelk_test::OpenEditor editor (*processor);
    const auto controls = grelk_test::findControls (*editor);

    // The opener runs in a child process; wait for its line.
    const auto openedPages = [&] (int expectedLines)
    {
        juce::StringArray lines;

        for (int tries = 0; tries < 250 && lines.size() < expectedLines; ++tries)
        {
            grelk_test::pumpMessages (20);
            lines = juce::StringArray::fromLines (record.loadFileAsString().trimEnd());
            lines.removeEmptyStrings();
        }

        return lines;
    };

    playlistButton (controls).triggerClick();
    auto pages = openedPages (1);
    ASSERT_EQ (pages.size(), 1);
    EXPECT_EQ (pages[0], GrelkLinks::playlistPage);

    channelButton (controls).triggerClick();
    pages = openedPages (2);
    ASSERT_EQ (pages.size(), 2);
    EXPECT_EQ (pages[1], GrelkLinks::channelPage);

    EXPECT_EQ (controls.presetBox->getSelectedId(), 0);
    for (const auto& [id, value] : before)
        EXPECT_EQ (getPlain (*processor, id), value) << id;

    // Our own pages: none of the addresses leaves the project's site.
    for (const juce::String page : { GrelkLinks::playlistPage, GrelkLinks::channelPage })
        EXPECT_TRUE (page.startsWith ("https://grelk-audio.github.io/")) << page;

    setenv ("PATH", oldPath.toRawUTF8(), 1);
    dir.deleteRecursively();
}
