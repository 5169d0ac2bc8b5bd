// SPDX-License-Identifier: GPL-3.0-or-later
// The C interface of the module the page plays with: the instrument for its audio worklet, and
// the table of controls and the factory sounds for the page around it. JavaScript calls
// __wasm_call_ctors once before anything else, since the engine's tables are built by static
// constructors.

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "controls/Controls.h"
#include "instrument/Instrument.h"
#include "sounds/FactorySounds.h"
#include "sounds/SoundFormat.h"
#include "text/Quoted.h"

namespace {

using vireon::controls::ControlId;
using vireon::instrument::Instrument;

/// The most frames one vireon_render call fills: Web Audio asks for 128 at a time.
constexpr std::uint32_t kPlayerBlockFrames = 4096;

/// An instrument at the engine's own rate with its output buffer, allocated once, so that
/// rendering on the audio thread never allocates.
struct Player {
    Player() : instrument(vireon::rate::kMinOutputRate) {}

    Instrument instrument;
    float output[kPlayerBlockFrames] = {};
};

std::string factorySoundsJson() {
    // parseSoundList rather than factorySounds(), which reports a damaged text on standard
    // error: the page shows the reason itself, and the module stays free of iostreams.
    auto parsed = vireon::sounds::parseSoundList(vireon::sounds::factorySoundsText());
    if (auto* problem = std::get_if<std::string>(&parsed)) {
        return "{\"problem\":" + vireon::text::backslashQuoted(*problem) + "}";
    }
    std::string json = "{\"sounds\":[";
    for (const vireon::sounds::Sound& sound :
         std::get<std::vector<vireon::sounds::Sound>>(parsed)) {
        if (json.back() != '[') {
            json += ",";
        }
        json += "{\"name\":" + vireon::text::backslashQuoted(sound.name) +
                ",\"description\":" + vireon::text::backslashQuoted(sound.description) +
                ",\"positions\":[";
        for (std::size_t i = 0; i < sound.positions.size(); ++i) {
            json += (i == 0 ? "" : ",") + std::to_string(sound.positions[i]);
        }
        json += "]}";
    }
    return json + "]}";
}

}  // namespace

extern "C" {

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
/// ports are: rounded, held to its range, and acting only when its position changes. A sound
/// is applied by setting every control this way, as vireon-render --sound does.
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
        for (std::size_t i = 0; i < vireon::controls::kControlCount; ++i) {
            const vireon::controls::Control& c = vireon::controls::kControls[i];
            if (json.size() > 1) {
                json += ",";
            }
            std::string values;
            for (const std::string_view name : c.valueNames) {
                values += (values.empty() ? "" : ",") + vireon::text::backslashQuoted(name);
            }
            const bool playing = vireon::controls::isPlayingControl(static_cast<ControlId>(i));
            json += "{\"symbol\":" + vireon::text::backslashQuoted(c.symbol) +
                    ",\"name\":" + vireon::text::backslashQuoted(c.name) +
                    ",\"label\":" + vireon::text::backslashQuoted(c.label) +
                    ",\"min\":" + std::to_string(c.min) + ",\"max\":" + std::to_string(c.max) +
                    ",\"initial\":" + std::to_string(c.initial) + ",\"atNextNote\":" +
                    (c.acts == vireon::controls::Acts::AtNextNote ? "1" : "0") +
                    ",\"unit\":" + std::to_string(static_cast<int>(c.unit)) +
                    ",\"playing\":" + (playing ? "1" : "0") + ",\"values\":[" + values + "]" +
                    ",\"description\":" + vireon::text::backslashQuoted(c.description) + "}";
        }
        json += "]";
    }
    return json.c_str();
}

/// The factory sounds as JSON, in the order menus list them: {"sounds": [{"name",
/// "description", "positions": one per control, in the table's order}, ...]}, or
/// {"problem": why the built-in text was refused}.
const char* vireon_sounds_json() {
    static const std::string json = factorySoundsJson();
    return json.c_str();
}

}  // extern "C"
