// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/plugin/PluginHost.h"

#include <algorithm>
#include <stdexcept>

#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>

#include "plugin/lv2/PluginUri.h"

namespace vireon::plugintest {

PluginHost::PluginHost() : world_(lilv_world_new()) {
    // The specifications tell lilv the plugin classes; the bundle is the only plugin loaded.
    lilv_world_load_specifications(world_);
    lilv_world_load_plugin_classes(world_);
    LilvNode* bundle = lilv_new_file_uri(world_, nullptr, VIREON_LV2_BUNDLE_DIR "/");
    lilv_world_load_bundle(world_, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(world_, plugin::kPluginUri);
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
    lilv_node_free(uri);
}

PluginHost::~PluginHost() {
    lilv_world_free(world_);
}

PluginInstance::PluginInstance(PluginHost& host, double rate)
    : host_(host), midi_(host.urids()), output_(kMaxBlockFrames) {
    const LilvPlugin* plugin = host.plugin();
    if (plugin == nullptr) {
        throw std::runtime_error("the bundle does not describe the instrument");
    }
    const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
    // Every control starts at its default; the defaults array also sizes the value buffers.
    controls_.assign(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, controls_.data());
    const LV2_Feature* features[] = {host.urids().feature(), nullptr};
    instance_ = lilv_plugin_instantiate(plugin, rate, features);
    if (instance_ == nullptr) {
        return;
    }
    LilvNode* audio = lilv_new_uri(host.world(), LV2_CORE__AudioPort);
    LilvNode* atom = lilv_new_uri(host.world(), LV2_ATOM__AtomPort);
    LilvNode* output = lilv_new_uri(host.world(), LV2_CORE__OutputPort);
    for (std::uint32_t i = 0; i < ports; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        if (lilv_port_is_a(plugin, port, audio)) {
            lilv_instance_connect_port(instance_, i, output_.data());
        } else if (lilv_port_is_a(plugin, port, atom)) {
            lilv_instance_connect_port(instance_, i, midi_.sequence());
        } else if (lilv_port_is_a(plugin, port, output)) {
            lilv_instance_connect_port(instance_, i, &latency_);
        } else {
            lilv_instance_connect_port(instance_, i, &controls_[i]);
        }
    }
    lilv_node_free(output);
    lilv_node_free(atom);
    lilv_node_free(audio);
    lilv_instance_activate(instance_);
}

PluginInstance::~PluginInstance() {
    if (instance_ != nullptr) {
        lilv_instance_deactivate(instance_);
        lilv_instance_free(instance_);
    }
}

std::uint32_t PluginInstance::portIndex(std::string_view symbol) const {
    LilvNode* node = lilv_new_string(host_.world(), std::string(symbol).c_str());
    const LilvPort* port = lilv_plugin_get_port_by_symbol(host_.plugin(), node);
    lilv_node_free(node);
    if (port == nullptr) {
        throw std::runtime_error("the instrument has no port \"" + std::string(symbol) + "\"");
    }
    return lilv_port_get_index(host_.plugin(), port);
}

void PluginInstance::setControl(std::string_view symbol, float value) {
    controls_[portIndex(symbol)] = value;
}

std::span<const float> PluginInstance::run(std::uint32_t frames,
                                           std::span<const BlockEvent> events) {
    for (const BlockEvent& event : events) {
        if (!midi_.append(event.frame, event.bytes)) {
            throw std::runtime_error("too many events for one block");
        }
    }
    return runWithMidiInput(frames);
}

std::span<const float> PluginInstance::runWithMidiInput(std::uint32_t frames) {
    if (frames > kMaxBlockFrames) {
        throw std::runtime_error("a block longer than the output buffer");
    }
    lilv_instance_run(instance_, frames);
    midi_.clear();
    return {output_.data(), frames};
}

std::vector<Preset> loadPresets(PluginHost& host) {
    std::vector<Preset> presets;
    LilvNode* presetClass = lilv_new_uri(host.world(), LV2_PRESETS__Preset);
    LilvNodes* related = lilv_plugin_get_related(host.plugin(), presetClass);
    auto* map = static_cast<LV2_URID_Map*>(host.urids().feature()->data);
    const LV2_URID floatType = host.urids().map(LV2_ATOM__Float);
    LILV_FOREACH(nodes, i, related) {
        const LilvNode* uri = lilv_nodes_get(related, i);
        lilv_world_load_resource(host.world(), uri);
        LilvState* state = lilv_state_new_from_world(host.world(), map, uri);
        if (state == nullptr) {
            throw std::runtime_error(std::string("lilv cannot load ") + lilv_node_as_uri(uri));
        }
        Preset preset{lilv_state_get_label(state) ? lilv_state_get_label(state) : "", {}};
        struct Target {
            Preset& preset;
            LV2_URID floatType;
        } target{preset, floatType};
        lilv_state_emit_port_values(
            state,
            [](const char* symbol, void* data, const void* value, std::uint32_t size,
               std::uint32_t type) {
                auto& t = *static_cast<Target*>(data);
                if (type != t.floatType || size != sizeof(float)) {
                    throw std::runtime_error("a preset value that is not a float");
                }
                t.preset.controls.emplace_back(symbol, *static_cast<const float*>(value));
            },
            &target);
        lilv_state_free(state);
        presets.push_back(std::move(preset));
    }
    lilv_nodes_free(related);
    lilv_node_free(presetClass);
    return presets;
}

std::vector<std::uint8_t> bytesOf(std::uint32_t packedMessage) {
    return {static_cast<std::uint8_t>(packedMessage), static_cast<std::uint8_t>(packedMessage >> 8),
            static_cast<std::uint8_t>(packedMessage >> 16)};
}

std::vector<float> play(PluginInstance& instance, std::span<const offline::TimedMessage> messages,
                        std::uint32_t length, std::uint32_t blockFrames,
                        std::span<const ControlChange> changes) {
    std::vector<float> result;
    result.reserve(length);
    std::size_t next = 0;
    std::vector<BlockEvent> events;
    for (std::uint32_t start = 0; start < length; start += blockFrames) {
        const std::uint32_t frames = std::min(blockFrames, length - start);
        for (const ControlChange& change : changes) {
            const std::int64_t previousStart = std::int64_t{start} - blockFrames;
            if (change.frame > previousStart && change.frame <= start) {
                instance.setControl(change.symbol, change.value);
            }
        }
        events.clear();
        for (; next < messages.size() && messages[next].sample < start + frames; ++next) {
            events.push_back({messages[next].sample - start, bytesOf(messages[next].message)});
        }
        const std::span<const float> block = instance.run(frames, events);
        result.insert(result.end(), block.begin(), block.end());
    }
    return result;
}

}  // namespace vireon::plugintest
