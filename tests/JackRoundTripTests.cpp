#include "TestHelpers.h"

#include <gtest/gtest.h>
#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_utils/juce_audio_utils.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{
    constexpr int sampleRate = 48000;
    constexpr int blockSize = 256;
    constexpr int blocksToCompare = 200;

    // The framework names its JACK client after the product, as the
    // Standalone appears in a patchbay.
    constexpr const char* processorClient = "Grelk";

    // A JACK server of the test's own on the dummy driver: no sound card and
    // no realtime rights needed, and a private name, so that no other server
    // is touched. Synchronous, with a long client timeout: on a loaded
    // machine a cycle comes late (an xrun) but still runs every client, where
    // the asynchronous mode may skip the tap's part of one.
    class JackServer
    {
    public:
        JackServer (const std::string& name, const juce::File& logFile) : log (logFile)
        {
            const std::vector<std::string> args { "jackd", "--no-realtime", "--sync", "--name", name, "--timeout", "10000",
                                                  "-d", "dummy", "--rate", std::to_string (sampleRate),
                                                  "--period", std::to_string (blockSize) };
            std::vector<char*> argv;
            for (const auto& a : args)
                argv.push_back (const_cast<char*> (a.c_str()));
            argv.push_back (nullptr);

            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init (&actions);
            posix_spawn_file_actions_addopen (&actions, 1, log.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_adddup2 (&actions, 1, 2);
            spawnError = posix_spawnp (&pid, "jackd", &actions, nullptr, argv.data(), environ);
            posix_spawn_file_actions_destroy (&actions);

            if (spawnError != 0)
                pid = 0;
        }

        ~JackServer()
        {
            if (! isRunning())
                return;

            // SIGTERM lets the server remove its shared memory and sockets.
            kill (pid, SIGTERM);

            for (int i = 0; i < 100 && isRunning(); ++i)
                std::this_thread::sleep_for (std::chrono::milliseconds (50));

            if (isRunning())
            {
                kill (pid, SIGKILL);
                waitpid (pid, nullptr, 0);
            }
        }

        bool isRunning()
        {
            if (pid <= 0)
                return false;

            if (waitpid (pid, nullptr, WNOHANG) == 0)
                return true;

            pid = 0;
            return false;
        }

        std::string whyNotRunning() const
        {
            if (spawnError != 0)
                return std::string ("jackd could not be run (") + std::strerror (spawnError) + "; Debian: jackd2)";

            return "jackd stopped:\n" + log.loadFileAsString().toStdString();
        }

    private:
        juce::File log;
        pid_t pid = 0;
        int spawnError = 0;
    };

    // Keeps the first samples of a stereo stream, from its first non-zero
    // sample on when asked to (what flowed before the processor started is
    // silence).
    struct StereoRecording
    {
        explicit StereoRecording (bool fromFirstSound) : waitForSound (fromFirstSound)
        {
            for (auto& c : channels)
                c.reserve (capacity);
        }

        void add (const float* const* data, int numSamples)
        {
            auto start = 0;

            if (waitForSound)
            {
                while (start < numSamples && data[0][start] == 0.0f)
                    ++start;

                waitForSound = start == numSamples;
            }

            const auto count = juce::jmin (numSamples - start, static_cast<int> (capacity - channels[0].size()));

            for (size_t c = 0; c < 2; ++c)
                channels[c].insert (channels[c].end(), data[c] + start, data[c] + start + count);

            recorded.store (channels[0].size());
        }

        bool full() const { return recorded.load() == capacity; }

        static constexpr size_t capacity = static_cast<size_t> (blocksToCompare * blockSize);
        std::vector<float> channels[2];
        std::atomic<size_t> recorded { 0 };
        bool waitForSound;
    };

    // The Standalone's path: the device drives an AudioProcessorPlayer that
    // holds the processor. Records what goes out to JACK.
    struct ProcessorCallback final : juce::AudioIODeviceCallback
    {
        explicit ProcessorCallback (juce::AudioProcessorPlayer& p) : player (p) {}

        void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs, float* const* outputs, int numOutputs,
                                               int numSamples, const juce::AudioIODeviceCallbackContext& context) override
        {
            player.audioDeviceIOCallbackWithContext (inputs, numInputs, outputs, numOutputs, numSamples, context);

            if (numSamples != blockSize || numOutputs != 2)
                ++unexpectedBlocks;
            else if (! produced.full())
                produced.add (outputs, numSamples);

            ++blocks;
        }

        void audioDeviceAboutToStart (juce::AudioIODevice* device) override { player.audioDeviceAboutToStart (device); }
        void audioDeviceStopped() override { player.audioDeviceStopped(); }

        juce::AudioProcessorPlayer& player;
        StereoRecording produced { false };
        std::atomic<int> blocks { 0 }, unexpectedBlocks { 0 };
    };

    // Another JACK client, whose inputs are the processor's outputs.
    struct TapCallback final : juce::AudioIODeviceCallback
    {
        void audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs, float* const*, int,
                                               int numSamples, const juce::AudioIODeviceCallbackContext&) override
        {
            if (numInputs == 2 && ! received.full())
                received.add (inputs, numSamples);
        }

        void audioDeviceAboutToStart (juce::AudioIODevice*) override {}
        void audioDeviceStopped() override {}

        StereoRecording received { true };
    };

    juce::BigInteger stereo()
    {
        juce::BigInteger channels;
        channels.setRange (0, 2, true);
        return channels;
    }

    template <typename Condition>
    bool waitFor (Condition&& condition, int seconds, int pollMilliseconds = 20)
    {
        const auto deadline = juce::Time::getMillisecondCounter() + static_cast<juce::uint32> (seconds * 1000);

        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() > deadline)
                return false;

            juce::MessageManager::getInstance()->runDispatchLoopUntil (pollMilliseconds);
        }

        return true;
    }
}

// The Standalone's JACK support, from the shared code it is built on: the
// framework's JACK device type joins a running server and carries what the
// processor makes, bit for bit, to another client.
TEST (JackRoundTrip, ProcessorOutputReachesAnotherClientUnchanged)
{
    const auto serverName = "grelk-test-" + std::to_string (getpid());
    setenv ("JACK_DEFAULT_SERVER", serverName.c_str(), 1);
    setenv ("JACK_NO_AUDIO_RESERVATION", "1", 1);

    JackServer server (serverName, juce::File::getCurrentWorkingDirectory().getChildFile ("jack-server.log"));

    std::unique_ptr<juce::AudioIODeviceType> type (juce::AudioIODeviceType::createAudioIODeviceType_JACK());
    ASSERT_NE (type, nullptr) << "the shared code was built without the framework's JACK support (JUCE_JACK)";

    // The server takes a moment to come up; until it has, the type finds no
    // clients (and libjack says so on the console).
    const auto serverUp = waitFor ([&]
    {
        if (! server.isRunning())
            return true;

        type->scanForDevices();
        return type->getDeviceNames (false).contains ("system");
    }, 20, 250);

    if (! server.isRunning())
        GTEST_SKIP() << "JACK cannot start here: " << server.whyNotRunning();

    ASSERT_TRUE (serverUp) << "jackd runs, but the framework's JACK type finds no 'system' client in it";

    GrelkAudioProcessor processor;
    grelk_test::setPlain (processor, "noise", 100.0f);
    juce::AudioProcessorPlayer player;
    player.setProcessor (&processor);
    ProcessorCallback processorCallback (player);
    TapCallback tapCallback;

    std::unique_ptr<juce::AudioIODevice> device (type->createDevice ("system", "system"));
    ASSERT_NE (device, nullptr);
    ASSERT_EQ (device->open (stereo(), stereo(), sampleRate, blockSize), juce::String());
    EXPECT_EQ (device->getCurrentSampleRate(), sampleRate);
    EXPECT_EQ (device->getCurrentBufferSizeSamples(), blockSize);

    // Opened after the processor's client is active, whose outputs it connects to.
    std::unique_ptr<juce::AudioIODevice> tap (type->createDevice ("system", processorClient));
    ASSERT_NE (tap, nullptr);
    ASSERT_EQ (tap->getInputChannelNames().size(), 2) << "no JACK client named " << processorClient << " with two outputs";
    ASSERT_EQ (tap->open (stereo(), {}, sampleRate, blockSize), juce::String());
    tap->start (&tapCallback);

    const auto started = std::chrono::steady_clock::now();
    device->start (&processorCallback);
    const auto complete = waitFor ([&] { return processorCallback.produced.full() && tapCallback.received.full(); }, 60);
    device->stop();
    const auto seconds = std::chrono::duration<double> (std::chrono::steady_clock::now() - started).count();
    tap->stop();

    std::cout << "JACK: " << processorCallback.blocks.load() << " blocks of " << device->getCurrentBufferSizeSamples()
              << " samples at " << device->getCurrentSampleRate() << " Hz in " << seconds << " s, "
              << device->getXRunCount() << " xruns; compared the first " << StereoRecording::capacity << " samples" << std::endl;

    tap->close();
    device->close();

    ASSERT_TRUE (complete) << "after " << seconds << " s the processor made " << processorCallback.produced.recorded.load()
                           << " samples and the other client received " << tapCallback.received.recorded.load();
    EXPECT_EQ (processorCallback.unexpectedBlocks.load(), 0);

    for (size_t c = 0; c < 2; ++c)
    {
        const auto& made = processorCallback.produced.channels[c];
        const auto& received = tapCallback.received.channels[c];
        const auto difference = std::mismatch (made.begin(), made.end(), received.begin());
        EXPECT_TRUE (difference.first == made.end())
            << "channel " << c << " differs first at sample " << (difference.first - made.begin());
    }
}
