#include "EditorTestHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// Last: Xlib's macros would clash with the headers above.
#include <X11/Xlib.h>

namespace grelk_test
{
    FrameworkLog& frameworkLog()
    {
        // Never destroyed: the leak detector reports from static destructors,
        // after main has returned, and must still find it.
        static auto* log = new FrameworkLog();
        return *log;
    }
}

namespace
{
    // Runs after the leak detector's counters have been destroyed (they are
    // created later than this is registered), so a leak reported there fails
    // the process even though every test has already passed.
    void failIfTheFrameworkComplained()
    {
        const auto complaints = grelk_test::frameworkLog().complaints();

        if (complaints > 0)
        {
            std::fprintf (stderr, "FAILED: the framework reported %d assertion(s) or leak(s); see the log above\n", complaints);
            std::_Exit (EXIT_FAILURE);
        }
    }

    // A private X server, so the tests need no display and parallel test
    // processes never share one. Xvfb picks a free display number itself, and
    // -terminate ends it when its last client goes, even if this process dies.
    class PrivateDisplay
    {
    public:
        bool start()
        {
            if (! server.start ("Xvfb -displayfd 1 -terminate -screen 0 1024x768x24 -nolisten tcp", juce::ChildProcess::wantStdOut))
                return false;

            juce::String number;
            char c = 0;

            while (server.readProcessOutput (&c, 1) == 1 && c != '\n')
                number << juce::String::charToString ((juce::juce_wchar) (juce::uint8) c);

            if (number.trim().isEmpty())
                return false;

            setenv ("DISPLAY", (":" + number.trim()).toRawUTF8(), 1);
            connection = XOpenDisplay (nullptr);

            if (connection == nullptr)
                return false;

            internWindowManagerAtoms();
            return true;
        }

        ~PrivateDisplay()
        {
            if (connection != nullptr)
                XCloseDisplay (connection);

            server.kill();
        }

    private:
        // A desktop's window manager creates these; the framework's plug-in
        // windows set properties on them and, in a plug-in, leave X errors to
        // the host, whose absence here would end the process. The connection
        // stays open so the server keeps them.
        void internWindowManagerAtoms()
        {
            const char* names[] { "WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "WM_CHANGE_STATE", "WM_STATE",
                                  "_NET_WM_PING", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_STATE",
                                  "_NET_WM_STATE_HIDDEN", "_NET_WM_ALLOWED_ACTIONS", "_MOTIF_WM_HINTS" };
            constexpr int count = (int) (sizeof (names) / sizeof (names[0]));
            Atom atoms[count] {};
            XInternAtoms (connection, const_cast<char**> (names), count, False, atoms);
            XSync (connection, False);
        }

        juce::ChildProcess server;
        Display* connection = nullptr;
    };
}

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    juce::Logger::setCurrentLogger (&grelk_test::frameworkLog());
    std::atexit (failIfTheFrameworkComplained);

    if (::testing::GTEST_FLAG (list_tests))
        return RUN_ALL_TESTS();

    PrivateDisplay display;

    if (! display.start())
    {
        std::fprintf (stderr, "could not start Xvfb (Debian: xvfb)\n");
        return EXIT_FAILURE;
    }

    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI framework;
        result = RUN_ALL_TESTS();
    }

    return result;
}
