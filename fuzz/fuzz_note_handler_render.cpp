// SPDX-License-Identifier: GPL-3.0-or-later
// Plays an arbitrary sequence of MIDI messages, control changes and render calls through the note
// handler and the engine, and checks that every output sample is finite and no louder than the
// envelope allows.
//
// The input is a list of records, each an operation byte followed by its little-endian operands;
// a record cut short by the end of the input reads zeros for its missing bytes.
//   op % 8 == 0  Data message            u32 message
//             1  Close                   -
//             2  any other kind          u32 kind, u32 message
//             3  render                  u16 frames (0 included)
//             4  Havoc slider            u8 position, mapped to 1..100
//             5  Bedlam slider           u8 position, mapped to 1..100
//             6  envelope slider         u8 which (A, D, S, R), u16 value mapped into its range
//             7  Disorder                i64 value

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/AdsrSettings.h"
#include "engine/ChaosOscillator.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "fuzz/FuzzCheck.h"
#include "midi/MidiMessage.h"
#include "midi/MidiNoteHandler.h"

namespace {

using vireon::engine::AdsrSettings;
using vireon::fuzz::require;
using vireon::midi::MidiMessageKind;

// Enough for a release of several seconds to run its course in one input, while each input
// still takes only milliseconds.
constexpr std::uint32_t kFrameBudget = 1u << 17;

// A sine times an envelope whose shortest attack overshoots 1 by just under a quarter before
// the decay brings it down.
constexpr float kLoudest = 1.25f;

/// Reads the records front to back, so that a seed can be written down in order.
class Records {
  public:
    Records(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }

    std::uint64_t take(int bytes) {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i, ++at_) {
            value |= std::uint64_t{at_ < size_ ? data_[at_] : std::uint8_t{0}} << (8 * i);
        }
        return value;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

/// Checks at each report that the status text agrees with the gate the engine sees. Before the
/// first note message the text is still empty, so a closed gate shows anything but "On".
class GateCheckingSink : public vireon::midi::StatusSink {
  public:
    explicit GateCheckingSink(const vireon::engine::SynthState& state) : state_(state) {}
    void reportNoteStatus(std::string_view text) override {
        require(state_.gate.load() != 0 ? text == "On" : text != "On",
                "the status text reports the gate");
    }

  private:
    const vireon::engine::SynthState& state_;
};

void setEnvelopeSlider(AdsrSettings& adsr, std::uint64_t which, std::uint64_t raw) {
    const auto inRange = [raw](std::int32_t min, std::int32_t max) {
        return static_cast<std::int32_t>(min + raw % static_cast<std::uint64_t>(max - min + 1));
    };
    switch (which % 4) {
        case 0:
            adsr.attack = inRange(AdsrSettings::kAttackMin, AdsrSettings::kAttackMax);
            break;
        case 1:
            adsr.decay = inRange(AdsrSettings::kDecayMin, AdsrSettings::kDecayMax);
            break;
        case 2:
            adsr.sustain = inRange(AdsrSettings::kSustainMin, AdsrSettings::kSustainMax);
            break;
        default:
            adsr.release = inRange(AdsrSettings::kReleaseMin, AdsrSettings::kReleaseMax);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace engine = vireon::engine;
    engine::SynthState state;
    AdsrSettings adsr;
    vireon::midi::MidiNoteHandler handler(state);
    GateCheckingSink sink(state);
    handler.connectStatusSink(&sink);
    static std::vector<float> output(0xFFFF);

    std::uint32_t framesLeft = kFrameBudget;
    for (Records records(data, size); !records.done();) {
        const std::uint64_t op = records.take(1);
        switch (op % 8) {
            case 0:
                handler.onMidiMessage(MidiMessageKind::Data,
                                      static_cast<std::uint32_t>(records.take(4)), 0);
                break;
            case 1:
                handler.onMidiMessage(MidiMessageKind::Close, 0, 0);
                break;
            case 2: {
                const auto kind = static_cast<MidiMessageKind>(records.take(4));
                handler.onMidiMessage(kind, static_cast<std::uint32_t>(records.take(4)), 0);
                break;
            }
            case 3: {
                const auto frames =
                    std::min(static_cast<std::uint32_t>(records.take(2)), framesLeft);
                framesLeft -= frames;
                engine::renderBlock(state, adsr, output.data(), frames);
                for (std::uint32_t i = 0; i < frames; ++i) {
                    require(std::isfinite(output[i]), "every rendered sample is finite");
                    require(std::fabs(output[i]) <= kLoudest, "no sample is louder than a peak");
                }
                break;
            }
            case 4:
                engine::setHavoc(state, static_cast<int>(1 + records.take(1) % 100));
                break;
            case 5:
                engine::setBedlam(state, static_cast<int>(1 + records.take(1) % 100));
                break;
            case 6: {
                const std::uint64_t which = records.take(1);
                setEnvelopeSlider(adsr, which, records.take(2));
                break;
            }
            default:
                engine::setDisorder(state, static_cast<std::int64_t>(records.take(8)));
                break;
        }
        require(state.noteCount.load() >= 0, "the held-note count never goes below zero");
    }
    return 0;
}
