// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <lilv/lilv.h>

#include "tests/support/Lv2Buffers.h"
#include "offline/TimedMessage.h"

namespace vireon::plugintest {

/// A small LV2 host on lilv that knows only the instrument's bundle from the build tree, as a
/// real host would find it there through LV2_PATH.
class PluginHost {
  public:
    PluginHost();
    ~PluginHost();

    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    LilvWorld* world() const { return world_; }
    /// The instrument, or null when the bundle does not describe it.
    const LilvPlugin* plugin() const { return plugin_; }
    testsupport::UridMap& urids() { return urids_; }

  private:
    LilvWorld* world_ = nullptr;
    const LilvPlugin* plugin_ = nullptr;
    testsupport::UridMap urids_;
};

/// A preset as a host finds it through the bundle's manifest and loads it with lilv.
struct Preset {
    std::string label;
    /// Each port's symbol and value, as lilv hands them to a host restoring the preset.
    std::vector<std::pair<std::string, float>> controls;
};

/// Every preset the host finds for the instrument.
std::vector<Preset> loadPresets(PluginHost& host);

/// One MIDI message at a frame of the current block.
struct BlockEvent {
    std::int64_t frame;
    std::vector<std::uint8_t> bytes;
};

/// One instance of the instrument with its ports connected to buffers of its own, as a host
/// connects them: every control at its default until set.
class PluginInstance {
  public:
    static constexpr std::uint32_t kMaxBlockFrames = 8192;

    /// Instantiates and activates the plugin at `rate`. valid() is false if it refused.
    PluginInstance(PluginHost& host, double rate);
    ~PluginInstance();

    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    bool valid() const { return instance_ != nullptr; }

    /// Sets the input control with this symbol; it reaches the plugin at the next run().
    void setControl(std::string_view symbol, float value);

    /// The latency the plugin reported at its last run(), in frames.
    float latency() const { return latency_; }

    /// Runs one block of at most kMaxBlockFrames with these events, appended in the given order,
    /// and returns its output.
    std::span<const float> run(std::uint32_t frames, std::span<const BlockEvent> events = {});

    /// The MIDI buffer of the next run(), for events no BlockEvent can express.
    testsupport::MidiEventSequence& midiInput() { return midi_; }
    /// Runs one block with whatever midiInput() holds, then empties it.
    std::span<const float> runWithMidiInput(std::uint32_t frames);

  private:
    std::uint32_t portIndex(std::string_view symbol) const;

    PluginHost& host_;
    LilvInstance* instance_ = nullptr;
    testsupport::MidiEventSequence midi_;
    std::vector<float> output_;
    std::vector<float> controls_;
    float latency_ = -1.0f;
};

/// A control the host moves before the block that starts at `frame` (or the first block after).
struct ControlChange {
    std::uint32_t frame;
    std::string symbol;
    float value;
};

/// Plays timed messages (each before its frame is rendered) through the instance in blocks of
/// `blockFrames`, as a host's timeline would hand them over, moving controls between blocks,
/// and returns `length` frames.
std::vector<float> play(PluginInstance& instance, std::span<const offline::TimedMessage> messages,
                        std::uint32_t length, std::uint32_t blockFrames,
                        std::span<const ControlChange> changes = {});

/// The three bytes of a packed short message.
std::vector<std::uint8_t> bytesOf(std::uint32_t packedMessage);

}  // namespace vireon::plugintest
