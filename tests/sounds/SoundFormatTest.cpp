// SPDX-License-Identifier: GPL-3.0-or-later
// The sound text format: what it reads back, what it refuses and why, and the factory sounds.

#include "sounds/SoundFormat.h"

#include <gtest/gtest.h>

#include <string>

#include "sounds/FactorySounds.h"

namespace vireon::sounds {
namespace {

// A sound of format 1: the controls it holds, and the playing controls at their start-up positions.
Sound firstFormatSound(
    std::string name, std::string description,
    std::array<int, static_cast<std::size_t>(controls::kFirstPlayingControl)> held) {
    Sound sound{std::move(name), std::move(description), {}};
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        sound.positions[i] = i < held.size() ? held[i] : controls::kControls[i].initial;
    }
    return sound;
}

const Sound kBells =
    firstFormatSound("Glass Bells", "Bright strikes, a long tail.", {72, 15, 1, 800, 0, 2000, 10});

const std::string kBellsText =
    "vireon-sound 1\n"
    "name = Glass Bells\n"
    "description = Bright strikes, a long tail.\n"
    "havoc = 72\nbedlam = 15\nattack = 1\ndecay = 800\nsustain = 0\nrelease = 2000\n"
    "disorder = 10\n"
    "end\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

TEST(SoundFormat, WritesAndReadsBackEverything) {
    EXPECT_EQ(formatSound(kBells), kBellsText);
    EXPECT_EQ(std::get<Sound>(parseSound(kBellsText)), kBells);
    // Order, spacing, comments, blank lines, CR LF and UTF-8 are the writer's choice.
    const std::string loose =
        "# mine\r\n\r\n  vireon-sound\t01\r\ndisorder=50\r\nname =  Öl auf Glas \r\n"
        "description =\r\nhavoc=1\r\nbedlam=100\r\nattack=2000\r\ndecay=5000\r\nsustain=100\r\n"
        "release=1\r\nend\r\n# trailing comment";
    EXPECT_EQ(std::get<Sound>(parseSound(loose)),
              firstFormatSound("Öl auf Glas", "", {1, 100, 2000, 5000, 100, 1, 50}));

    // Any playing control away from its start makes it format 2, which holds every control.
    Sound playing = kBells;
    playing.positions[static_cast<std::size_t>(controls::ControlId::Priority)] = 1;
    const std::string playingText = formatSound(playing);
    EXPECT_EQ(playingText, replaced(replaced(kBellsText, "sound 1", "sound 2"), "end\n",
                                    "fade = 1000\nvelocity = 0\nbend = 0\nglide = 0\n"
                                    "glide_mode = 0\npedal = 0\npriority = 1\nend\n"));
    EXPECT_EQ(std::get<Sound>(parseSound(playingText)), playing);
}

TEST(SoundFormat, RefusesEveryKindOfDamageSayingWhy) {
    struct Case {
        std::string text;
        std::string reason;
    };
    const Case cases[] = {
        {"", "it is empty"},
        {"\x89PNG\r\n\x1a\n", "it is not a Vireon sound: line 1 should be \"vireon-sound 1\""},
        {replaced(kBellsText, "vireon-sound 1", "vireon-sound"), "it is not a Vireon sound"},
        {replaced(kBellsText, "vireon-sound 1", "vireon-sound 0"), "it is not a Vireon sound"},
        {replaced(kBellsText, "vireon-sound 1", "vireon-sound 3"),
         "written by a newer version of Vireon (sound format 3; this version reads format 2)"},
        {replaced(kBellsText, "vireon-sound 1", "vireon-sound 2"), "it has no value for fade"},
        {replaced(kBellsText, "end\n", "pedal = 1\nend\n"), "unknown entry \"pedal\""},
        {replaced(kBellsText, "vireon-sound 1", "vireon-sound 99999999999999999999"),
         "newer version"},
        {kBellsText.substr(0, kBellsText.size() - 4), "ends before its closing line \"end\""},
        {kBellsText.substr(0, kBellsText.find("disorder")), "ends before its closing line"},
        {replaced(kBellsText, "havoc = 72", "havoc = 150"),
         "line 4 gives havoc as \"150\", outside its range of 1 to 100"},
        {replaced(kBellsText, "sustain = 0", "sustain = -1"), "outside its range of 0 to 100"},
        {replaced(kBellsText, "decay = 800", "decay = 99999999999999999999"), "outside its range"},
        {replaced(kBellsText, "decay = 800", "decay = 8e2"),
         "\"8e2\", which is not a whole number"},
        {replaced(kBellsText, "decay = 800", "decay ="), "\"\", which is not a whole number"},
        {replaced(kBellsText, "bedlam = 15", "bedlam 15"), "line 5 is not of the form"},
        {replaced(kBellsText, "bedlam = 15", "loudness = 15"), "unknown entry \"loudness\""},
        {replaced(kBellsText, "bedlam = 15", "havoc = 15"), "gives \"havoc\" a second time"},
        {replaced(kBellsText, "name = Glass Bells\n", ""), "it has no name"},
        {replaced(kBellsText, "name = Glass Bells", "name ="), "the name is empty"},
        {replaced(kBellsText, "Glass Bells", std::string(65, 'x')), "longer than 64 bytes"},
        {replaced(kBellsText, "Glass Bells", "Glass\x01"), "holds control characters"},
        {replaced(kBellsText, "Glass Bells", "Glas\xE9"), "is not UTF-8 text"},
        {replaced(kBellsText, "Glass Bells", "Glass\xF8\x88\x80"), "is not UTF-8 text"},
        {replaced(kBellsText, "release = 2000\n", ""), "it has no value for release"},
        {kBellsText + "havoc = 3\n", "line 12 follows the closing line"},
    };
    for (const Case& c : cases) {
        const ParsedSound parsed = parseSound(c.text);
        const auto* reason = std::get_if<std::string>(&parsed);
        ASSERT_NE(reason, nullptr) << c.reason;
        EXPECT_NE(reason->find(c.reason), std::string::npos) << *reason;
    }
}

TEST(SoundFormat, FactorySoundsAreManyDistinctAndValid) {
    // Read from share/ at build time: the same text the plugin's presets are made from.
    const auto list = parseSoundList(factorySoundsText());
    ASSERT_TRUE(std::holds_alternative<std::vector<Sound>>(list)) << std::get<std::string>(list);
    ASSERT_GE(factorySounds().size(), 16u);
    for (const Sound& sound : factorySounds()) {
        EXPECT_EQ(checkSound(sound), "") << sound.name;
        EXPECT_FALSE(sound.description.empty()) << sound.name;
        EXPECT_EQ(findFactorySound(sound.name), &sound);
    }
    EXPECT_EQ(findFactorySound("GLASS bells"), findFactorySound("Glass Bells"));
    EXPECT_EQ(findFactorySound("no such sound"), nullptr);
    EXPECT_NE(std::get<std::string>(parseSoundList(kBellsText + kBellsText)).find("two sounds"),
              std::string::npos);
}

}  // namespace
}  // namespace vireon::sounds
