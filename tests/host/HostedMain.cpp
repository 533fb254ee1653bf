#include "HostedPlugin.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

// The plug-ins are hosted on this thread, which doubles as the message thread,
// as in a DAW's main thread.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    for (int i = 1; i + 1 < argc; ++i)
    {
        const juce::String arg (argv[i]);

        if (arg == "--vst3")
            hosted::setBundlePath (hosted::Format::vst3, argv[++i]);
        else if (arg == "--lv2")
            hosted::setBundlePath (hosted::Format::lv2, argv[++i]);
    }

    // A DAW links Xlib for good, makes it thread-safe before anything opens a
    // display, and installs an X error handler; the framework does the last
    // two only for its own applications, not for a console program like this.
    // Without them a plug-in's window thread or an X error from a window
    // manager hint that Xvfb lacks would take the whole test down.
    auto* xlib = dlopen ("libX11.so.6", RTLD_NOW | RTLD_GLOBAL);

    if (xlib != nullptr)
    {
        using InitThreads = int (*)();
        using ErrorHandler = int (*) (void*, void*);
        using SetErrorHandler = ErrorHandler (*) (ErrorHandler);

        if (auto initThreads = reinterpret_cast<InitThreads> (dlsym (xlib, "XInitThreads")))
            initThreads();

        if (auto setErrorHandler = reinterpret_cast<SetErrorHandler> (dlsym (xlib, "XSetErrorHandler")))
            setErrorHandler ([] (void*, void*) { return 0; });
    }

    juce::ScopedJuceInitialiser_GUI framework;
    const auto result = RUN_ALL_TESTS();
    hosted::shutdown();

    if (xlib != nullptr)
        dlclose (xlib);

    return result;
}
