// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the LV2 instrument through its descriptor as a host would, with arbitrary MIDI events,
// control values and block sizes at an arbitrary rate, and checks that every output frame is
// finite and within the loudest the engine can produce.
//
// The input starts with a u32 that picks the rate (8000 to 192000 Hz), then a list of records,
// each an operation byte followed by its little-endian operands; a record cut short by the end
// of the input reads zeros for its missing bytes.
//   op % 4 == 0  run          u16 frames (0 to 8192), u8 event count, then per event:
//                             u16 frame (may lie beyond the block), u8 size (0 to 7), the bytes
//             1  control      u8 which (any port index), u32 raw float bits (NaN, infinities)
//             2  restart      deactivate and activate again
//             3  foreign      one event of another atom type in the next run: u16 frame, u8 byte

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>

#include "fuzz/FuzzCheck.h"
#include "tests/support/Lv2Buffers.h"

extern "C" const LV2_Descriptor* lv2_descriptor(std::uint32_t index);

namespace {

using vireon::fuzz::require;

constexpr std::uint32_t kPorts = 10;
constexpr std::uint32_t kMaxBlock = 8192;
constexpr std::uint32_t kFrameBudget = 1u << 17;
// A sine times an envelope whose shortest attack overshoots 1 by just under a quarter; the
// converter's half gain leaves room for the peaks between the engine's samples.
constexpr float kLoudest = 1.25f;

class Records {
  public:
    Records(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }

    std::uint64_t take(int bytes) {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i, ++at_) {
            value |= std::uint64_t{at_ < size_ ? data_[at_] : std::uint8_t{0}} << (8 * i);
        }
        return value;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vireon::testsupport::UridMap urids;
    static vireon::testsupport::MidiEventSequence midi(urids);
    static std::vector<float> output(kMaxBlock);
    static const LV2_URID foreignType = urids.map(LV2_ATOM__Int);
    const LV2_Descriptor* descriptor = lv2_descriptor(0);
    require(descriptor != nullptr && lv2_descriptor(1) == nullptr, "one plugin in the library");

    Records records(data, size);
    const double rate = 8000 + static_cast<double>(records.take(4) % 184001);
    const LV2_Feature* features[] = {urids.feature(), nullptr};
    LV2_Handle plugin = descriptor->instantiate(descriptor, rate, "/nonexistent/", features);
    require(plugin != nullptr, "every whole rate from 8000 to 192000 Hz is accepted");

    float controls[kPorts] = {0, 0, 0, 45, 30, 1, 1000, 50, 1500, 10};
    float latency = -1.0f;
    midi.clear();
    descriptor->connect_port(plugin, 0, midi.sequence());
    descriptor->connect_port(plugin, 1, output.data());
    descriptor->connect_port(plugin, 2, &latency);
    for (std::uint32_t port = 3; port < kPorts; ++port) {
        descriptor->connect_port(plugin, port, &controls[port]);
    }
    descriptor->activate(plugin);

    std::uint32_t framesLeft = kFrameBudget;
    while (!records.done()) {
        switch (records.take(1) % 4) {
            case 0: {
                const auto frames = static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(records.take(2) % (kMaxBlock + 1), framesLeft));
                framesLeft -= frames;
                for (std::uint64_t events = records.take(1); events != 0; --events) {
                    const auto frame = static_cast<std::int64_t>(records.take(2));
                    std::uint8_t bytes[7];
                    const std::size_t count = records.take(1) % 8;
                    for (std::size_t i = 0; i < count; ++i) {
                        bytes[i] = static_cast<std::uint8_t>(records.take(1));
                    }
                    midi.append(frame, {bytes, count});
                }
                descriptor->run(plugin, frames);
                midi.clear();
                for (std::uint32_t i = 0; i < frames; ++i) {
                    require(std::isfinite(output[i]), "every frame is finite");
                    require(std::fabs(output[i]) <= kLoudest, "no frame is louder than a peak");
                }
                require(latency >= 0.0f && latency < 2000.0f, "the latency is a plausible delay");
                break;
            }
            case 1: {
                const std::uint64_t which = records.take(1) % kPorts;
                const auto bits = static_cast<std::uint32_t>(records.take(4));
                if (which >= 3) {
                    std::memcpy(&controls[which], &bits, sizeof bits);
                }
                break;
            }
            case 2:
                if (descriptor->deactivate != nullptr) {
                    descriptor->deactivate(plugin);
                }
                descriptor->activate(plugin);
                break;
            default: {
                const auto frame = static_cast<std::int64_t>(records.take(2));
                const auto byte = static_cast<std::uint8_t>(records.take(1));
                const std::uint8_t bytes[] = {0x90, byte, 100};
                midi.append(frame, foreignType, bytes);
                break;
            }
        }
    }
    if (descriptor->deactivate != nullptr) {
        descriptor->deactivate(plugin);
    }
    descriptor->cleanup(plugin);
    return 0;
}
