#include "HostedPlugin.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
    // A DAW links Xlib and the extensions the framework uses for its whole
    // life, makes Xlib thread-safe before anything opens a display, and
    // installs an X error handler. The framework does the last two only for
    // its own applications, and loads and unloads the libraries on demand in
    // each plug-in: without this a plug-in's window thread, an X error from a
    // window-manager hint that Xvfb lacks, or extension data orphaned by an
    // unloaded library would upset the run.
    void holdXlibLikeADaw()
    {
        std::vector<void*> held;

        for (auto* name : { "libX11.so.6", "libXext.so.6", "libXcursor.so.1", "libXinerama.so.1", "libXrender.so.1", "libXrandr.so.2" })
            if (auto* lib = dlopen (name, RTLD_NOW | RTLD_GLOBAL))
                held.push_back (lib);

        if (! held.empty())
        {
            using InitThreads = int (*)();
            using ErrorHandler = int (*) (void*, void*);
            using SetErrorHandler = ErrorHandler (*) (ErrorHandler);

            if (auto initThreads = reinterpret_cast<InitThreads> (dlsym (held.front(), "XInitThreads")))
                initThreads();

            if (auto setErrorHandler = reinterpret_cast<SetErrorHandler> (dlsym (held.front(), "XSetErrorHandler")))
                setErrorHandler ([] (void*, void*) { return 0; });
        }
    }

    // LV2 hosts find bundles in ~/.lv2. A private home holding only the bundle
    // under test keeps installed copies out; searching an extra path instead
    // would make the framework load its LV2 world twice, which leaks.
    std::filesystem::path makePrivateHome (const std::filesystem::path& lv2Bundle)
    {
        const auto home = std::filesystem::temp_directory_path() / ("grelk-host-tests-" + std::to_string (getpid()));
        std::filesystem::remove_all (home);
        std::filesystem::create_directories (home / ".lv2");
        std::filesystem::create_directory_symlink (std::filesystem::absolute (lv2Bundle), home / ".lv2" / "Grelk.lv2");
        setenv ("HOME", home.c_str(), 1);
        return home;
    }
}

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

    holdXlibLikeADaw();
    const auto home = makePrivateHome (hosted::getBundlePath (hosted::Format::lv2).getFullPathName().toStdString());

    int result = 0;

    {
        juce::ScopedJuceInitialiser_GUI framework;
        result = RUN_ALL_TESTS();
        hosted::shutdown();
    }

    std::filesystem::remove_all (home);
    return result;
}
