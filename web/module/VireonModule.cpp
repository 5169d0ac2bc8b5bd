// SPDX-License-Identifier: GPL-3.0-or-later
// The C interface of the WebAssembly module: the instrument for the page's audio worklet, and
// the offline renderer for its render worker. JavaScript calls __wasm_call_ctors once before
// anything else, since the engine's tables are built by static constructors.

#include <cstdint>
#include <cstdlib>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "controls/Controls.h"
#include "instrument/Instrument.h"
#include "tools/render/EventsFile.h"
#include "tools/render/MidiFileReader.h"
#include "tools/render/OfflineRender.h"

namespace {

using vireon::controls::ControlId;
using vireon::instrument::Instrument;
using vireon::tools::EventsFileError;
using vireon::tools::RenderOptions;
using vireon::tools::TimedMessage;

/// The most frames one vireon_render call fills: Web Audio asks for 128 at a time.
constexpr std::uint32_t kPlayerBlockFrames = 4096;

/// An instrument at the engine's own rate with its output buffer, allocated once, so that
/// rendering on the audio thread never allocates.
struct Player {
    Player() : instrument(vireon::rate::kMinOutputRate) {}

    Instrument instrument;
    float output[kPlayerBlockFrames] = {};
};

std::string lastError;

const char* refuse(std::string sentence) {
    lastError = std::move(sentence);
    return lastError.c_str();
}

/// `text` as a JSON string.
std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

enum class InputKind : std::uint32_t { None = 0, Events = 1, Midi = 2 };

}  // namespace

extern "C" {

// The JavaScript side of an offline rendering: told the length first, then handed each block.
// Returning 0 from vireon_write stops the rendering.
__attribute__((import_module("env"), import_name("vireon_begin"))) void vireon_begin(double frames);
__attribute__((import_module("env"), import_name("vireon_write"))) int vireon_write(
    const float* samples, std::uint32_t count);

/// A new instrument playing at 8000 Hz from the start-up state. UI or audio thread, before
/// rendering starts.
Player* vireon_create() {
    return new (std::nothrow) Player();
}

/// RT: one MIDI short message, packed as status | data1 << 8 | data2 << 16, applied before the
/// next frame rendered.
void vireon_midi(Player* player, std::uint32_t packed) {
    player->instrument.handleMessage(packed);
}

/// RT: control `control` (the order of the table of controls) set to `value` as the plugin's
/// ports are: rounded, held to its range, and acting only when its position changes.
void vireon_control(Player* player, std::uint32_t control, float value) {
    if (control < vireon::controls::kControlCount) {
        player->instrument.setControl(static_cast<ControlId>(control), value);
    }
}

/// RT: renders the next `frames` frames (at most kPlayerBlockFrames) and returns where they are.
const float* vireon_render(Player* player, std::uint32_t frames) {
    player->instrument.render(player->output,
                              frames < kPlayerBlockFrames ? frames : kPlayerBlockFrames);
    return player->output;
}

/// The note status: 0 before the first MIDI message, then 1 for "On" and 2 for "Off".
std::uint32_t vireon_note_status(const Player* player) {
    const std::string_view text = player->instrument.noteStatus().text;
    return text.empty() ? 0 : text == "On" ? 1 : 2;
}

/// The table of controls as JSON, for the page to build its controls from.
const char* vireon_controls_json() {
    static std::string json;
    if (json.empty()) {
        json = "[";
        for (const auto& c : vireon::controls::kControls) {
            if (json.size() > 1) {
                json += ",";
            }
            json +=
                "{\"symbol\":" + quoted(c.symbol) + ",\"name\":" + quoted(c.name) +
                ",\"label\":" + quoted(c.label) + ",\"min\":" + std::to_string(c.min) +
                ",\"max\":" + std::to_string(c.max) + ",\"initial\":" + std::to_string(c.initial) +
                ",\"atNextNote\":" + (c.acts == vireon::controls::Acts::AtNextNote ? "1" : "0") +
                ",\"unit\":" + std::to_string(static_cast<int>(c.unit)) +
                ",\"description\":" + quoted(c.description) + "}";
        }
        json += "]";
    }
    return json.c_str();
}

/// Room for `size` bytes of input, or null.
void* vireon_alloc(std::uint32_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

void vireon_free(void* pointer) {
    std::free(pointer);
}

/// Renders a file as vireon-render does: `kind` 1 for an events file, 2 for a Standard MIDI
/// File, 0 for none; `name` names it in messages. `positions` holds a position for each
/// control of the table, or 0 to leave Havoc, Bedlam or Disorder at their start-up values;
/// `length` 0 renders until the last note has rung out. The samples go out through
/// vireon_begin and vireon_write. Returns null on success, otherwise one sentence saying why.
const char* vireon_render_file(std::uint32_t kind, const char* bytes, std::uint32_t size,
                               const char* name, const std::int32_t* positions, std::uint32_t rate,
                               std::uint32_t length) {
    if (!Instrument::supportsRate(rate)) {
        return refuse("The page renders at 8000 Hz only; vireon-render --rate " +
                      std::to_string(rate) + " renders at other rates.");
    }
    RenderOptions options;
    options.rate = rate;
    const auto position = [&](ControlId id) { return positions[static_cast<std::size_t>(id)]; };
    if (position(ControlId::Havoc) != 0) {
        options.havoc = position(ControlId::Havoc);
    }
    if (position(ControlId::Bedlam) != 0) {
        options.bedlam = position(ControlId::Bedlam);
    }
    if (position(ControlId::Disorder) != 0) {
        options.disorder = std::to_string(position(ControlId::Disorder));
    }
    options.attack = position(ControlId::Attack);
    options.decay = position(ControlId::Decay);
    options.sustain = position(ControlId::Sustain);
    options.release = position(ControlId::Release);

    const std::string fileName(name);
    const std::string_view file(bytes, size);
    std::vector<TimedMessage> messages;
    if (static_cast<InputKind>(kind) != InputKind::None) {
        std::variant<std::vector<TimedMessage>, std::string> read;
        if (static_cast<InputKind>(kind) == InputKind::Midi) {
            read = vireon::tools::midiFileMessages(file, fileName);
        } else if (auto parsed = vireon::tools::parseEvents(file);
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
        length != 0 ? length : vireon::tools::defaultRenderLength(messages, options.release);
    if (total > vireon::tools::kMaxRenderLength) {
        return refuse("The messages of " + fileName + " run so late that the rendering would be " +
                      std::to_string(total) + " samples long, more than the limit of " +
                      std::to_string(vireon::tools::kMaxRenderLength) + ".");
    }
    vireon_begin(static_cast<double>(vireon::tools::outputFrames(options, total)));
    const bool finished = vireon::tools::renderOffline(
        options, messages, static_cast<std::uint32_t>(total), [](std::span<const float> block) {
            return vireon_write(block.data(), static_cast<std::uint32_t>(block.size())) != 0;
        });
    return finished ? nullptr : refuse("The rendering was stopped.");
}

}  // extern "C"
