// SPDX-License-Identifier: GPL-3.0-or-later
// The LV2 face of the instrument: ports, the MIDI event sequence and the descriptor the host
// looks up. Everything that makes sound is in Instrument.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include "instrument/Instrument.h"
#include "plugin/lv2/Controls.h"
#include "plugin/lv2/PluginUri.h"

namespace vireon::plugin {
namespace {

struct Lv2Instance {
    const LV2_Atom_Sequence* midiIn = nullptr;
    float* audioOut = nullptr;
    float* latency = nullptr;
    std::array<const float*, kControlCount> controls{};
    LV2_URID midiEvent = 0;
    LV2_URID atomObject = 0;
    LV2_URID atomBlank = 0;
    LV2_URID atomLong = 0;
    LV2_URID timePosition = 0;
    LV2_URID timeFrame = 0;
    instrument::Instrument instrument;

    explicit Lv2Instance(double rate) : instrument(rate) {}
};

const LV2_URID_Map* findUridMap(const LV2_Feature* const* features) {
    for (; features != nullptr && *features != nullptr; ++features) {
        if (std::strcmp((*features)->URI, LV2_URID__map) == 0) {
            return static_cast<const LV2_URID_Map*>((*features)->data);
        }
    }
    return nullptr;
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    const LV2_URID_Map* map = findUridMap(features);
    if (map == nullptr || !instrument::Instrument::supportsRate(rate)) {
        return nullptr;
    }
    Lv2Instance* instance = nullptr;
    try {
        instance = new Lv2Instance(rate);
    } catch (...) {
        // Out of memory, or a converter that cannot be set up: the host learns it cannot load us.
        return nullptr;
    }
    instance->midiEvent = map->map(map->handle, LV2_MIDI__MidiEvent);
    instance->atomObject = map->map(map->handle, LV2_ATOM__Object);
    instance->atomBlank = map->map(map->handle, LV2_ATOM__Blank);
    instance->atomLong = map->map(map->handle, LV2_ATOM__Long);
    instance->timePosition = map->map(map->handle, LV2_TIME__Position);
    instance->timeFrame = map->map(map->handle, LV2_TIME__frame);
    return instance;
}

// The transport's frame of a time:Position the host sends, where it says one: where its timeline
// is at the event. Nothing for any other event.
std::optional<std::int64_t> positionFrame(const Lv2Instance& instance,
                                          const LV2_Atom_Event* event) {
    if (event->body.type != instance.atomObject && event->body.type != instance.atomBlank) {
        return std::nullopt;
    }
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
    if (object->atom.size < sizeof(LV2_Atom_Object_Body) ||
        object->body.otype != instance.timePosition) {
        return std::nullopt;
    }
    const LV2_Atom* frame = nullptr;
    lv2_atom_object_get(object, instance.timeFrame, &frame, 0);
    if (frame == nullptr || frame->type != instance.atomLong ||
        frame->size < sizeof(std::int64_t)) {
        return std::nullopt;
    }
    return reinterpret_cast<const LV2_Atom_Long*>(frame)->body;
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    auto& instance = *static_cast<Lv2Instance*>(handle);
    switch (port) {
        case kMidiInPort:
            instance.midiIn = static_cast<const LV2_Atom_Sequence*>(data);
            break;
        case kAudioOutPort:
            instance.audioOut = static_cast<float*>(data);
            break;
        case kLatencyPort:
            instance.latency = static_cast<float*>(data);
            break;
        default:
            if (port >= kFirstControlPort && port - kFirstControlPort < kControlCount) {
                instance.controls[port - kFirstControlPort] = static_cast<const float*>(data);
            }
            break;
    }
}

void activate(LV2_Handle handle) {
    static_cast<Lv2Instance*>(handle)->instrument.reset();
}

void run(LV2_Handle handle, std::uint32_t frames) {
    auto& instance = *static_cast<Lv2Instance*>(handle);
    instrument::Instrument& instrument = instance.instrument;
    for (std::size_t i = 0; i < kControlCount; ++i) {
        if (instance.controls[i] != nullptr) {
            instrument.setControl(static_cast<Control>(i), *instance.controls[i]);
        }
    }
    if (instance.latency != nullptr) {
        *instance.latency = static_cast<float>(instrument.latencyFrames());
    }
    if (instance.audioOut == nullptr) {
        return;
    }

    // The engine renders up to each event's frame and the event applies there. An event placed
    // before one already played, or beyond the block, applies as close to its time as the block
    // allows, so nothing is lost or played out of order.
    std::uint32_t done = 0;
    if (const LV2_Atom_Sequence* sequence = instance.midiIn) {
        const auto* end =
            reinterpret_cast<const std::uint8_t*>(&sequence->body) + sequence->atom.size;
        // Event times are frames, whatever the sequence's unit field holds: hosts send frames
        // to an instrument's port, and some leave that field unset (Ardour 7.3).
        for (const LV2_Atom_Event* event = lv2_atom_sequence_begin(&sequence->body);
             !lv2_atom_sequence_is_end(&sequence->body, sequence->atom.size, event);
             event = lv2_atom_sequence_next(event)) {
            const auto* body = reinterpret_cast<const std::uint8_t*>(event + 1);
            if (body > end || event->body.size > static_cast<std::size_t>(end - body)) {
                break;
            }
            const std::optional<std::int64_t> timelineFrame = positionFrame(instance, event);
            if (event->body.type != instance.midiEvent && !timelineFrame) {
                continue;
            }
            const std::int64_t at = std::clamp<std::int64_t>(event->time.frames, done, frames);
            instrument.render(instance.audioOut + done, static_cast<std::uint32_t>(at) - done);
            done = static_cast<std::uint32_t>(at);
            if (timelineFrame) {
                instrument.followTimeline(*timelineFrame);
            } else {
                instrument.handleMidi(std::span(body, event->body.size));
            }
        }
    }
    instrument.render(instance.audioOut + done, frames - done);
}

void cleanup(LV2_Handle handle) {
    delete static_cast<Lv2Instance*>(handle);
}

const void* extensionData(const char*) {
    return nullptr;
}

constexpr LV2_Descriptor kDescriptor{
    kPluginUri, instantiate, connectPort, activate, run, nullptr, cleanup, extensionData,
};

}  // namespace
}  // namespace vireon::plugin

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &vireon::plugin::kDescriptor : nullptr;
}
