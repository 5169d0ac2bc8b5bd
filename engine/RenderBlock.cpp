// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/RenderBlock.h"


#include "engine/ChaosOscillator.h"
#include "engine/Envelope.h"
#include "engine/Powers.h"

namespace vireon::engine {

void renderBlock(SynthState& state, const AdsrSettings& adsr, float* output,
                 std::uint32_t frameCount) {
    constexpr auto kRelaxed = std::memory_order_relaxed;
    for (; frameCount != 0; --frameCount, ++output) {
        envelopeStep(state, adsr, state.sampleCounter.load(kRelaxed));
        // The envelope step may have restarted the counter for a new attack.
        const std::int32_t sampleCounter = state.sampleCounter.load(kRelaxed);
        const double x = nextSample(state);
        const double level = x * state.envelope.load(kRelaxed);
        if (sampleCounter < kRampSamples) {
            // (sampleCounter / 100, rounded to single precision)^5, rounded to single precision.
            const float ramp = static_cast<float>(rampPower(sampleCounter));
            *output = static_cast<float>(level * ramp);
        } else {
            *output = static_cast<float>(level);
        }
        state.sampleCounter.store(sampleCounter + 1, kRelaxed);
    }
}

}  // namespace vireon::engine
