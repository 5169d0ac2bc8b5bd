// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/render/RenderOptions.h"

#include <gtest/gtest.h>

#include <sstream>

#include <string>
#include <vector>
#include "sounds/FactorySounds.h"

namespace vireon::tools {
namespace {

ParsedCommandLine parse(std::vector<std::string_view> args) {
    return parseRenderOptions(args);
}

TEST(ToolOptions, TakesValuesAsGiven) {
    auto result =
        parse({"--length", "0x10", "--disorder", "-5", "--block", "1048576", "-o", "OUT.WAV"});
    ASSERT_TRUE(std::holds_alternative<RenderOptions>(result)) << std::get<std::string>(result);
    const RenderOptions& o = std::get<RenderOptions>(result);
    EXPECT_EQ(o.length, 16u);
    // The Disorder text goes to the settings-file parser as it is, sign and all.
    EXPECT_EQ(o.disorder, "-5");
    EXPECT_EQ(o.blockFrames, 1048576u);
    // A switch takes its position or its name.
    const auto named =
        parse({"--priority", "last-held", "--glide-mode", "1", "--bend", "24", "-o", "-"});
    ASSERT_TRUE(std::holds_alternative<RenderOptions>(named)) << std::get<std::string>(named);
    const auto& playing = std::get<RenderOptions>(named).playing;
    EXPECT_EQ(playing[static_cast<std::size_t>(controls::ControlId::Priority)], 1);
    EXPECT_EQ(playing[static_cast<std::size_t>(controls::ControlId::GlideMode)], 1);
    EXPECT_EQ(playing[static_cast<std::size_t>(controls::ControlId::Bend)], 24);
    EXPECT_EQ(playing[static_cast<std::size_t>(controls::ControlId::Fade)], 1000);

    EXPECT_TRUE(std::holds_alternative<HelpRequest>(parse({"--help", "--attack", "9999"})));
    EXPECT_TRUE(std::holds_alternative<VersionRequest>(parse({"--version", "--help"})));
    // A value is taken as it is, even when it looks like an option.
    EXPECT_TRUE(std::holds_alternative<RenderOptions>(parse({"--disorder", "--help", "-o", "-"})));
}

TEST(ToolOptions, SoundSetsEveryControlAndTheOptionsBesideItWin) {
    const sounds::Sound& sound = sounds::factorySounds().back();
    std::string name = sound.name;
    name[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
    auto result = parse({"--decay", "7", "--sound", name, "--havoc", "3", "-o", "-"});
    ASSERT_TRUE(std::holds_alternative<RenderOptions>(result)) << std::get<std::string>(result);
    const RenderOptions& o = std::get<RenderOptions>(result);
    EXPECT_EQ(o.sound, sound);
    EXPECT_EQ(o.attack, sound.position(controls::ControlId::Attack));
    EXPECT_EQ(o.decay, 7);
    EXPECT_EQ(o.sustain, sound.position(controls::ControlId::Sustain));
    EXPECT_EQ(o.release, sound.position(controls::ControlId::Release));
    EXPECT_EQ(o.havoc, 3);
    EXPECT_TRUE(std::holds_alternative<ListSoundsRequest>(parse({"--list-sounds"})));
    EXPECT_NE(soundListText().find(sound.name + " - " + sound.description + "\n"),
              std::string::npos);
}

TEST(ToolOptions, RefusesBadCommandLinesWithOneSentence) {
    struct Case {
        std::vector<std::string_view> args;
        std::string messagePart;
    };
    const Case cases[] = {
        {{"--loudness", "3", "-o", "-"}, "unknown option \"--loudness\""},
        {{"--pedal", "down", "-o", "-"},
         "--pedal must be a whole number from 0 to 1 or off or on, not \"down\"."},
        {{"--bend", "25", "-o", "-"}, "--bend must be a whole number from 0 to 24, not"},
        {{"-o", "-", "extra"}, "unexpected argument \"extra\""},
        {{"-o", "-", "--attack"}, "--attack needs a value"},
        {{"--attack", "0", "-o", "-"}, "--attack must be a whole number from 1 to 2000, not \"0\""},
        {{"--decay", "5001", "-o", "-"}, "--decay must be a whole number from 1 to 5000"},
        {{"--sustain", "101", "-o", "-"}, "--sustain must be a whole number from 0 to 100"},
        {{"--release", "0", "-o", "-"}, "--release must be a whole number from 1 to 5000"},
        {{"--havoc", "101", "-o", "-"}, "--havoc must be a whole number from 1 to 100"},
        {{"--bedlam", "ten", "-o", "-"}, "not \"ten\""},
        {{"--block", "0", "-o", "-"}, "--block must be a whole number from 1 to 1048576"},
        {{"--length", "1000000001", "-o", "-"}, "from 0 to 1000000000"},
        {{"--length", "99999999999999999999999", "-o", "-"}, "--length must be"},
        {{"--events", "a.txt", "--midi", "b.mid", "-o", "-"}, "cannot be used together"},
        {{"--events", "a.txt"}, "no output given"},
        {{"-o", "out.mp3"}, "\"out.mp3\" is neither a .wav file nor -"},
        {{"--havoc", "3", "--havoc", "4", "-o", "-"}, "--havoc is given more than once"},
        {{"-o", "a.wav", "-o", "b.wav"}, "-o is given more than once"},
        {{"--events", "", "-o", "-"}, "--events needs a file name"},
        {{"--controllers", "no/such/file", "-o", "-"},
         "could not read the controllers file \"no/such/file\""},
        {{"--sound", "no such sound", "-o", "-"},
         "--sound \"no such sound\" is no factory sound (vireon-render --list-sounds shows "
         "them), and as a sound file it is refused: there is no such file."},
    };
    for (const Case& c : cases) {
        auto result = parse(c.args);
        const auto* error = std::get_if<std::string>(&result);
        ASSERT_NE(error, nullptr) << c.messagePart;
        EXPECT_NE(error->find(c.messagePart), std::string::npos) << *error;
        EXPECT_EQ(error->back(), '.') << *error;
        EXPECT_EQ(error->find('\n'), std::string::npos) << *error;
    }
}

TEST(ToolOptions, HelpDescribesEachOptionTheParserKnowsInOneColumn) {
    std::istringstream usage(usageText());
    int described = 0;
    for (std::string line; std::getline(usage, line);) {
        if (line.rfind("  -", 0) != 0) {
            continue;
        }
        ++described;
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        auto result = parse({name, "1", "-o", "-"});
        const auto* error = std::get_if<std::string>(&result);
        EXPECT_TRUE(error == nullptr || error->find("unknown option") == std::string::npos) << line;
        // Every description starts at the same column, after at least one space.
        ASSERT_GT(line.size(), 20u) << line;
        EXPECT_EQ(line[19], ' ') << line;
        EXPECT_NE(line[20], ' ') << line;
    }
    EXPECT_EQ(described, 25);
}

TEST(ToolOptions, VersionNamesTheProgramAndTheReleaseItBelongsTo) {
    EXPECT_EQ(versionText().substr(0, versionText().find('\n')),
              std::string("vireon-render ") + VIREON_VERSION);
}

}  // namespace
}  // namespace vireon::tools
