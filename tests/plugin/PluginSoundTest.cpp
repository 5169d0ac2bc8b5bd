// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument played through a lilv host, compared with the offline renderer (the code
// vireon-render runs) and with the engine driven directly.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/time/time.h>

#include "engine/ChaosOscillator.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiMessage.h"
#include "midi/MidiNoteHandler.h"
#include "sounds/FactorySounds.h"
#include "tests/plugin/PluginHost.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/Samples.h"
#include "offline/OfflineRender.h"
#include "tools/render/RenderOptions.h"

namespace vireon::plugintest {
namespace {

using testsupport::firstBitDifference;
using tools::RenderOptions;
using offline::TimedMessage;

constexpr double kEngineRate = 8000.0;

// A phrase with a late first note, legato, a channel-2 note that must not sound, a bend, a
// stray note-off, a note-off as velocity 0 and a retrigger during a release.
const std::vector<TimedMessage> kPhrase = {
    {1500, 0x4580},
    {3001, midi::packShortMessage(0x90, 60, 100)},
    {5000, 0x644091},
    {7000, midi::packShortMessage(0x90, 67, 90)},
    {8000, midi::packShortMessage(0xE0, 0x00, 0x50)},
    {9000, 0x3C80},
    {11000, midi::packShortMessage(0x90, 67, 0)},
    {12500, 0x7F4890},
    {16000, 0x4880},
};
constexpr std::uint32_t kPhraseLength = 20000;

struct Settings {
    std::string name;
    RenderOptions render;                                 // what vireon-render is told
    std::vector<std::pair<std::string, float>> controls;  // what the host sets
};

std::vector<Settings> settingsToCompare() {
    Settings changed{"changed", {}, {}};
    changed.render.havoc = 60;
    changed.render.bedlam = 20;
    changed.render.attack = 300;
    changed.render.decay = 250;
    changed.render.sustain = 70;
    changed.render.release = 400;
    changed.render.disorder = "17";
    changed.controls = {{"havoc", 60},   {"bedlam", 20},   {"attack", 300}, {"decay", 250},
                        {"sustain", 70}, {"release", 400}, {"disorder", 17}};
    // The playing controls on the ports after the first seven.
    Settings playing{"playing", {}, {}};
    for (const auto& [control, position] :
         std::vector<std::pair<controls::ControlId, int>>{{controls::ControlId::Fade, 300},
                                                          {controls::ControlId::Velocity, 80},
                                                          {controls::ControlId::Bend, 7},
                                                          {controls::ControlId::Glide, 40},
                                                          {controls::ControlId::GlideMode, 1},
                                                          {controls::ControlId::Pedal, 1},
                                                          {controls::ControlId::Priority, 1}}) {
        playing.render.playing[static_cast<std::size_t>(control)] = position;
        playing.controls.emplace_back(controls::control(control).symbol, position);
    }
    // The defaults leave Havoc and Bedlam at the program's start-up constants.
    return {{"defaults", {}, {}}, changed, playing};
}

class PluginSoundTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { host_ = new PluginHost; }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
    }

    /// A fresh instance at `rate` (the engine's own by default) with these control values.
    static std::unique_ptr<PluginInstance> instance(
        const std::vector<std::pair<std::string, float>>& controls = {},
        double rate = kEngineRate) {
        auto made = std::make_unique<PluginInstance>(*host_, rate);
        EXPECT_TRUE(made->valid());
        for (const auto& [symbol, value] : controls) {
            made->setControl(symbol, value);
        }
        return made;
    }

    static inline PluginHost* host_ = nullptr;
};

/// The first output frame at `rate` that belongs to engine sample `sample`.
std::uint32_t firstFrameOf(std::uint64_t sample, std::uint32_t rate) {
    return static_cast<std::uint32_t>((sample * rate + 7999) / 8000);
}

/// The phrase at `rate`, each message at the first frame of its engine sample, or at the last.
std::vector<TimedMessage> atRate(const std::vector<TimedMessage>& phrase, std::uint32_t rate,
                                 bool lastFrame = false) {
    std::vector<TimedMessage> moved = phrase;
    for (TimedMessage& message : moved) {
        message.sample = lastFrame ? firstFrameOf(message.sample + 1, rate) - 1
                                   : firstFrameOf(message.sample, rate);
    }
    return moved;
}

// The plugin at a host's rate against vireon-render --rate at the same rate, for every block
// size a host may choose: the same frames bit for bit.
TEST_F(PluginSoundTest, SoundsLikeTheRendererAtEveryRateAndBlockSize) {
    for (const std::uint32_t rate : {8000u, 44100u, 48000u, 96000u, 192000u}) {
        SCOPED_TRACE(rate);
        const std::vector<TimedMessage> phrase = atRate(kPhrase, rate);
        const std::uint32_t length = firstFrameOf(kPhraseLength, rate);
        for (Settings& settings : settingsToCompare()) {
            SCOPED_TRACE(settings.name);
            settings.render.rate = rate;
            const std::vector<float> expected =
                offline::renderOffline(settings.render, kPhrase, kPhraseLength);
            ASSERT_EQ(expected.size(), length);
            for (const std::uint32_t blockFrames : {1u, 7u, 256u, 8192u}) {
                SCOPED_TRACE(blockFrames);
                auto plugin = instance(settings.controls, rate);
                EXPECT_EQ(firstBitDifference(play(*plugin, phrase, length, blockFrames), expected),
                          length);
                // The converter's delay, as the host reads it from the latency port.
                if (rate == kEngineRate) {
                    EXPECT_EQ(plugin->latency(), 0.0f);
                } else {
                    EXPECT_GT(plugin->latency(), 0.0f);
                    EXPECT_LT(plugin->latency(), rate / 100.0f);
                }
            }
            // Every frame that belongs to an engine sample applies an event at that sample.
            auto late = instance(settings.controls, rate);
            EXPECT_EQ(
                firstBitDifference(play(*late, atRate(kPhrase, rate, true), length, 256), expected),
                length);
            // A host may leave the sequence's time unit unset (Ardour 7.3 does); whatever it
            // holds, even the URID of beats, event times are frames.
            auto unsetUnit = instance(settings.controls, rate);
            unsetUnit->midiInput().sequence()->body.unit = host_->urids().map(LV2_ATOM__beatTime);
            EXPECT_EQ(firstBitDifference(play(*unsetUnit, phrase, length, 256), expected), length);
        }
    }
}

// Each factory sound as a host finds it among the bundle's presets and restores it, against
// vireon-render --sound NAME --rate R: the same frames bit for bit.
TEST_F(PluginSoundTest, EveryPresetSoundsLikeTheRendererPlayingItsSound) {
    const std::vector<Preset> presets = loadPresets(*host_);
    ASSERT_EQ(presets.size(), sounds::factorySounds().size());
    for (const Preset& preset : presets) {
        SCOPED_TRACE(preset.label);
        ASSERT_NE(sounds::findFactorySound(preset.label), nullptr);
        EXPECT_EQ(preset.controls.size(), controls::kControlCount);
        for (const std::uint32_t rate : {8000u, 48000u}) {
            const std::string rateText = std::to_string(rate);
            const std::vector<std::string_view> args = {"--sound", preset.label, "--rate",
                                                        rateText,  "-o",         "-"};
            const auto parsed = tools::parseRenderOptions(args);
            ASSERT_TRUE(std::holds_alternative<RenderOptions>(parsed));
            const std::vector<float> expected =
                offline::renderOffline(std::get<RenderOptions>(parsed), kPhrase, kPhraseLength);
            const std::uint32_t length = firstFrameOf(kPhraseLength, rate);
            EXPECT_EQ(firstBitDifference(play(*instance(preset.controls, rate),
                                              atRate(kPhrase, rate), length, 256),
                                         expected),
                      length)
                << rate << " Hz";
        }
    }
}

// A host's timeline, not the plugin's activation, decides where a note falls: after a pre-roll
// of any length, a session plays as vireon-render renders it, the same in every run.
TEST_F(PluginSoundTest, NotesFallOnTheHostsTimelineWhateverRanBefore) {
    testsupport::UridMap& urids = host_->urids();
    // A time:Position object holding just the transport's frame, as the host's sequence carries it.
    const auto position = [&](std::int64_t frame) {
        struct {
            LV2_Atom_Object_Body object;
            LV2_Atom_Property_Body property;
            std::int64_t frame;
        } atom{{0, urids.map(LV2_TIME__Position)},
               {urids.map(LV2_TIME__frame), 0, {sizeof(std::int64_t), urids.map(LV2_ATOM__Long)}},
               frame};
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&atom);
        return std::vector<std::uint8_t>(bytes, bytes + sizeof atom);
    };
    struct Case {
        std::uint32_t rate, preRoll, blockFrames;
    };
    for (const Case& test : {Case{48000, 1001, 512}, Case{48000, 2, 1024}, Case{44100, 333, 768},
                             Case{96000, 7, 1200}}) {
        RenderOptions options;
        options.rate = test.rate;
        const std::vector<TimedMessage> note = {{4000, midi::packShortMessage(0x90, 69, 100)}};
        const std::vector<float> expected = offline::renderOffline(options, note, 12000);
        const std::uint32_t noteFrame = firstFrameOf(4000, test.rate);
        auto plugin = instance({}, test.rate);
        for (std::uint32_t done = 0; done < test.preRoll; done += test.blockFrames) {
            plugin->run(std::min(test.blockFrames, test.preRoll - done));
        }
        std::vector<float> played;
        for (std::uint32_t at = 0; at < expected.size(); at += test.blockFrames) {
            const auto frames = static_cast<std::uint32_t>(
                std::min<std::size_t>(test.blockFrames, expected.size() - at));
            plugin->midiInput().append(0, urids.map(LV2_ATOM__Object), position(at));
            if (noteFrame >= at && noteFrame < at + frames) {
                plugin->midiInput().append(noteFrame - at,
                                           bytesOf(midi::packShortMessage(0x90, 69, 100)));
            }
            const std::span<const float> block = plugin->runWithMidiInput(frames);
            played.insert(played.end(), block.begin(), block.end());
        }
        EXPECT_EQ(firstBitDifference(played, expected), expected.size())
            << test.rate << " Hz after " << test.preRoll << " frames";
    }
}

TEST_F(PluginSoundTest, InstantiatesAtWholeRatesFrom8000To192000) {
    for (const double rate : {8000.0, 11025.0, 22050.0, 44100.0, 88200.0, 176400.0, 192000.0}) {
        EXPECT_TRUE(PluginInstance(*host_, rate).valid()) << rate;
    }
    for (const double rate : {0.0, 7999.0, 44100.5, 192001.0, -48000.0}) {
        EXPECT_FALSE(PluginInstance(*host_, rate).valid()) << rate;
    }
}

TEST_F(PluginSoundTest, SilentUntilTheFirstNoteOn) {
    for (const std::uint32_t rate : {8000u, 48000u}) {
        SCOPED_TRACE(rate);
        const std::uint32_t firstNote = firstFrameOf(3001, rate);
        auto plugin = instance({}, rate);
        const std::vector<float> played =
            play(*plugin, atRate(kPhrase, rate), firstFrameOf(kPhraseLength, rate), 256);
        for (std::uint32_t i = 0; i < firstNote; ++i) {
            ASSERT_EQ(std::bit_cast<std::uint32_t>(played[i]), 0u) << "at frame " << i;
        }
        // The first note fades in from silence for 1001 samples, then its attack sounds.
        EXPECT_NE(played[firstFrameOf(3001 + 1001 + 200, rate)], 0.0f);
    }
}

TEST_F(PluginSoundTest, TwoInstancesPlayIndependently) {
    const std::vector<Settings> settings = settingsToCompare();
    const std::vector<TimedMessage> otherPhrase = {{200, 0x7F3090}, {9000, 0x3080}};
    auto first = instance(settings[1].controls);
    auto second = instance();
    std::vector<float> firstPlayed, secondPlayed;
    // Interleaved block by block in one process, each with its own phrase.
    for (std::uint32_t start = 0; start < kPhraseLength; start += 256) {
        std::vector<BlockEvent> firstEvents, secondEvents;
        for (const auto& [phrase, events] :
             {std::pair{&kPhrase, &firstEvents}, std::pair{&otherPhrase, &secondEvents}}) {
            for (const TimedMessage& message : *phrase) {
                if (message.sample >= start && message.sample < start + 256) {
                    events->push_back({message.sample - start, bytesOf(message.message)});
                }
            }
        }
        const auto a = first->run(256, firstEvents);
        firstPlayed.insert(firstPlayed.end(), a.begin(), a.end());
        const auto b = second->run(256, secondEvents);
        secondPlayed.insert(secondPlayed.end(), b.begin(), b.end());
    }
    EXPECT_EQ(firstBitDifference(
                  firstPlayed, play(*instance(settings[1].controls), kPhrase, kPhraseLength, 256)),
              kPhraseLength);
    EXPECT_EQ(
        firstBitDifference(secondPlayed, offline::renderOffline({}, otherPhrase, kPhraseLength)),
        kPhraseLength);
}

/// The engine driven directly: the phrase's messages before their samples, and `change`
/// applied to the state before sample `changeAt`.
std::vector<float> renderWithChange(const std::vector<TimedMessage>& phrase, std::uint32_t length,
                                    std::uint32_t changeAt,
                                    const std::function<void(engine::SynthState&)>& change) {
    engine::SynthState state;
    engine::AdsrSettings adsr;
    midi::MidiNoteHandler notes(state);
    std::vector<float> samples(length);
    std::size_t next = 0;
    for (std::uint32_t i = 0; i < length; ++i) {
        for (; next < phrase.size() && phrase[next].sample == i; ++next) {
            notes.onMidiMessage(midi::MidiMessageKind::Data, phrase[next].message, 0);
        }
        if (i == changeAt) {
            change(state);
        }
        engine::renderBlock(state, adsr, &samples[i], 1);
    }
    return samples;
}

TEST_F(PluginSoundTest, ChaosControlsActFromTheBlockWhereTheyChange) {
    const std::vector<TimedMessage> heldNote = {{100, 0x644590}};
    constexpr std::uint32_t kLength = 8000, kChangeAt = 12 * 256;
    const std::vector<float> unchanged = offline::renderOffline({}, heldNote, kLength);
    const struct {
        const char* symbol;
        int position;
        std::function<void(engine::SynthState&)> change;
    } cases[] = {
        {"havoc", 80, [](engine::SynthState& s) { engine::setHavoc(s, 80); }},
        {"bedlam", 70, [](engine::SynthState& s) { engine::setBedlam(s, 70); }},
        {"disorder", 33, [](engine::SynthState& s) { engine::setDisorder(s, 33); }},
    };
    for (const auto& control : cases) {
        SCOPED_TRACE(control.symbol);
        const ControlChange change{kChangeAt, control.symbol, static_cast<float>(control.position)};
        const std::vector<float> played = play(*instance(), heldNote, kLength, 256, {&change, 1});
        EXPECT_EQ(firstBitDifference(played, unchanged), kChangeAt);
        EXPECT_EQ(firstBitDifference(
                      played, renderWithChange(heldNote, kLength, kChangeAt, control.change)),
                  kLength);
    }
}

TEST_F(PluginSoundTest, EnvelopeControlsActAtTheNextNote) {
    const std::vector<TimedMessage> twoNotes = {
        {100, 0x644590}, {6000, 0x4580}, {10000, 0x644890}, {14000, 0x4880}};
    constexpr std::uint32_t kLength = 24000, kSecondNote = 10000;
    const std::vector<float> unchanged = offline::renderOffline({}, twoNotes, kLength);
    for (const ControlChange& change : std::vector<ControlChange>{{1024, "attack", 900},
                                                                  {1024, "decay", 100},
                                                                  {1024, "sustain", 90},
                                                                  {1024, "release", 300}}) {
        SCOPED_TRACE(change.symbol);
        // Moved while the first note sounds: that note keeps its shape, the second takes it.
        const std::vector<float> played = play(*instance(), twoNotes, kLength, 256, {&change, 1});
        const std::size_t firstChange = firstBitDifference(played, unchanged);
        EXPECT_GT(firstChange, kSecondNote);
        EXPECT_LT(firstChange, kLength);
    }
}

TEST_F(PluginSoundTest, ControlValuesBeyondTheirRangesAreHeldToThem) {
    const std::vector<TimedMessage> note = {{10, 0x644590}, {5000, 0x4580}};
    constexpr std::uint32_t kLength = 8000;
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    RenderOptions loudest;
    loudest.havoc = 100;
    loudest.bedlam = 1;
    loudest.sustain = 100;
    loudest.attack = 2000;
    loudest.disorder = "50";
    const struct {
        const char* name;
        RenderOptions expected;
        std::vector<std::pair<std::string, float>> controls;
    } cases[] = {
        {"beyond",
         loudest,
         {{"havoc", 1e9f},
          {"bedlam", -kInfinity},
          {"sustain", 250.0f},
          {"attack", kInfinity},
          {"disorder", 51.0f}}},
        // A NaN means nothing; a value that rounds to the start-up position is that position.
        {"meaningless",
         {},
         {{"havoc", std::nanf("")},
          {"bedlam", 30.4f},
          {"decay", -std::nanf("")},
          {"disorder", 9.5f}}},
    };
    for (const auto& values : cases) {
        SCOPED_TRACE(values.name);
        EXPECT_EQ(firstBitDifference(play(*instance(values.controls), note, kLength, 256),
                                     offline::renderOffline(values.expected, note, kLength)),
                  kLength);
    }
}

TEST_F(PluginSoundTest, EventsKeepTheirOrderAndNoneIsLost) {
    auto plugin = instance();
    std::vector<float> played;
    const auto keep = [&](std::span<const float> block) {
        played.insert(played.end(), block.begin(), block.end());
    };
    // Two notes on one frame (the later wins), a note-off placed before a frame already played
    // (it applies where the block has got to), and a note-on placed beyond the block (it
    // applies at the block's end).
    keep(plugin->run(256, std::vector<BlockEvent>{{40, {0x90, 60, 100}},
                                                  {40, {0x90, 72, 100}},
                                                  {200, {0x80, 72, 0}},
                                                  {150, {0x80, 60, 0}},
                                                  {1000, {0x90, 64, 100}}}));
    // Neither a message of another type nor a system-exclusive message plays.
    auto& input = plugin->midiInput();
    const std::uint8_t noteOn[] = {0x90, 48, 100};
    input.append(10, host_->urids().map(LV2_ATOM__Chunk), noteOn);
    const std::uint8_t sysex[] = {0xF0, 0x90, 48, 100, 0xF7};
    input.append(20, sysex);
    keep(plugin->runWithMidiInput(256));
    keep(plugin->run(7000 - 512));

    const std::vector<TimedMessage> expected = {
        {40, 0x643C90}, {40, 0x644890}, {200, 0x4880}, {200, 0x3C80}, {256, 0x644090}};
    EXPECT_EQ(firstBitDifference(played, offline::renderOffline({}, expected, 7000)), 7000u);
}

/// Runs blocks of two sizes with events and moving controls, counting allocations in run().
void expectNoAllocationInRun(PluginInstance& plugin) {
    std::vector<BlockEvent> events = {
        {3, {0x90, 60, 100}}, {100, {0x90, 67, 100}}, {101, {0x80, 60, 0}}, {255, {0xB0, 1, 1}}};
    std::size_t allocations = 0;
    for (int block = 0; block < 64; ++block) {
        plugin.setControl("havoc", static_cast<float>(block));
        plugin.setControl("release", static_cast<float>(block * 10));
        plugin.setControl("disorder", static_cast<float>(block % 50));
        for (const BlockEvent& event : events) {
            plugin.midiInput().append(event.frame, event.bytes);
        }
        testsupport::AllocationCounter counter;
        plugin.runWithMidiInput(block % 2 == 0 ? 256 : 8192);
        allocations += counter.count();
    }
    EXPECT_EQ(allocations, 0u);
}

TEST_F(PluginSoundTest, RunNeverAllocates) {
    if (!testsupport::AllocationCounter::available()) {
        GTEST_SKIP() << "a sanitizer's allocator cannot be counted";
    }
    for (const double rate : {kEngineRate, 48000.0}) {
        SCOPED_TRACE(rate);
        expectNoAllocationInRun(*instance({{"attack", 20}}, rate));
    }
}

}  // namespace
}  // namespace vireon::plugintest
