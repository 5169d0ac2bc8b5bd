// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the vireon-render program itself and checks what it writes against the engine.

#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "engine/AdsrSettings.h"
#include "engine/ChaosOscillator.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiMessage.h"
#include "midi/MidiNoteHandler.h"
#include "settings/NumberParser.h"
#include "tests/support/MidiFileBytes.h"

extern char** environ;

namespace vireon::tools {
namespace {

namespace fs = std::filesystem;

using TimedPair = std::pair<std::uint32_t, std::uint32_t>;

struct ProgramRun {
    int exitStatus;
    std::string out;
    std::string err;
};

std::string fileText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

/// The samples as raw float32 bytes, the form the program writes to standard output. Comparing
/// bytes compares bits: equal floats could still hide a difference in the sign of a zero.
std::string bytesOf(const std::vector<float>& samples) {
    return std::string(reinterpret_cast<const char*>(samples.data()),
                       samples.size() * sizeof(float));
}

/// The engine driven directly, one sample at a time, the way the application's callback and
/// MIDI thread drive it: each message is handled before its sample is rendered.
std::vector<float> renderDirectly(
    engine::SynthState& state, const engine::AdsrSettings& adsr,
    const std::vector<TimedPair>& messages, std::uint32_t length,
    const std::function<void(midi::MidiNoteHandler&)>& setUpPlaying = {}) {
    midi::MidiNoteHandler handler(state);
    if (setUpPlaying) {
        setUpPlaying(handler);
    }
    std::vector<float> samples(length);
    std::size_t next = 0;
    for (std::uint32_t n = 0; n < length; ++n) {
        for (; next < messages.size() && messages[next].first == n; ++next) {
            handler.onMidiMessage(midi::MidiMessageKind::Data, messages[next].second, 0);
        }
        engine::renderBlock(state, adsr, &samples[n], 1);
    }
    return samples;
}

class ToolProgram : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(testing::TempDir()) / "vireon_render_XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        work_ = root_ / "work";
        fs::create_directory(work_);
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path write(const std::string& name, const std::string& contents) {
        const fs::path path = work_ / name;
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }

    std::set<std::string> workFiles() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(work_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    /// Runs vireon-render with stdout and stderr captured outside the work folder.
    ProgramRun run(std::vector<std::string> args) {
        args.insert(args.begin(), VIREON_RENDER_PATH);
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const std::string outPath = (root_ / "stdout").string();
        const std::string errPath = (root_ / "stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        const int spawnError =
            ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawnError != 0) {
            ADD_FAILURE() << "could not start " << argv[0] << ": " << std::strerror(spawnError);
            return {-1, {}, {}};
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        // A crash shows as a status no exit can give.
        const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        return {exitStatus, fileText(outPath), fileText(errPath)};
    }

    fs::path root_;
    fs::path work_;
};

TEST_F(ToolProgram, EventsFileNoteMatchesTheEngineDrivenDirectly) {
    // A note, a clock byte, a legato pitch change, both note-offs mid-block, and a channel-2
    // note-on that must not sound.
    const fs::path events = write("note.txt",
                                  "# a note with a legato change\n"
                                  "0 0x90 69 100\n"
                                  "1234 0xF8 0 0\n"
                                  "2500 0x90 72 90\n"
                                  "3000 0x80 72 0\n"
                                  "3000 0x80 69 0\n"
                                  "3001 0x91 60 100\n");
    const ProgramRun result = run(
        {"--events",  events.string(), "--attack", "300",  "--decay",  "700", "--sustain",  "35",
         "--release", "200",           "--havoc",  "70",   "--bedlam", "12",  "--disorder", "7",
         "--block",   "100",           "--length", "9000", "-o",       "-"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "");

    engine::SynthState state;
    engine::AdsrSettings adsr;
    adsr.attack = 300;
    adsr.decay = 700;
    adsr.sustain = 35;
    adsr.release = 200;
    engine::setHavoc(state, 70);
    engine::setBedlam(state, 12);
    engine::setDisorder(state, settings::parseNumber("7"));
    const std::vector<float> expected =
        renderDirectly(state, adsr,
                       {{0, midi::packShortMessage(0x90, 69, 100)},
                        {1234, 0xF8},
                        {2500, midi::packShortMessage(0x90, 72, 90)},
                        {3000, midi::packShortMessage(0x80, 72, 0)},
                        {3000, midi::packShortMessage(0x80, 69, 0)},
                        {3001, midi::packShortMessage(0x91, 60, 100)}},
                       9000);
    EXPECT_TRUE(result.out == bytesOf(expected));
}

// Every playing option reaches its control: a soft note bent up, a legato glide, a note-off
// held by the pedal and a return to the key still held.
TEST_F(ToolProgram, PlayingOptionsPlayAsTheControlsDo) {
    const fs::path events = write("phrase.txt",
                                  "0 0x90 60 64\n500 0xE0 0x7F 0x7F\n1500 0x90 67 100\n"
                                  "2000 0xB0 64 127\n2500 0x80 67 0\n2600 0x90 64 100\n"
                                  "2700 0xB0 64 0\n3000 0x80 64 0\n3500 0x80 60 0\n");
    const ProgramRun result =
        run({"--events",     events.string(), "--fade",  "300",     "--velocity",
             "100",          "--bend",        "2",       "--glide", "50",
             "--glide-mode", "legato",        "--pedal", "on",      "--priority",
             "last-held",    "--length",      "6000",    "-o",      "-"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    engine::SynthState state;
    engine::AdsrSettings adsr;
    adsr.fade = 300;
    adsr.velocity = 100;
    std::vector<TimedPair> messages;
    for (const auto& [sample, status, data1, data2] :
         std::vector<std::array<std::uint32_t, 4>>{{0, 0x90, 60, 64},
                                                   {500, 0xE0, 0x7F, 0x7F},
                                                   {1500, 0x90, 67, 100},
                                                   {2000, 0xB0, 64, 127},
                                                   {2500, 0x80, 67, 0},
                                                   {2600, 0x90, 64, 100},
                                                   {2700, 0xB0, 64, 0},
                                                   {3000, 0x80, 64, 0},
                                                   {3500, 0x80, 60, 0}}) {
        messages.emplace_back(sample, status | data1 << 8 | data2 << 16);
    }
    const std::vector<float> expected =
        renderDirectly(state, adsr, messages, 6000, [](midi::MidiNoteHandler& handler) {
            handler.setBendRange(2);
            handler.setGlide(50, true);
            handler.setPedalEnabled(true);
            handler.setReturnToHeld(true);
        });
    EXPECT_TRUE(result.out == bytesOf(expected));
    // The same phrase without the options sounds otherwise.
    EXPECT_NE(run({"--events", events.string(), "--length", "6000", "-o", "-"}).out, result.out);
}

TEST_F(ToolProgram, DefaultsAreTheStartUpStateAndTheLengthLetsTheNoteRingOut) {
    const fs::path events = write("note.txt", "100 0x90 60 100\n5000 0x80 60 0\n");
    const ProgramRun result = run({"--events", events.string(), "-o", "-"});
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    // Last message, then the default release of 1500 ms (12000 samples), then one second.
    engine::SynthState state;
    engine::AdsrSettings adsr;
    const std::vector<float> expected = renderDirectly(
        state, adsr,
        {{100, midi::packShortMessage(0x90, 60, 100)}, {5000, midi::packShortMessage(0x80, 60, 0)}},
        5000 + 12000 + 8000);
    EXPECT_TRUE(result.out == bytesOf(expected));

    const ProgramRun silent = run({"--release", "1", "-o", "-"});
    ASSERT_EQ(silent.exitStatus, 0) << silent.err;
    EXPECT_EQ(silent.out.size(), (8 + 8000) * sizeof(float));
}

TEST_F(ToolProgram, MidiFileMatchesTheEquivalentEventsFile) {
    // 128 ticks per quarter note at 60 beats per minute: one tick is 62.5 samples, so ticks 1
    // and 3 fall on exact half samples (62.5 and 187.5, rounded to 62 and 188). From tick 256
    // (2 s, sample 16000) the tempo doubles and a tick is 31.25 samples.
    const fs::path midiPath = write(
        "two-tracks.mid", test::midiFile({test::midiTrack({{0, "\xFF\x51\x03\x0F\x42\x40"},
                                                           {1, "\x90\x3C\x64"},
                                                           {256, "\xFF\x51\x03\x07\xA1\x20"},
                                                           {300, std::string("\x80\x3C\x00", 3)}}),
                                          test::midiTrack({{3, "\x90\x40\x50"},
                                                           {100, "\xB0\x07\x64"},
                                                           {258, "\x90\x43\x5A"},
                                                           {400, std::string("\x80\x43\x00", 3)},
                                                           {401, std::string("\x80\x40\x00", 3)}})},
                                         128));
    const fs::path events = write("two-tracks.txt",
                                  "62 0x90 60 100\n"
                                  "188 0x90 64 80\n"
                                  "6250 0xB0 7 100\n"
                                  "16062 0x90 67 90\n"
                                  "17375 0x80 60 0\n"
                                  "20500 0x80 67 0\n"
                                  "20531 0x80 64 0\n");
    const ProgramRun fromMidi = run({"--midi", midiPath.string(), "-o", "-"});
    const ProgramRun fromEvents = run({"--events", events.string(), "-o", "-"});
    ASSERT_EQ(fromMidi.exitStatus, 0) << fromMidi.err;
    ASSERT_EQ(fromEvents.exitStatus, 0) << fromEvents.err;
    EXPECT_EQ(fromMidi.err, "");
    EXPECT_EQ(fromMidi.out.size(), (20531 + 12000 + 8000) * sizeof(float));
    EXPECT_TRUE(fromMidi.out == fromEvents.out);
}

TEST_F(ToolProgram, WavFileHoldsTheSameSamplesAsRawOutput) {
    const fs::path events = write("note.txt", "0 0x90 57 100\n3000 0x80 57 0\n");
    const fs::path wavPath = work_ / "note.wav";
    const ProgramRun toFile =
        run({"--events", events.string(), "--release", "100", "-o", wavPath.string()});
    const ProgramRun toStdout = run({"--events", events.string(), "--release", "100", "-o", "-"});
    ASSERT_EQ(toFile.exitStatus, 0) << toFile.err;
    ASSERT_EQ(toStdout.exitStatus, 0) << toStdout.err;
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(workFiles(), (std::set<std::string>{"note.txt", "note.wav"}));

    SF_INFO info{};
    SNDFILE* wav = sf_open(wavPath.c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.samplerate, 8000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    std::vector<float> samples(static_cast<std::size_t>(info.frames));
    EXPECT_EQ(sf_read_float(wav, samples.data(), info.frames), info.frames);
    sf_close(wav);
    EXPECT_EQ(samples.size(), 3000u + 800u + 8000u);
    EXPECT_TRUE(bytesOf(samples) == toStdout.out);
}

TEST_F(ToolProgram, AtAnotherRateTheWavFileSaysSoAndTheEngineRateIsUnchanged) {
    const fs::path events = write("note.txt", "0 0x90 57 100\n3000 0x80 57 0\n");
    const std::vector<std::string> note = {"--events", events.string(), "--length", "5000"};
    const auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = note;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const ProgramRun atEngineRate = run(with({"--rate", "8000", "-o", "-"}));
    ASSERT_EQ(atEngineRate.exitStatus, 0) << atEngineRate.err;
    EXPECT_TRUE(atEngineRate.out == run(with({"-o", "-"})).out);

    const fs::path wavPath = work_ / "note.wav";
    const ProgramRun converted = run(with({"--rate", "44100", "-o", wavPath.string()}));
    ASSERT_EQ(converted.exitStatus, 0) << converted.err;
    SF_INFO info{};
    SNDFILE* wav = sf_open(wavPath.c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr) << sf_strerror(nullptr);
    sf_close(wav);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.frames, 5000 * 44100 / 8000 + 1);  // 27562.5 frames, rounded up

    for (const char* refused : {"7999", "192001", "48k"}) {
        const ProgramRun result = run(with({"--rate", refused, "-o", "-"}));
        EXPECT_EQ(result.exitStatus, 2) << refused;
        EXPECT_NE(result.err.find("--rate must be a whole number from 8000 to 192000"),
                  std::string::npos)
            << result.err;
    }
}

// A sound file holding a factory sound's controls renders exactly what the factory name does.
TEST_F(ToolProgram, SoundFileAndFactoryNameRenderTheSame) {
    const std::string events = write("note.txt", "0 0x90 57 100\n12000 0x80 57 0\n").string();
    const ProgramRun listed = run({"--list-sounds"});
    ASSERT_EQ(listed.exitStatus, 0);
    // The second: the first is the start-up state, which a rendering without a sound has too.
    const std::size_t second = listed.out.find('\n') + 1;
    const std::string name = listed.out.substr(second, listed.out.find(" - ", second) - second);
    ASSERT_EQ(name, "Clean Tone");
    const std::string file =
        write("mine.vireon-sound",
              "vireon-sound 1\nname = Mine\ndescription =\nhavoc = 1\nbedlam = 60\n"
              "attack = 20\ndecay = 800\nsustain = 80\nrelease = 300\ndisorder = 1\nend\n")
            .string();
    const ProgramRun byName = run({"--sound", name, "--events", events, "-o", "-"});
    const ProgramRun byFile = run({"--sound", file, "--events", events, "-o", "-"});
    ASSERT_EQ(byName.exitStatus, 0) << byName.err;
    ASSERT_EQ(byFile.exitStatus, 0) << byFile.err;
    EXPECT_EQ(byName.out.size(), (12000 + 300 * 8 + 8000) * sizeof(float));
    EXPECT_EQ(byFile.out, byName.out);
    EXPECT_NE(run({"--events", events, "-o", "-"}).out, byName.out);
}

TEST_F(ToolProgram, BadInputExitsWithOneSentenceAndLeavesNoOutput) {
    const std::string goodEvents = write("good.txt", "0 0x90 69 100\n").string();
    const std::string badEvents =
        write("events.txt", "0 0x90 69 100\n# fine so far\n10 0x80 69\n").string();
    const std::string garbageMidi = write("garbage.mid", "this is not a MIDI file at all").string();
    const std::string wholeMidi = std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14) +
                                  std::string("MTrk\0\0\0\x08\0\x90\x45\x64\0\xFF\x2F\0", 16);
    const std::string truncatedMidi = write("truncated.mid", wholeMidi.substr(0, 25)).string();
    // Whole chunks, but a text event that claims more bytes than its track holds.
    const std::string damagedMidi =
        write("damaged.mid", test::midiFile({std::string("\0\xFF\x01\x7F\0\xFF\x2F\0", 8)}))
            .string();
    const std::string newerSound = write("new.vireon-sound", "vireon-sound 3\n").string();
    fs::create_directory(work_ / "taken.wav");
    const std::set<std::string> inputs = workFiles();

    struct Case {
        std::vector<std::string> args;
        std::string messagePart;
    };
    const std::string out = (work_ / "out.wav").string();
    const Case cases[] = {
        {{"--volume", "3", "-o", out}, "unknown option \"--volume\""},
        {{"--sound", newerSound, "-o", out}, "written by a newer version of Vireon"},
        {{"--events", badEvents, "-o", out}, "events.txt line 3: expected 4 numbers"},
        {{"--midi", garbageMidi, "-o", out}, "garbage.mid is not a usable Standard MIDI File"},
        {{"--midi", truncatedMidi, "-o", out}, "probably truncated"},
        {{"--midi", damagedMidi, "-o", out}, "damaged.mid is not a usable Standard MIDI File"},
        {{"--events", goodEvents, "-o", (work_ / "no-folder" / "x.wav").string()},
         "could not create the output file"},
        {{"--events", goodEvents, "-o", (work_ / "taken.wav").string()},
         "could not move the finished output"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.messagePart);
        const ProgramRun result = run(c.args);
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_EQ(result.err.rfind("vireon-render: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(c.messagePart), std::string::npos) << result.err;
        // One line: nothing from the libraries besides our sentence.
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        EXPECT_EQ(workFiles(), inputs);
    }
    EXPECT_TRUE(fs::is_empty(work_ / "taken.wav"));
}

}  // namespace
}  // namespace vireon::tools
