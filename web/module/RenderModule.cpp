// SPDX-License-Identifier: GPL-3.0-or-later
// The C interface of the module the page renders files with, in its render worker: the offline
// renderer that vireon-render uses too, with its MIDI file and events file readers, kept apart from the
// module the page plays with, which loads at every visit. JavaScript calls __wasm_call_ctors
// once before anything else, since the engine's tables are built by static constructors.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "controls/Controls.h"
#include "instrument/Instrument.h"
#include "offline/EventsFile.h"
#include "offline/MidiFileReader.h"
#include "offline/OfflineRender.h"
#include "rate/RateRenderer.h"

namespace {

using vireon::controls::ControlId;
using vireon::instrument::Instrument;
using vireon::offline::EventsFileError;
using vireon::offline::RenderSettings;
using vireon::offline::TimedMessage;

std::string lastError;

const char* refuse(std::string sentence) {
    lastError = std::move(sentence);
    return lastError.c_str();
}

enum class InputKind : std::uint32_t { None = 0, Events = 1, Midi = 2 };

}  // namespace

extern "C" {

// The JavaScript side of an offline rendering: told the length first, then handed each block.
// Returning 0 from vireon_write stops the rendering.
__attribute__((import_module("env"), import_name("vireon_begin"))) void vireon_begin(double frames);
__attribute__((import_module("env"), import_name("vireon_write"))) int vireon_write(
    const float* samples, std::uint32_t count);

/// Room for `size` bytes of input, or null. Never freed: each rendering has a fresh instance.
void* vireon_alloc(std::uint32_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

/// Renders a file as vireon-render does: `kind` 1 for an events file, 2 for a Standard MIDI
/// File, 0 for none; `name` names it in messages. `positions` holds a position for each
/// control of the table (the playing controls included), or 0 to leave Havoc, Bedlam or
/// Disorder at their start-up values;
/// `length` 0 renders until the last note has rung out. The samples go out through
/// vireon_begin and vireon_write. Returns null on success, otherwise one sentence saying why.
const char* vireon_render_file(std::uint32_t kind, const char* bytes, std::uint32_t size,
                               const char* name, const std::int32_t* positions, std::uint32_t rate,
                               std::uint32_t length) {
    if (!Instrument::supportsRate(rate)) {
        return refuse("The rate " + std::to_string(rate) + " Hz is outside " +
                      std::to_string(vireon::rate::kMinOutputRate) + " to " +
                      std::to_string(vireon::rate::kMaxOutputRate) + " Hz.");
    }
    RenderSettings settings;
    settings.rate = rate;
    const auto position = [&](ControlId id) { return positions[static_cast<std::size_t>(id)]; };
    if (position(ControlId::Havoc) != 0) {
        settings.havoc = position(ControlId::Havoc);
    }
    if (position(ControlId::Bedlam) != 0) {
        settings.bedlam = position(ControlId::Bedlam);
    }
    if (position(ControlId::Disorder) != 0) {
        settings.disorder = std::to_string(position(ControlId::Disorder));
    }
    settings.attack = position(ControlId::Attack);
    settings.decay = position(ControlId::Decay);
    settings.sustain = position(ControlId::Sustain);
    settings.release = position(ControlId::Release);
    for (std::size_t i = static_cast<std::size_t>(vireon::controls::kFirstPlayingControl);
         i < vireon::controls::kControlCount; ++i) {
        settings.playing[i] = position(static_cast<ControlId>(i));
    }

    const std::string fileName(name);
    const std::string_view file(bytes, size);
    std::vector<TimedMessage> messages;
    if (static_cast<InputKind>(kind) != InputKind::None) {
        std::variant<std::vector<TimedMessage>, std::string> read;
        if (static_cast<InputKind>(kind) == InputKind::Midi) {
            read = vireon::offline::midiFileMessages(file, fileName);
        } else if (auto parsed = vireon::offline::parseEvents(file);
                   auto* error = std::get_if<EventsFileError>(&parsed)) {
            read = fileName + " line " + std::to_string(error->line) + ": " + error->message + ".";
        } else {
            read = std::get<std::vector<TimedMessage>>(std::move(parsed));
        }
        if (auto* error = std::get_if<std::string>(&read)) {
            return refuse(*error);
        }
        messages = std::get<std::vector<TimedMessage>>(std::move(read));
    }

    const std::uint64_t total =
        length != 0 ? length : vireon::offline::defaultRenderLength(messages, settings.release);
    if (total > vireon::offline::kMaxRenderLength) {
        return refuse("The messages of " + fileName + " run so late that the rendering would be " +
                      std::to_string(total) + " samples long, more than the limit of " +
                      std::to_string(vireon::offline::kMaxRenderLength) + ".");
    }
    vireon_begin(static_cast<double>(vireon::offline::outputFrames(settings, total)));
    const bool finished = vireon::offline::renderOffline(
        settings, messages, static_cast<std::uint32_t>(total), [](std::span<const float> block) {
            return vireon_write(block.data(), static_cast<std::uint32_t>(block.size())) != 0;
        });
    return finished ? nullptr : refuse("The rendering was stopped.");
}

}  // extern "C"
