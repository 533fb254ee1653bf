#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace grelk_test
{
    // The block arithmetic written out sample by sample, with the library
    // sine for every sample and the noise drawn (by the framework's own
    // generator) and added whatever its gain. The processor takes shortcuts;
    // its output must still match this bit for bit, down to the sign of a zero.
    class PlainBlockProcessing
    {
    public:
        struct Settings
        {
            float noise, suck, wobble, depth;
            double sampleRate;
            juce::int64 seed;
        };

        void process (juce::AudioBuffer<float>& host, const Settings& settings)
        {
            juce::ScopedNoDenormals noDenormals;
            const auto n = host.getNumSamples();

            previousFrequency = frequency;
            frequency = settings.wobble * 20.0f;
            depth = settings.depth;

            if (previousFrequency != frequency)
                counter = static_cast<std::uint64_t> ((previousFrequency / frequency) * static_cast<float> (counter));

            if (static_cast<int> (work[0].size()) != n)
                for (auto& channel : work)
                    channel.assign (static_cast<size_t> (n), 0.0f);

            if (n == 0)
                return;

            for (int ch = 0; ch < juce::jmin (2, host.getNumChannels()); ++ch)
                for (int i = 0; i < n; ++i)
                    work[(size_t) ch][(size_t) i] = host.getSample (ch, i);

            const auto gain = juce::jlimit (0.0f, 1.0f, noiseGain (settings.noise));
            const auto deviates = standardNormal (n, settings.seed);

            for (auto& channel : work)
                for (int i = 0; i < n; ++i)
                    channel[(size_t) i] = channel[(size_t) i] + (0.0f + deviates[(size_t) i] * gain);

            for (auto& channel : work)
                holdAndWobble (channel, static_cast<int> (settings.suck), settings.sampleRate);

            for (int ch = 0; ch < juce::jmin (2, host.getNumChannels()); ++ch)
                for (int i = 0; i < n; ++i)
                    host.setSample (ch, i, work[(size_t) ch][(size_t) i]);
        }

    private:
        // -120 dB at 0 up to 0 dB at 100, silent at -100 dB and below.
        static float noiseGain (float noise)
        {
            const auto levelDb = juce::jlimit (-120.0f, 0.0f, noise / 100.0f * 120.0f - 120.0f);
            return levelDb > -100.0f ? std::pow (10.0f, levelDb * 0.05f) : 0.0f;
        }

        // Box-Muller in pairs, cosine half first; a zero first draw would
        // make the logarithm infinite, so the pair is drawn again.
        static std::vector<float> standardNormal (int n, juce::int64 seed)
        {
            juce::Random random (seed);
            std::vector<float> values;

            for (int i = 0; i < n; i += 2)
            {
                float u1, u2;

                do
                {
                    u1 = random.nextFloat();
                    u2 = random.nextFloat();
                }
                while (u1 <= 1.17549435e-38f);

                const auto radius = std::sqrt (-2.0f * std::log (u1));
                const auto theta = u2 * 6.2831855f;
                values.push_back (radius * std::cos (theta));

                if (i + 1 < n)
                    values.push_back (radius * std::sin (theta));
            }

            return values;
        }

        void holdAndWobble (std::vector<float>& samples, int holdFactor, double sampleRate)
        {
            for (size_t i = 0; i < samples.size(); ++i)
            {
                const auto r = i % (size_t) holdFactor;
                if (holdFactor >= 2 && r != 0)
                    samples[i] = samples[i - r];

                if (static_cast<double> (counter) >= sampleRate / static_cast<double> (frequency))
                    counter = 0;

                const auto q = static_cast<double> (frequency) / sampleRate;
                auto theta = static_cast<double> (counter) * q;
                theta = theta * 2.0;
                theta = theta * static_cast<double> (3.14159274f);
                const auto gain = 1.0 - (0.5 + std::sin (theta) * 0.5) * static_cast<double> (depth);
                samples[i] = static_cast<float> (static_cast<double> (samples[i]) * gain);

                ++counter;
            }
        }

        std::vector<float> work[2];
        std::uint64_t counter = 0;
        float previousFrequency = 0.0f, frequency = 12.0f, depth = 1.0f;
    };
}
