// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/render/RenderOptions.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "controls/Controls.h"
#include "instrument/ControllerText.h"
#include "settings/ControllerFile.h"
#include "sounds/FactorySounds.h"
#include "sounds/SoundFile.h"
#include "offline/NumberText.h"
#include "tools/render/ReadFile.h"

namespace vireon::tools {
namespace {

using controls::ControlId;
using offline::kDefaultBlockFrames;
using offline::kMaxBlockFrames;
using offline::kMaxRenderLength;
using offline::parseWholeNumber;
using offline::quoteForMessage;

bool endsWithWav(std::string_view path) {
    constexpr std::string_view kWav = ".wav";
    if (path.size() <= kWav.size()) {
        return false;
    }
    return std::equal(kWav.begin(), kWav.end(), path.end() - kWav.size(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

/// One command-line option: a flag that ends parsing, a whole number within a range, or a text
/// with its own check. The help text's option lines come from the same rows, in this order.
struct OptionRow {
    std::string name;
    /// What the help shows after the name ("FILE"); empty for a flag.
    std::string valueName = {};
    /// Its description in the help; each further line is indented under the first.
    std::string help = {};
    /// A flag: what parsing returns as soon as it meets it.
    ParsedCommandLine (*flag)() = nullptr;
    /// A number: its range and where it goes.
    std::uint64_t min = 0, max = 0;
    void (*storeNumber)(RenderOptions&, std::uint64_t) = nullptr;
    /// A text: stores it, or returns the sentence saying why it is refused.
    std::optional<std::string> (*storeText)(RenderOptions&, std::string_view) = nullptr;
    /// The envelope control a number sets, which --sound sets too unless this option is given.
    std::optional<ControlId> envelope = {};
    /// For a switch, the names its positions may be given by instead of their numbers.
    std::span<const std::string_view> valueNames = {};
};

template <typename T>
struct ValueOf {
    using type = T;
};
template <typename T>
struct ValueOf<std::optional<T>> {
    using type = T;
};

/// A whole-number option within [min, max] that goes into `Field`.
template <auto Field>
OptionRow numberRow(std::string name, std::string_view valueName, std::uint64_t min,
                    std::uint64_t max, std::string help) {
    return {.name = std::move(name),
            .valueName = std::string(valueName),
            .help = std::move(help),
            .min = min,
            .max = max,
            .storeNumber = [](RenderOptions& o, std::uint64_t v) {
                using Stored = std::remove_reference_t<decltype(o.*Field)>;
                o.*Field = static_cast<typename ValueOf<Stored>::type>(v);
            }};
}

std::string range(std::uint64_t min, std::uint64_t max) {
    return std::to_string(min) + " to " + std::to_string(max);
}

std::string rangeAndDefault(std::uint64_t min, std::uint64_t max, std::uint64_t initial) {
    return range(min, max) + " (default " + std::to_string(initial) + ")";
}

/// "--" and the symbol, whose underscores (which plugin ports need) become hyphens.
std::string optionName(const controls::Control& c) {
    std::string name = "--" + std::string(c.symbol);
    std::replace(name.begin(), name.end(), '_', '-');
    return name;
}

std::string inUnit(controls::Unit unit) {
    switch (unit) {
        case controls::Unit::Milliseconds:
            return " in milliseconds";
        case controls::Unit::Percent:
            return " in percent";
        case controls::Unit::Semitones:
            return " in semitones";
        case controls::Unit::Samples:
            return " in samples of 1/8000 s";
        case controls::Unit::None:
            break;
    }
    return {};
}

/// An envelope slider: always a position, the start-up one unless given.
template <auto Field>
OptionRow envelopeRow(ControlId id) {
    const controls::Control& c = controls::control(id);
    std::string help(c.name);
    help[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(help[0])));
    OptionRow row = numberRow<Field>(
        optionName(c), c.label, c.min, c.max,
        help + " slider" + inUnit(c.unit) + ", " + rangeAndDefault(c.min, c.max, c.initial));
    row.envelope = id;
    return row;
}

/// A switch's value name as a command line gives it: "last-held" for "last held".
std::string optionValueName(std::string_view name) {
    std::string text(name);
    std::replace(text.begin(), text.end(), ' ', '-');
    return text;
}

/// `text` broken into lines of at most `width` characters at its spaces, joined by newlines.
std::string wrapped(std::string_view text, std::size_t width) {
    std::string out;
    std::size_t lineStart = 0;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        if (out.size() > lineStart) {
            const bool fits = out.size() - lineStart + 1 + word.size() <= width;
            out += fits ? ' ' : '\n';
            lineStart = fits ? lineStart : out.size();
        }
        out += word;
        text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    }
    return out;
}

/// A playing control: a position, the start-up one unless given; a switch also takes the
/// names of its positions.
template <ControlId Id>
OptionRow playingRow() {
    static_assert(controls::isPlayingControl(Id));
    const controls::Control& c = controls::control(Id);
    std::string help = std::string(c.name) + inUnit(c.unit) + ", ";
    std::string valueName = "N";
    if (c.valueNames.empty()) {
        help += rangeAndDefault(c.min, c.max, c.initial);
    } else {
        valueName = "NAME";
        for (int position = c.min; position <= c.max; ++position) {
            const std::string name = optionValueName(*controls::valueName(c, position));
            help += std::to_string(position) + " or " + name +
                    (position == c.initial ? " (default)" : "") + (position == c.max ? "" : ", ");
        }
    }
    constexpr std::size_t kHelpWidth = 58;
    help += ".\n" + wrapped(c.description, kHelpWidth);
    return {.name = optionName(c),
            .valueName = std::move(valueName),
            .help = std::move(help),
            .min = static_cast<std::uint64_t>(c.min),
            .max = static_cast<std::uint64_t>(c.max),
            .storeNumber =
                [](RenderOptions& o, std::uint64_t v) {
                    o.playing[static_cast<std::size_t>(Id)] = static_cast<int>(v);
                },
            .envelope = Id,
            .valueNames = c.valueNames};
}

/// The sound --sound names: a factory sound, or else a sound file.
std::optional<std::string> storeSound(RenderOptions& options, std::string_view value) {
    if (const sounds::Sound* factory = sounds::findFactorySound(value)) {
        options.sound = *factory;
        return std::nullopt;
    }
    if (value.empty()) {
        return std::string("--sound needs a sound's name or a sound file, not an empty text.");
    }
    sounds::ParsedSound read = sounds::readSoundFile(std::string(value));
    if (auto* problem = std::get_if<std::string>(&read)) {
        return "--sound " + quoteForMessage(value) +
               " is no factory sound (vireon-render --list-sounds shows them), and as a sound "
               "file it is refused: " +
               *problem + ".";
    }
    options.sound = std::get<sounds::Sound>(std::move(read));
    return std::nullopt;
}

/// The program's controllers file. Where the program passes over a damaged line, the renderer
/// says which one: a rendering that silently ignores a binding would not sound as intended.
std::optional<std::string> storeControllers(RenderOptions& options, std::string_view value) {
    if (value.empty()) {
        return std::string("--controllers needs a file name, not an empty text.");
    }
    std::string text;
    if (auto reason = readWholeFile(std::string(value), settings::kMaxControllersFileBytes, text)) {
        return "could not read the controllers file " + quoteForMessage(value) + " (" + *reason +
               "); check the path given to --controllers.";
    }
    const instrument::ParsedControllers parsed = instrument::parseControllers(text);
    if (!parsed.damagedLines.empty()) {
        return quoteForMessage(value) + " line " + std::to_string(parsed.damagedLines.front()) +
               ": expected a control and a controller number from 0 to " +
               std::to_string(instrument::kControllerNumbers - 1) + ", such as \"havoc 21\".";
    }
    options.controllers = parsed.controllers;
    return std::nullopt;
}

/// A chaos slider: without the option the start-up value stays as it is, not recomputed from
/// a position, so the help names none.
template <auto Field>
OptionRow chaosRow(ControlId id) {
    const controls::Control& c = controls::control(id);
    return numberRow<Field>(optionName(c), "N", c.min, c.max,
                            std::string(c.name) + " slider position, " + range(c.min, c.max) +
                                " (default: the start-up value)");
}

std::optional<std::string> storeInputPath(std::string_view option, std::string& path,
                                          std::string_view value) {
    if (value.empty()) {
        return std::string(option) + " needs a file name, not an empty text.";
    }
    path = value;
    return std::nullopt;
}

const std::vector<OptionRow>& optionTable() {
    using O = RenderOptions;
    const controls::Control& disorder = controls::control(ControlId::Disorder);
    static const std::vector<OptionRow> table = {
        {.name = "--events",
         .valueName = "FILE",
         .help = "lines of \"<sample> <status> <data1> <data2>\", each number decimal\n"
                 "or 0x hex; '#' starts a comment. Each message is handled just\n"
                 "before its sample is rendered; sample numbers must not decrease.",
         .storeText =
             [](O& o, std::string_view v) { return storeInputPath("--events", o.eventsPath, v); }},
        {.name = "--midi",
         .valueName = "FILE.mid",
         .help = "a Standard MIDI File: the channel messages and real-time bytes of\n"
                 "all its tracks, each at the sample nearest its time (ties to even).",
         .storeText = [](O& o,
                         std::string_view v) { return storeInputPath("--midi", o.midiPath, v); }},
        numberRow<&O::length>("--length", "SAMPLES", 0, kMaxRenderLength,
                              "samples to render, at most " + std::to_string(kMaxRenderLength) +
                                  " (default: the last message's sample\n"
                                  "plus the release time plus 8000). Later messages are not "
                                  "played."),
        {.name = "--sound",
         .valueName = "NAME",
         .help = "start from a factory sound (see --list-sounds) or from a sound\n"
                 "file, which NAME then names; the control options below\n"
                 "change single controls of it.",
         .storeText = storeSound},
        envelopeRow<&O::attack>(ControlId::Attack),
        envelopeRow<&O::decay>(ControlId::Decay),
        envelopeRow<&O::sustain>(ControlId::Sustain),
        envelopeRow<&O::release>(ControlId::Release),
        playingRow<ControlId::Fade>(),
        playingRow<ControlId::Velocity>(),
        playingRow<ControlId::Bend>(),
        playingRow<ControlId::Glide>(),
        playingRow<ControlId::GlideMode>(),
        playingRow<ControlId::Pedal>(),
        playingRow<ControlId::Priority>(),
        chaosRow<&O::havoc>(ControlId::Havoc),
        chaosRow<&O::bedlam>(ControlId::Bedlam),
        {.name = optionName(disorder),
         .valueName = "TEXT",
         .help = std::string(disorder.name) + " as the settings file holds it (default: " +
                 std::to_string(disorder.initial) + ")",
         .storeText = [](O& o, std::string_view v) -> std::optional<std::string> {
             o.disorder = std::string(v);
             return std::nullopt;
         }},
        {.name = "--controllers",
         .valueName = "MAP",
         .help = "a file of the MIDI controllers the program has learned, such as its\n"
                 "controllers.txt: channel-1 control changes move the controls bound\n"
                 "to them, the whole range over the values 0 to 127, as in the\n"
                 "program (where Disorder waits for the next start).",
         .storeText = storeControllers},
        numberRow<&O::blockFrames>("--block", "N", 1, kMaxBlockFrames,
                                   "frames per render call, " +
                                       rangeAndDefault(1, kMaxBlockFrames, kDefaultBlockFrames) +
                                       "; the output\nis the same for every block size."),
        numberRow<&O::rate>(
            "--rate", "R", rate::kMinOutputRate, rate::kMaxOutputRate,
            "output frames per second, " +
                rangeAndDefault(rate::kMinOutputRate, rate::kMaxOutputRate, rate::kMinOutputRate) +
                ". Any rate but\n8000 goes through a band-limited converter, at half the "
                "level; --length\nand the messages still count samples at 8000 per second."),
        {.name = "-o",
         .valueName = "OUT",
         .help = "OUT.wav: a 32-bit float mono WAV file at the output rate;\n"
                 "-: raw little-endian float32 samples on standard output.",
         .storeText = [](O& o, std::string_view v) -> std::optional<std::string> {
             if (!isStandardOutput(v) && !endsWithWav(v)) {
                 return "the output " + quoteForMessage(v) +
                        " is neither a .wav file nor -; write -o OUT.wav for a WAV file or -o - "
                        "for raw float32 samples on standard output.";
             }
             o.outputPath = v;
             return std::nullopt;
         }},
        {.name = "--help",
         .help = "show this text.",
         .flag = []() -> ParsedCommandLine { return HelpRequest{}; }},
        {.name = "--version",
         .help = "show the version and the licence.",
         .flag = []() -> ParsedCommandLine { return VersionRequest{}; }},
        {.name = "--list-sounds",
         .help = "list the factory sounds.",
         .flag = []() -> ParsedCommandLine { return ListSoundsRequest{}; }},
    };
    return table;
}

}  // namespace

bool isStandardOutput(std::string_view path) {
    return path == "-";
}

ParsedCommandLine parseRenderOptions(std::span<const std::string_view> args) {
    const std::vector<OptionRow>& table = optionTable();
    RenderOptions options;
    // A repeated option is refused rather than silently overriding the first one.
    std::vector<std::string_view> seen;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const auto row = std::find_if(table.begin(), table.end(),
                                      [&](const OptionRow& r) { return r.name == arg; });
        if (row == table.end()) {
            if (arg.size() > 1 && arg[0] == '-') {
                return "unknown option " + quoteForMessage(arg) +
                       "; run vireon-render --help to see the options.";
            }
            return "unexpected argument " + quoteForMessage(arg) +
                   "; every value must follow its option, for example --events FILE.";
        }
        if (row->flag) {
            return row->flag();
        }
        if (i + 1 == args.size()) {
            return std::string(arg) + " needs a value after it; run vireon-render --help.";
        }
        if (std::find(seen.begin(), seen.end(), arg) != seen.end()) {
            return std::string(arg) + " is given more than once; give it once.";
        }
        seen.push_back(arg);
        const std::string_view value = args[++i];

        if (row->storeNumber) {
            std::optional<std::uint64_t> number = parseWholeNumber(value);
            for (std::size_t at = 0; at < row->valueNames.size() && !number; ++at) {
                if (optionValueName(row->valueNames[at]) == value) {
                    number = row->min + at;
                }
            }
            if (!number || *number < row->min || *number > row->max) {
                std::string names;
                for (const std::string_view name : row->valueNames) {
                    names += " or " + optionValueName(name);
                }
                return std::string(arg) + " must be a whole number from " +
                       range(row->min, row->max) + names + ", not " + quoteForMessage(value) + ".";
            }
            row->storeNumber(options, *number);
        } else if (auto error = row->storeText(options, value)) {
            return *error;
        }
    }

    if (options.sound) {
        // A sound applies as a host applies a preset; the envelope options given win over it.
        for (const OptionRow& row : table) {
            if (row.envelope && std::find(seen.begin(), seen.end(), row.name) == seen.end()) {
                row.storeNumber(options,
                                static_cast<std::uint64_t>(options.sound->position(*row.envelope)));
            }
        }
    }
    if (!options.eventsPath.empty() && !options.midiPath.empty()) {
        return std::string("--events and --midi cannot be used together; give one of them.");
    }
    if (!rate::isSupportedOutputRate(options.rate)) {
        return std::string(
            "this build has no rate converter; leave out --rate, or give --rate 8000.");
    }
    if (options.outputPath.empty()) {
        return std::string(
            "no output given; add -o OUT.wav for a WAV file or -o - for raw float32 samples on "
            "standard output.");
    }
    return options;
}

std::string usageText() {
    // The synopsis groups and orders the options by hand; the option lines follow the table.
    std::string text =
        "Usage: vireon-render [--events FILE | --midi FILE.mid] [--length SAMPLES]\n"
        "                     [--sound NAME] [--attack A] [--decay D] [--sustain S]\n"
        "                     [--release R] [--fade N] [--velocity N] [--bend N]\n"
        "                     [--glide N] [--glide-mode NAME] [--pedal NAME]\n"
        "                     [--priority NAME] [--havoc N] [--bedlam N]\n"
        "                     [--disorder TEXT] [--controllers MAP] [--block N]\n"
        "                     [--rate R] -o OUT\n"
        "\n"
        "Renders the synthesizer's sound offline, 8000 mono samples per second (or carried to\n"
        "--rate), starting from the state the application starts in and playing the given\n"
        "MIDI messages.\n"
        "\n";
    constexpr std::size_t kHelpColumn = 20;
    for (const OptionRow& row : optionTable()) {
        std::string label = "  " + std::string(row.name);
        if (!row.valueName.empty()) {
            label += ' ' + std::string(row.valueName);
        }
        label.resize(std::max(kHelpColumn, label.size() + 1), ' ');
        text += label;
        for (const char c : row.help) {
            text += c;
            if (c == '\n') {
                text.append(kHelpColumn, ' ');
            }
        }
        text += '\n';
    }
    text +=
        "\n"
        "Exit status: 0 on success, 2 when the input is unusable or the output cannot be\n"
        "written; then no output file is left behind.\n";
    return text;
}

std::string soundListText() {
    std::string text;
    for (const sounds::Sound& sound : sounds::factorySounds()) {
        text += sound.name + " - " + sound.description + '\n';
    }
    return text;
}

std::string versionText() {
    return "vireon-render " VIREON_VERSION
           "\n"
           "License GPL-3.0-or-later: GNU GPL version 3 or later "
           "<https://gnu.org/licenses/gpl.html>.\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n";
}

}  // namespace vireon::tools
