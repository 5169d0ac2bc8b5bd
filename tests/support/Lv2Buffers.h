// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two pieces every LV2 host needs before it can play an instrument: a URID map and a MIDI
// input buffer. Header-only, so the test host, the fuzz target and the benchmark share them.

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/urid/urid.h>

namespace vireon::testsupport {

/// Gives each URI a number, the same number every time. Not for the audio thread: plugins map
/// their URIs when they are instantiated.
class UridMap {
  public:
    UridMap() : feature_{LV2_URID__map, &map_} {}

    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;

    LV2_URID map(const char* uri) {
        for (std::size_t i = 0; i < uris_.size(); ++i) {
            if (uris_[i] == uri) {
                return static_cast<LV2_URID>(i + 1);
            }
        }
        uris_.emplace_back(uri);
        return static_cast<LV2_URID>(uris_.size());
    }

    /// The feature to pass to instantiate().
    const LV2_Feature* feature() const { return &feature_; }

  private:
    static LV2_URID mapUri(LV2_URID_Map_Handle self, const char* uri) {
        return static_cast<UridMap*>(self)->map(uri);
    }

    std::vector<std::string> uris_;
    LV2_URID_Map map_{this, mapUri};
    LV2_Feature feature_;
};

/// An atom sequence of MIDI events timed in frames: what a host hands an instrument's MIDI input
/// port for one run() call.
class MidiEventSequence {
  public:
    /// Room for `capacityBytes` bytes of events.
    MidiEventSequence(UridMap& urids, std::size_t capacityBytes = 1 << 16)
        : storage_((sizeof(LV2_Atom_Sequence) + capacityBytes + 7) / 8),
          midiEvent_(urids.map(LV2_MIDI__MidiEvent)) {
        sequence()->atom.type = urids.map(LV2_ATOM__Sequence);
        sequence()->body.unit = 0;
        sequence()->body.pad = 0;
        clear();
    }

    /// Empties the sequence for the next block.
    void clear() { lv2_atom_sequence_clear(sequence()); }

    /// Appends a MIDI message at `frame` of the block. False when there is no room left.
    bool append(std::int64_t frame, std::span<const std::uint8_t> bytes) {
        return append(frame, midiEvent_, bytes);
    }

    /// Appends an event of any type. False when there is no room left.
    bool append(std::int64_t frame, LV2_URID type, std::span<const std::uint8_t> bytes) {
        const std::size_t total = sizeof(LV2_Atom_Event) + bytes.size();
        const std::size_t capacity = storage_.size() * 8 - sizeof(LV2_Atom);
        if (capacity - sequence()->atom.size <
            lv2_atom_pad_size(static_cast<std::uint32_t>(total))) {
            return false;
        }
        // The event goes right after the sequence's current contents, header then bytes.
        std::uint8_t* at = reinterpret_cast<std::uint8_t*>(storage_.data()) + sizeof(LV2_Atom) +
                           sequence()->atom.size;
        LV2_Atom_Event header{};
        header.time.frames = frame;
        header.body.type = type;
        header.body.size = static_cast<std::uint32_t>(bytes.size());
        std::memcpy(at, &header, sizeof header);
        if (!bytes.empty()) {
            std::memcpy(at + sizeof header, bytes.data(), bytes.size());
        }
        sequence()->atom.size += lv2_atom_pad_size(static_cast<std::uint32_t>(total));
        return true;
    }

    LV2_Atom_Sequence* sequence() { return reinterpret_cast<LV2_Atom_Sequence*>(storage_.data()); }

  private:
    std::vector<std::uint64_t> storage_;  // 64-bit words keep the events 8-byte aligned
    LV2_URID midiEvent_;
};

}  // namespace vireon::testsupport
