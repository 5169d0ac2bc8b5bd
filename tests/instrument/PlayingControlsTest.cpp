// SPDX-License-Identifier: GPL-3.0-or-later
// The playing controls, each against what it is defined to do: the fade's length, the velocity's
// level, the bend's pitch, the glide's path, the pedal's hold and the priority's return.

#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Constants.h"
#include "instrument/Instrument.h"
#include "midi/MidiMessage.h"

namespace vireon::instrument {
namespace {

using controls::ControlId;

/// One instance at the engine's own rate, so frames are engine samples.
class Playing {
  public:
    void set(ControlId control, int position) { instrument.moveControl(control, position); }
    void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        instrument.handleMessage(midi::packShortMessage(status, data1, data2));
    }
    void render(std::uint32_t frames) {
        std::vector<float> out(frames);
        instrument.render(out.data(), frames);
    }
    const engine::SynthState& state() const { return instrument.state(); }

    Instrument instrument{engine::kSampleRate};
};

double noteFrequency(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

TEST(PlayingControls, FadeSetsWhereTheAttackBeginsAndHowLongThePreviousPitchSounds) {
    struct Case {
        int fade;
        int attackStartsAt;  // frames after the note-on
    };
    for (const Case c : {Case{1000, 1001}, Case{10, 11}, Case{1, 2}, Case{0, 0}}) {
        Playing p;
        p.set(ControlId::Fade, c.fade);
        p.send(0x90, 60, 100);
        p.render(200);
        p.send(0x80, 60, 0);  // note 60's 31 samples a cycle sound on through the next fade
        p.send(0x90, 72, 100);
        for (int frame = 0; frame <= c.attackStartsAt; ++frame) {
            p.render(1);
            const bool attack = frame == c.attackStartsAt;
            ASSERT_EQ(p.state().phaseReset.load(), attack ? 1 : 0) << c.fade << " " << frame;
            ASSERT_EQ(p.state().samplesPerCycle.load(), attack ? 15 : 31) << c.fade << " " << frame;
        }
        // The attack restarted the sample counter, so the onset ramp starts with it.
        EXPECT_EQ(p.state().sampleCounter.load(), 1) << c.fade;
    }
}

TEST(PlayingControls, VelocityScalesTheNoteByItsSensitivity) {
    struct Case {
        int sensitivity;
        std::uint8_t velocity;
        double level;
    };
    const Case cases[] = {
        {0, 1, 1.0},  // velocity only tells a note-on from a note-off
        {100, 64, 64.0 / 127.0},
        {100, 127, 1.0},
        {50, 1, 1.0 - 0.5 * 126.0 / 127.0},
    };
    for (const Case& c : cases) {
        Playing p;
        p.set(ControlId::Velocity, c.sensitivity);
        p.set(ControlId::Fade, 0);
        p.set(ControlId::Decay, 1);  // sustain (50 %) after 9 samples
        p.send(0x90, 69, c.velocity);
        p.render(20);
        // At sensitivity 0 the level is the envelope's own, to the bit.
        if (c.level == 1.0) {
            EXPECT_EQ(p.state().envelope.load(), 0.5) << c.sensitivity << " " << +c.velocity;
        } else {
            EXPECT_DOUBLE_EQ(p.state().envelope.load(), 0.5 * c.level);
        }
        // A legato note keeps the level its note started with.
        p.send(0x90, 70, 127);
        p.render(20);
        EXPECT_DOUBLE_EQ(p.state().envelope.load(), 0.5 * c.level);
    }
}

TEST(PlayingControls, BendMovesThePitchByItsRange) {
    struct Case {
        int range;
        std::uint8_t lsb, msb;  // the 14-bit wheel, 8192 in the middle
        double semitones;
    };
    const Case cases[] = {
        {2, 0x7F, 0x7F, 2.0 * 8191.0 / 8192.0},  // just under two semitones up
        {2, 0x00, 0x40, 0.0},
        {24, 0x00, 0x00, -24.0},
        {0, 0x7F, 0x7F, 0.0},  // range 0 ignores the wheel
    };
    for (const Case& c : cases) {
        Playing p;
        p.set(ControlId::Bend, c.range);
        p.send(0x90, 69, 100);
        p.send(0xE0, c.lsb, c.msb);
        EXPECT_NEAR(p.state().frequency.load() / noteFrequency(69.0 + c.semitones), 1.0, 1e-14)
            << c.range << " " << c.semitones;
        if (c.semitones == 0.0 || c.semitones == -24.0) {
            EXPECT_EQ(p.state().frequency.load(), 440.0 * std::exp2(c.semitones / 12.0));
        }
        // The next note is bent as well, and so is a released note.
        p.send(0x90, 57, 100);
        p.send(0x80, 57, 0);
        EXPECT_NEAR(p.state().frequency.load() / noteFrequency(57.0 + c.semitones), 1.0, 1e-14);
    }
    // The highest key bent two octaves up (50 kHz) plays the shortest period there is, one
    // sample, instead of a period rounded to zero that would turn the sound into NaN for good.
    Playing p;
    p.set(ControlId::Bend, 24);
    p.set(ControlId::Fade, 0);
    p.send(0x90, 127, 100);
    p.send(0xE0, 0x7F, 0x7F);
    std::vector<float> out(100);
    p.instrument.render(out.data(), 100);
    EXPECT_EQ(p.state().samplesPerCycle.load(), 1);
    EXPECT_TRUE(std::isfinite(out.back()));
}

TEST(PlayingControls, GlideSlidesEvenlyInSemitonesAsItsModeAllows) {
    struct Case {
        int mode;       // 0 always, 1 legato
        bool detached;  // the second note after releasing the first
        double halfWay;
    };
    const Case cases[] = {
        {0, false, 66.0},
        {1, false, 66.0},
        {0, true, 66.0},
        {1, true, 72.0},  // legato only: a detached note starts on its own pitch
    };
    for (const Case& c : cases) {
        Playing p;
        p.set(ControlId::Fade, 0);
        p.set(ControlId::Glide, 100);  // 800 samples
        p.set(ControlId::GlideMode, c.mode);
        p.send(0x90, 60, 100);
        p.render(100);
        EXPECT_DOUBLE_EQ(p.state().frequency.load(),
                         noteFrequency(60.0));  // the first note: no glide
        if (c.detached) {
            p.send(0x80, 60, 0);
        }
        p.send(0x90, 72, 100);
        p.render(400);
        EXPECT_NEAR(p.state().frequency.load() / noteFrequency(c.halfWay), 1.0, 1e-14)
            << c.mode << c.detached;
        p.render(400);
        EXPECT_DOUBLE_EQ(p.state().frequency.load(), noteFrequency(72.0));
    }
}

TEST(PlayingControls, PedalHoldsNoteOffsUntilItLifts) {
    struct Case {
        int pedal;
        std::uint8_t down;  // the controller's value while "down"
        int gateAfterRelease;
    };
    const Case cases[] = {{1, 127, 1}, {1, 64, 1}, {1, 63, 0}, {0, 127, 0}};
    for (const Case& c : cases) {
        Playing p;
        p.set(ControlId::Pedal, c.pedal);
        p.send(0x90, 60, 100);
        p.send(0xB0, 64, c.down);
        p.send(0x80, 60, 0);
        EXPECT_EQ(p.state().gate.load(), c.gateAfterRelease) << c.pedal << " " << +c.down;
        // A key pressed again while held stays held after the lift.
        p.send(0x90, 62, 100);
        p.send(0xB0, 64, 0);
        EXPECT_EQ(p.state().gate.load(), 1);
        p.send(0x80, 62, 0);
        EXPECT_EQ(p.state().gate.load(), 0);
        // A note released while the pedal holds it ends as the pedal lifts.
        p.send(0x90, 65, 100);
        p.send(0xB0, 64, c.down);
        p.send(0x80, 65, 0);
        EXPECT_EQ(p.state().gate.load(), c.gateAfterRelease);
        p.send(0xB0, 64, 0);
        EXPECT_EQ(p.state().gate.load(), 0);
        EXPECT_EQ(p.state().noteCount.load(), 0);
    }
}

TEST(PlayingControls, LastHeldReturnsToTheLatestKeyStillHeldWithoutRestarting) {
    struct Case {
        int priority;
        std::uint8_t released;
        double sounding;
    };
    const Case cases[] = {
        {0, 67, 67.0},  // count: the latest pitch stays
        {1, 67, 64.0},  // last held: back to the latest key still held
        {1, 64, 67.0},  // releasing a key that is not sounding changes nothing
    };
    for (const Case& c : cases) {
        Playing p;
        p.set(ControlId::Priority, c.priority);
        for (const std::uint8_t note : {60, 64, 67}) {
            p.send(0x90, note, 100);
        }
        p.render(2000);
        p.send(0x80, c.released, 0);
        p.render(1);
        EXPECT_DOUBLE_EQ(p.state().frequency.load(), noteFrequency(c.sounding)) << c.priority;
        EXPECT_EQ(p.state().gate.load(), 1);
        EXPECT_EQ(p.state().noteStarted.load(), 1);  // the envelope goes on
        EXPECT_GT(p.state().sampleCounter.load(), 900);
    }
    // Last held with every key released closes the gate, whatever the order.
    Playing p;
    p.set(ControlId::Priority, 1);
    p.send(0x90, 60, 100);
    p.send(0x90, 64, 100);
    p.send(0x80, 60, 0);
    p.send(0x80, 64, 0);
    EXPECT_EQ(p.state().gate.load(), 0);
}

}  // namespace
}  // namespace vireon::instrument

namespace vireon::controls {
namespace {

// What the desktop faces' Playing windows show beside each slider.
TEST(PlayingControls, ValueTextsCarryTheirUnit) {
    const struct {
        ControlId control;
        int position;
        const char* text;
    } kCases[] = {
        {ControlId::Fade, 1000, "125 ms"},   {ControlId::Fade, 1, "0.125 ms"},
        {ControlId::Velocity, 40, "40 %"},   {ControlId::Bend, 2, "2 semitones"},
        {ControlId::Glide, 2000, "2000 ms"}, {ControlId::Havoc, 7, "7"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(valueText(control(c.control), c.position), c.text);
    }
}

}  // namespace
}  // namespace vireon::controls
