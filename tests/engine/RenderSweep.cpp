// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/engine/RenderSweep.h"

#include <algorithm>
#include <bit>

#include "engine/AdsrSettings.h"
#include "engine/ChaosOscillator.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "tests/engine/PortableReference.h"

namespace vireon::test {
namespace {

using Kind = SweepEvent::Kind;

std::uint32_t noteOn(int note, int velocity = 100) {
    return midi::packShortMessage(0x90, static_cast<std::uint8_t>(note),
                                  static_cast<std::uint8_t>(velocity));
}

std::uint32_t noteOff(int note) {
    return midi::packShortMessage(0x80, static_cast<std::uint8_t>(note), 64);
}

// The phrases, each three seconds long.
std::vector<std::vector<SweepEvent>> phrases() {
    std::vector<std::vector<SweepEvent>> all;
    // A held A4 released after two seconds.
    all.push_back({{100, Kind::Message, noteOn(69)}, {16000, Kind::Message, noteOff(69)}});
    // A legato line: overlapping keys change the pitch without restarting the envelope.
    all.push_back({{0, Kind::Message, noteOn(60)},
                   {3000, Kind::Message, noteOn(64)},
                   {3500, Kind::Message, noteOff(60)},
                   {6000, Kind::Message, noteOn(67)},
                   {6100, Kind::Message, noteOff(64)},
                   {12000, Kind::Message, noteOn(72)},
                   {12001, Kind::Message, noteOff(67)},
                   {18000, Kind::Message, noteOff(72)}});
    // Short notes at the keyboard's extremes, retriggered during their releases, a stray
    // note-off before the first note-on and a note-on with velocity 0.
    std::vector<SweepEvent> staccato{{0, Kind::Message, noteOff(50)},
                                     {10, Kind::Message, noteOn(0)},
                                     {2000, Kind::Message, noteOn(0, 0)}};
    const int notes[] = {127, 1, 100, 36, 84, 12, 115, 69};
    for (int i = 0; i < 8; ++i) {
        staccato.push_back({2500 + 2500 * i, Kind::Message, noteOn(notes[i])});
        staccato.push_back({3700 + 2500 * i, Kind::Message, noteOff(notes[i])});
    }
    all.push_back(staccato);
    // A held note whose Havoc and Bedlam move while it sounds, then a device close.
    std::vector<SweepEvent> moving{{0, Kind::Message, noteOn(57)}};
    for (int i = 1; i <= 20; ++i) {
        moving.push_back({1000 * i, Kind::Havoc, static_cast<std::uint32_t>(5 * i)});
        moving.push_back({1000 * i + 500, Kind::Bedlam, static_cast<std::uint32_t>(101 - 5 * i)});
    }
    moving.push_back({21000, Kind::Close, 0});
    all.push_back(moving);
    return all;
}

// A small generator of our own: the standard distributions differ between libraries.
class Lcg {
  public:
    int below(int bound) {
        state_ = state_ * 6364136223846793005u + 1442695040888963407u;
        return static_cast<int>((state_ >> 33) % static_cast<std::uint64_t>(bound));
    }

  private:
    std::uint64_t state_ = 13;
};

}  // namespace

std::vector<SweepCase> sweepCases() {
    const std::vector<std::vector<SweepEvent>> phraseList = phrases();
    const int havocs[] = {0, 1, 10, 20, 30, 45, 60, 80, 100};
    const int bedlams[] = {0, 1, 15, 30, 50, 75, 100};
    const int disorders[] = {-1, 0, 1, 10, 25, 50};
    struct Envelope {
        std::int32_t attack, decay, sustain, release;
    };
    const Envelope envelopes[] = {
        {1, 1000, 50, 1500}, {2000, 5000, 100, 5000}, {944, 10, 0, 1}, {300, 200, 70, 400}};

    std::vector<SweepCase> cases;
    Lcg random;
    for (int i = 0; i < 96; ++i) {
        const Envelope envelope = envelopes[random.below(4)];
        SweepCase c{.name = "",
                    .havoc = havocs[random.below(9)],
                    .bedlam = bedlams[random.below(7)],
                    .disorder = disorders[random.below(6)],
                    .attack = envelope.attack,
                    .decay = envelope.decay,
                    .sustain = envelope.sustain,
                    .release = envelope.release,
                    .events = phraseList[static_cast<std::size_t>(i) % phraseList.size()],
                    .seconds = 3};
        c.name = "phrase" + std::to_string(i % phraseList.size()) + " havoc" +
                 std::to_string(c.havoc) + " bedlam" + std::to_string(c.bedlam) + " disorder" +
                 std::to_string(c.disorder) + " adsr" + std::to_string(c.attack) + "/" +
                 std::to_string(c.decay) + "/" + std::to_string(c.sustain) + "/" +
                 std::to_string(c.release);
        cases.push_back(std::move(c));
    }
    // Long held notes, where the phase climbs far (to about 10^6 cycles in a minute at the
    // start-up settings, past 2^24 at Havoc 100): there a sine that is off by many ulp changes
    // the single-precision phase within seconds, and the chaos carries the change on.
    struct Held {
        int havoc, bedlam, disorder, note;
    };
    const Held held[] = {{0, 0, -1, 69},   {100, 100, 50, 45}, {45, 30, 10, 60},  {50, 1, 0, 72},
                         {60, 50, 25, 33}, {80, 15, 1, 96},    {30, 75, 10, 127}, {45, 100, 50, 0}};
    for (const Held& h : held) {
        cases.push_back({"held minute havoc" + std::to_string(h.havoc) + " bedlam" +
                             std::to_string(h.bedlam) + " disorder" + std::to_string(h.disorder) +
                             " note" + std::to_string(h.note),
                         h.havoc,
                         h.bedlam,
                         h.disorder,
                         1,
                         1000,
                         50,
                         1500,
                         {{0, Kind::Message, noteOn(h.note)}},
                         60});
    }
    return cases;
}

std::vector<float> renderCase(const SweepCase& sweepCase) {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    adsr.attack = sweepCase.attack;
    adsr.decay = sweepCase.decay;
    adsr.sustain = sweepCase.sustain;
    adsr.release = sweepCase.release;
    if (sweepCase.havoc != 0) {
        engine::setHavoc(state, sweepCase.havoc);
    }
    if (sweepCase.bedlam != 0) {
        engine::setBedlam(state, sweepCase.bedlam);
    }
    if (sweepCase.disorder >= 0) {
        engine::setDisorder(state, sweepCase.disorder);
    }
    midi::MidiNoteHandler handler(state);

    const std::int64_t length = std::int64_t{sweepCase.seconds} * kSliceSamples;
    std::vector<float> output(static_cast<std::size_t>(length));
    std::int64_t position = 0;
    auto renderUpTo = [&](std::int64_t end) {
        while (position < end) {
            const auto frames =
                static_cast<std::uint32_t>(std::min<std::int64_t>(end - position, 256));
            engine::renderBlock(state, adsr, output.data() + position, frames);
            position += frames;
        }
    };
    for (const SweepEvent& event : sweepCase.events) {
        renderUpTo(std::min(event.sample, length));
        switch (event.kind) {
            case Kind::Message:
                handler.onMidiMessage(midi::MidiMessageKind::Data, event.value, 0);
                break;
            case Kind::Havoc:
                engine::setHavoc(state, static_cast<int>(event.value));
                break;
            case Kind::Bedlam:
                engine::setBedlam(state, static_cast<int>(event.value));
                break;
            case Kind::Close:
                handler.onMidiMessage(midi::MidiMessageKind::Close, 0, 0);
                break;
        }
    }
    renderUpTo(length);
    return output;
}

std::uint64_t hashSamples(const float* samples, std::size_t count) {
    std::uint64_t hash = kHashStart;
    for (std::size_t i = 0; i < count; ++i) {
        hash = hashBits(hash, std::bit_cast<std::uint32_t>(samples[i]), 4);
    }
    return hash;
}

}  // namespace vireon::test
