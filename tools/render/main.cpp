// SPDX-License-Identifier: GPL-3.0-or-later
// vireon-render: renders the synthesizer's output offline from a list of MIDI messages.

#include <signal.h>

#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "offline/OfflineRender.h"
#include "tools/render/ReadFile.h"
#include "tools/render/RenderOptions.h"
#include "tools/render/SampleOutput.h"

namespace {

using namespace vireon::tools;
using namespace vireon::offline;

/// Unusable input or output: the documented exit status for every refusal.
constexpr int kExitRefused = 2;

int refuse(const std::string& sentence) {
    std::cerr << "vireon-render: " << sentence << '\n';
    return kExitRefused;
}

int run(std::span<const std::string_view> args) {
    auto parsed = parseRenderOptions(args);
    if (!std::holds_alternative<RenderOptions>(parsed) &&
        !std::holds_alternative<std::string>(parsed)) {
        std::cout << (std::holds_alternative<HelpRequest>(parsed)      ? usageText()
                      : std::holds_alternative<VersionRequest>(parsed) ? versionText()
                                                                       : soundListText());
        std::cout.flush();
        return std::cout ? 0 : kExitRefused;
    }
    if (auto* error = std::get_if<std::string>(&parsed)) {
        return refuse(*error);
    }
    const RenderOptions& options = std::get<RenderOptions>(parsed);

    std::vector<TimedMessage> messages;
    if (!options.eventsPath.empty() || !options.midiPath.empty()) {
        auto read = options.eventsPath.empty() ? readMidiFile(options.midiPath)
                                               : readEventsFile(options.eventsPath);
        if (auto* error = std::get_if<std::string>(&read)) {
            return refuse(*error);
        }
        messages = std::get<std::vector<TimedMessage>>(std::move(read));
    }

    const std::uint64_t length =
        options.length ? *options.length : defaultRenderLength(messages, options.release);
    if (length > kMaxRenderLength) {
        // Only the default can be too long: --length itself is range-checked.
        return refuse("the messages run so late that the rendering would be " +
                      std::to_string(length) + " samples long, more than the limit of " +
                      std::to_string(kMaxRenderLength) + "; give a shorter --length.");
    }

    if (outputFrames(options, length) > kMaxRenderLength) {
        return refuse("at " + std::to_string(options.rate) +
                      " frames per second the rendering "
                      "would be " +
                      std::to_string(outputFrames(options, length)) +
                      " frames long, more than the limit of " + std::to_string(kMaxRenderLength) +
                      "; give a shorter --length or a lower --rate.");
    }

    SampleOutput output;
    if (auto error = output.open(options.outputPath, options.rate)) {
        return refuse(*error);
    }
    std::optional<std::string> writeError;
    renderOffline(options, messages, static_cast<std::uint32_t>(length),
                  [&](std::span<const float> block) {
                      writeError = output.write(block);
                      return !writeError;
                  });
    if (writeError) {
        return refuse(*writeError);
    }
    if (auto error = output.finish()) {
        return refuse(*error);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
    // A closed pipe on standard output is reported as a write failure, not a silent death.
    // (Windows has no such signal: the write fails by itself.)
    ::signal(SIGPIPE, SIG_IGN);
#endif
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return run(args);
}
