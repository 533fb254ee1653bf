#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

// Value-tree states, attachments and timers expect a running message manager,
// as they have in a host.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI framework;
    return RUN_ALL_TESTS();
}
