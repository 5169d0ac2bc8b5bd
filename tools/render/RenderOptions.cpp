#include "tools/render/RenderOptions.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "tools/render/NumberText.h"

namespace vireon::tools {
namespace {

using engine::AdsrSettings;

constexpr int kSliderMin = 1;
constexpr int kSliderMax = 100;

bool endsWithWav(std::string_view path) {
    constexpr std::string_view kWav = ".wav";
    if (path.size() <= kWav.size()) {
        return false;
    }
    return std::equal(kWav.begin(), kWav.end(), path.end() - kWav.size(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

/// The value of a numeric option if it is a whole number within [min, max]; else the sentence.
std::variant<std::uint64_t, std::string> boundedValue(std::string_view option,
                                                      std::string_view text, std::uint64_t min,
                                                      std::uint64_t max) {
    const std::optional<std::uint64_t> value = parseWholeNumber(text);
    if (!value || *value < min || *value > max) {
        return std::string(option) + " must be a whole number from " + std::to_string(min) +
               " to " + std::to_string(max) + ", not " + quoteForMessage(text) + ".";
    }
    return *value;
}

}  // namespace

bool isStandardOutput(std::string_view path) {
    return path == "-";
}

std::variant<RenderOptions, HelpRequest, std::string> parseRenderOptions(
    std::span<const std::string_view> args) {
    // Each option with a number: its range and where its value goes.
    struct NumericOption {
        std::string_view name;
        std::uint64_t min, max;
        void (*store)(RenderOptions&, std::uint64_t);
    };
    static constexpr NumericOption kNumericOptions[] = {
        {"--length", 0, kMaxRenderLength,
         [](RenderOptions& o, std::uint64_t v) { o.length = static_cast<std::uint32_t>(v); }},
        {"--attack", AdsrSettings::kAttackMin, AdsrSettings::kAttackMax,
         [](RenderOptions& o, std::uint64_t v) { o.attack = static_cast<std::int32_t>(v); }},
        {"--decay", AdsrSettings::kDecayMin, AdsrSettings::kDecayMax,
         [](RenderOptions& o, std::uint64_t v) { o.decay = static_cast<std::int32_t>(v); }},
        {"--sustain", AdsrSettings::kSustainMin, AdsrSettings::kSustainMax,
         [](RenderOptions& o, std::uint64_t v) { o.sustain = static_cast<std::int32_t>(v); }},
        {"--release", AdsrSettings::kReleaseMin, AdsrSettings::kReleaseMax,
         [](RenderOptions& o, std::uint64_t v) { o.release = static_cast<std::int32_t>(v); }},
        {"--havoc", kSliderMin, kSliderMax,
         [](RenderOptions& o, std::uint64_t v) { o.havoc = static_cast<int>(v); }},
        {"--bedlam", kSliderMin, kSliderMax,
         [](RenderOptions& o, std::uint64_t v) { o.bedlam = static_cast<int>(v); }},
        {"--block", 1, kMaxBlockFrames,
         [](RenderOptions& o, std::uint64_t v) { o.blockFrames = static_cast<std::uint32_t>(v); }},
    };
    static constexpr std::string_view kTextOptions[] = {"--events", "--midi", "--disorder", "-o"};

    RenderOptions options;
    // A repeated option is refused rather than silently overriding the first one.
    std::vector<std::string_view> seen;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help") {
            return HelpRequest{};
        }
        const auto numeric = std::find_if(std::begin(kNumericOptions), std::end(kNumericOptions),
                                          [&](const NumericOption& o) { return o.name == arg; });
        const bool isNumeric = numeric != std::end(kNumericOptions);
        if (!isNumeric && std::find(std::begin(kTextOptions), std::end(kTextOptions), arg) ==
                              std::end(kTextOptions)) {
            if (arg.size() > 1 && arg[0] == '-') {
                return "unknown option " + quoteForMessage(arg) +
                       "; run vireon-render --help to see the options.";
            }
            return "unexpected argument " + quoteForMessage(arg) +
                   "; every value must follow its option, for example --events FILE.";
        }
        if (i + 1 == args.size()) {
            return std::string(arg) + " needs a value after it; run vireon-render --help.";
        }
        if (std::find(seen.begin(), seen.end(), arg) != seen.end()) {
            return std::string(arg) + " is given more than once; give it once.";
        }
        seen.push_back(arg);
        const std::string_view value = args[++i];

        if (isNumeric) {
            auto number = boundedValue(arg, value, numeric->min, numeric->max);
            if (auto* error = std::get_if<std::string>(&number)) {
                return *error;
            }
            numeric->store(options, std::get<std::uint64_t>(number));
        } else if (arg == "--events" || arg == "--midi") {
            if (value.empty()) {
                return std::string(arg) + " needs a file name, not an empty text.";
            }
            (arg == "--events" ? options.eventsPath : options.midiPath) = value;
        } else if (arg == "--disorder") {
            options.disorder = std::string(value);
        } else {
            if (!isStandardOutput(value) && !endsWithWav(value)) {
                return "the output " + quoteForMessage(value) +
                       " is neither a .wav file nor -; write -o OUT.wav for a WAV file or -o - "
                       "for raw float32 samples on standard output.";
            }
            options.outputPath = value;
        }
    }

    if (!options.eventsPath.empty() && !options.midiPath.empty()) {
        return std::string("--events and --midi cannot be used together; give one of them.");
    }
    if (options.outputPath.empty()) {
        return std::string(
            "no output given; add -o OUT.wav for a WAV file or -o - for raw float32 samples on "
            "standard output.");
    }
    return options;
}

std::string usageText() {
    const auto range = [](auto min, auto max) {
        return std::to_string(min) + " to " + std::to_string(max);
    };
    return "Usage: vireon-render [--events FILE | --midi FILE.mid] [--length SAMPLES]\n"
           "                     [--attack A] [--decay D] [--sustain S] [--release R]\n"
           "                     [--havoc N] [--bedlam N] [--disorder TEXT] [--block N] -o OUT\n"
           "\n"
           "Renders the synthesizer's sound offline, 8000 mono samples per second, starting from\n"
           "the state the application starts in and playing the given MIDI messages.\n"
           "\n"
           "  --events FILE     lines of \"<sample> <status> <data1> <data2>\", each number "
           "decimal\n"
           "                    or 0x hex; '#' starts a comment. Each message is handled just\n"
           "                    before its sample is rendered; sample numbers must not decrease.\n"
           "  --midi FILE.mid   a Standard MIDI File: the channel messages and real-time bytes of\n"
           "                    all its tracks, each at the sample nearest its time (ties to "
           "even).\n"
           "  --length SAMPLES  samples to render, at most " +
           std::to_string(kMaxRenderLength) +
           " (default: the last message's sample\n"
           "                    plus the release time plus 8000). Later messages are not played.\n"
           "  --attack A        attack slider, " +
           range(AdsrSettings::kAttackMin, AdsrSettings::kAttackMax) + " (default " +
           std::to_string(AdsrSettings::kAttackInitial) +
           ")\n"
           "  --decay D         decay slider in milliseconds, " +
           range(AdsrSettings::kDecayMin, AdsrSettings::kDecayMax) + " (default " +
           std::to_string(AdsrSettings::kDecayInitial) +
           ")\n"
           "  --sustain S       sustain slider in percent, " +
           range(AdsrSettings::kSustainMin, AdsrSettings::kSustainMax) + " (default " +
           std::to_string(AdsrSettings::kSustainInitial) +
           ")\n"
           "  --release R       release slider in milliseconds, " +
           range(AdsrSettings::kReleaseMin, AdsrSettings::kReleaseMax) + " (default " +
           std::to_string(AdsrSettings::kReleaseInitial) +
           ")\n"
           "  --havoc N         Havoc slider position, " +
           range(kSliderMin, kSliderMax) +
           " (default: the start-up value)\n"
           "  --bedlam N        Bedlam slider position, " +
           range(kSliderMin, kSliderMax) +
           " (default: the start-up value)\n"
           "  --disorder TEXT   Disorder as the settings file holds it (default: 10)\n"
           "  --block N         frames per render call, " +
           range(1, kMaxBlockFrames) + " (default " + std::to_string(kDefaultBlockFrames) +
           "); the output\n"
           "                    is the same for every block size.\n"
           "  -o OUT            OUT.wav: a 32-bit float mono WAV file at 8000 Hz;\n"
           "                    -: raw little-endian float32 samples on standard output.\n"
           "  --help            show this text.\n"
           "\n"
           "Exit status: 0 on success, 2 when the input is unusable or the output cannot be\n"
           "written; then no output file is left behind.\n";
}

}  // namespace vireon::tools
