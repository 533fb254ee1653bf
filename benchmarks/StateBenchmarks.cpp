#include "StateBlobs.h"
#include "TestHelpers.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <functional>
#include <string>

using namespace grelk_test;

// How long one restore takes on the slowest inputs we know of, at the
// largest size a state may have and far beyond it. The host waits for every
// restore, on its message thread or a loading thread, so none may take long.
namespace
{
    constexpr size_t kib = 1024, mib = 1024 * kib;

    void restore (benchmark::State& state, const std::vector<unsigned char>& blob)
    {
        auto processor = createProcessor();

        for (auto _ : state)
            processor->setStateInformation (blob.data(), (int) blob.size());

        state.counters["bytes"] = (double) blob.size();
    }

    void add (const std::string& name, std::function<std::string()> makeText)
    {
        benchmark::RegisterBenchmark (("Restore/" + name).c_str(), [makeText] (benchmark::State& state) {
            restore (state, makeBlob (makeText()));
        })->Unit (benchmark::kMillisecond);
    }

    void registerAll()
    {
        for (const auto bytes : { 32 * kib, 1 * mib, 8 * mib, 32 * mib })
        {
            const auto size = std::to_string (bytes / kib) + "KiB";
            add ("characterReferences/" + size, [=] { return slowStates::characterReferences (bytes); });
            add ("brokenReferences/" + size, [=] { return slowStates::brokenReferences (bytes); });
            add ("longText/" + size, [=] { return slowStates::longText (bytes); });
            add ("textSections/" + size, [=] { return slowStates::textSections (bytes); });
            add ("unclosedEndTags/" + size, [=] { return slowStates::unclosedEndTags (512, bytes); });
        }

        // The most a state may hold (the parameters' own elements and
        // attributes included), and far more.
        for (const auto count : { 4086, 100000 })
            add ("manyAttributes/" + std::to_string (count), [=] { return slowStates::manyAttributes (count); });

        for (const auto count : { 506, 100000 })
            add ("manyChildren/" + std::to_string (count), [=] { return slowStates::manyChildren (count); });

        // The same size refused at once by its first bytes, for comparison.
        benchmark::RegisterBenchmark ("Restore/wrongMagic/8192KiB", [] (benchmark::State& state) {
            auto blob = makeBlob (slowStates::characterReferences (8 * mib));
            blob[0] ^= 0xff;
            restore (state, blob);
        })->Unit (benchmark::kMillisecond);
    }
}

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI framework;

    registerAll();
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
