#include "NoiseGenerator.h"
#include "PlainBlockProcessing.h"
#include "ProcessingHelpers.h"

#include <benchmark/benchmark.h>
#include <juce_events/juce_events.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>

using namespace grelk_test;

namespace
{
    constexpr double sampleRate = 48000.0;
    constexpr int floorFrames = 512;

    struct Case
    {
        int blockSize;
        bool fullNoise;  // "noise" 100 rather than its default
        float suck;
    };

    Case caseFrom (const benchmark::State& state)
    {
        return { static_cast<int> (state.range (0)), state.range (1) != 0, static_cast<float> (state.range (2)) };
    }

    juce::AudioBuffer<float> testSignal (int numSamples)
    {
        return makeBlock (2, numSamples, [] (int i) { return 0.5f * std::sin (0.0577f * static_cast<float> (i)) + 0.01f; });
    }

    void setCounters (benchmark::State& state, int framesPerIteration)
    {
        const auto frames = static_cast<double> (framesPerIteration);
        state.counters["ns_per_frame"] = benchmark::Counter (frames * 1.0e-9,
                                                             benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
        state.counters["rt_factor"] = benchmark::Counter (frames / sampleRate, benchmark::Counter::kIsIterationInvariantRate);
    }

    // The transcendental work the plain arithmetic does per stereo frame: two
    // double-precision sines (one per work channel) and half a
    // single-precision Box-Muller pair (the generator's draws, logarithm,
    // square root and sine-and-cosine), interleaved so that the processor can
    // overlap them, and nothing else.
    void Floor (benchmark::State& state)
    {
        const auto cyclesPerSample = static_cast<double> (0.01f * 20.0f) / sampleRate;
        double counter = 0.0;
        float pair[2];
        juce::int64 seed = 0;

        for (auto _ : state)
        {
            double sines = 0.0;
            float deviates = 0.0f;

            for (int i = 0; i < floorFrames; ++i)
            {
                sines += std::sin (counter * cyclesPerSample * 2.0 * static_cast<double> (3.14159274f));
                sines += std::sin ((counter + 512.0) * cyclesPerSample * 2.0 * static_cast<double> (3.14159274f));
                counter = counter + 1.0 < 240000.0 ? counter + 1.0 : 0.0;

                if (i % 2 == 1)
                {
                    NoiseGenerator::fillStandardNormal (pair, 2, seed++ % 1000);
                    deviates += pair[0] + pair[1];
                }
            }

            benchmark::DoNotOptimize (sines);
            benchmark::DoNotOptimize (deviates);
        }

        setCounters (state, floorFrames);
    }

    // The noise alone: 512 standard-normal values, as a block draws them.
    void NoiseGeneration (benchmark::State& state)
    {
        std::vector<float> values (floorFrames);
        juce::int64 seed = 0;

        for (auto _ : state)
        {
            NoiseGenerator::fillStandardNormal (values.data(), floorFrames, seed++ % 1000);
            benchmark::DoNotOptimize (values.data());
        }

        setCounters (state, floorFrames);
    }

    void configure (juce::AudioProcessor& processor, const Case& c)
    {
        setPlain (processor, "noise", c.fullNoise ? 100.0f : 0.15f);
        setPlain (processor, "suck", c.suck);
        prepare (processor, sampleRate, c.blockSize);
    }

    void ProcessBlock (benchmark::State& state)
    {
        const auto c = caseFrom (state);
        auto processor = createProcessor();
        configure (*processor, c);

        const auto input = testSignal (c.blockSize);
        juce::AudioBuffer<float> buffer (2, c.blockSize);
        juce::MidiBuffer midi;

        for (auto _ : state)
        {
            buffer.makeCopyOf (input, true);
            processor->processBlock (buffer, midi);
            benchmark::DoNotOptimize (buffer.getReadPointer (1));
        }

        setCounters (state, c.blockSize);
    }

    // The arithmetic written out plainly, with a fresh noise array per block.
    void Plain (benchmark::State& state)
    {
        const auto c = caseFrom (state);
        auto processor = createProcessor();
        configure (*processor, c);
        const PlainBlockProcessing::Settings settings { getPlain (*processor, "noise"), getPlain (*processor, "suck"),
                                                        getPlain (*processor, "wobble"), getPlain (*processor, "depth"),
                                                        sampleRate, 0 };
        PlainBlockProcessing plain;

        const auto input = testSignal (c.blockSize);
        juce::AudioBuffer<float> buffer (2, c.blockSize);

        for (auto _ : state)
        {
            buffer.makeCopyOf (input, true);
            plain.process (buffer, settings);
            benchmark::DoNotOptimize (buffer.getReadPointer (1));
        }

        setCounters (state, c.blockSize);
    }

    void allCases (benchmark::internal::Benchmark* b)
    {
        b->ArgNames ({ "block", "noise100", "suck" });
        for (int block : { 64, 512, 4096 })
            for (int fullNoise : { 0, 1 })
                for (int suck : { 1, 50 })
                    b->Args ({ block, fullNoise, suck });
    }

    // Before timing anything: the processor's output over many blocks must be
    // bit for bit that of the plain arithmetic, for every case measured.
    bool outputMatchesPlainArithmetic()
    {
        for (int block : { 64, 512, 4096 })
            for (bool fullNoise : { false, true })
                for (float suck : { 1.0f, 50.0f })
                {
                    auto processor = createProcessor();
                    configure (*processor, { block, fullNoise, suck });
                    asGrelk (*processor).setNoiseSeedForTesting (77);
                    const PlainBlockProcessing::Settings settings { getPlain (*processor, "noise"), suck,
                                                                    getPlain (*processor, "wobble"), getPlain (*processor, "depth"),
                                                                    sampleRate, 77 };
                    PlainBlockProcessing plain;

                    for (int i = 0; i < 2 * 240000 / block + 3; ++i)
                    {
                        auto ours = testSignal (block);
                        auto theirs = ours;
                        process (*processor, ours);
                        plain.process (theirs, settings);

                        for (int ch = 0; ch < 2; ++ch)
                            if (std::memcmp (ours.getReadPointer (ch), theirs.getReadPointer (ch), sizeof (float) * (size_t) block) != 0)
                                return false;
                    }
                }

        return true;
    }

    // Prints the usual table, then each case's time per frame as a multiple
    // of the floor measured in the same run (the median when the run has
    // repetitions).
    class RatioReporter : public benchmark::ConsoleReporter
    {
    public:
        void ReportRuns (const std::vector<Run>& runs) override
        {
            ConsoleReporter::ReportRuns (runs);

            for (const auto& run : runs)
            {
                if (run.error_occurred)
                    continue;

                const auto isMedian = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
                const auto name = run.run_name.str();

                if (isMedian || (run.run_type == Run::RT_Iteration && medians.count (name) == 0))
                    nsPerFrame[name] = run.counters.at ("ns_per_frame").value;

                if (isMedian)
                    medians.insert (name);
            }
        }

        void printSummary() const
        {
            const auto floorIt = nsPerFrame.find ("Floor");
            if (floorIt == nsPerFrame.end())
                return;

            std::printf ("\n%-44s %12s %12s %10s\n", "case", "ns/frame", "x realtime", "x floor");
            for (const auto& [name, ns] : nsPerFrame)
                std::printf ("%-44s %12.2f %12.0f %10.3f\n", name.c_str(), ns, 1.0e9 / (ns * sampleRate), ns / floorIt->second);
        }

    private:
        std::map<std::string, double> nsPerFrame;
        std::set<std::string> medians;
    };
}

BENCHMARK (Floor);
BENCHMARK (NoiseGeneration);
BENCHMARK (ProcessBlock)->Apply (allCases);
BENCHMARK (Plain)->Apply (allCases);

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI framework;

    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    const auto exact = outputMatchesPlainArithmetic();
    std::printf ("Output bit-identical to the plain arithmetic: %s\n", exact ? "yes" : "NO");

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    reporter.printSummary();
    benchmark::Shutdown();

    return exact ? 0 : 1;
}
