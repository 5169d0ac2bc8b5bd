// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/audio/JackOutput.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>

#include <algorithm>

#include "devices/audio/StreamCallback.h"
#include "instrument/Instrument.h"

namespace vireon::audio {

namespace {

// The MIDI events of one cycle, in the order (and so the frame order) JACK keeps them.
struct CycleEvents {
    void* buffer = nullptr;
    std::uint32_t count = 0;
    std::uint32_t index = 0;
};

bool nextEvent(void* context, live::LiveInstrument::TimedMessage& message) noexcept {
    auto& events = *static_cast<CycleEvents*>(context);
    jack_midi_event_t event;
    while (events.index < events.count) {
        if (jack_midi_event_get(&event, events.buffer, events.index++) == 0) {
            message.frame = event.time;
            message.bytes = {event.buffer, event.size};
            return true;
        }
    }
    return false;
}

int process(jack_nframes_t frames, void* argument) {
    auto& output = *static_cast<JackOutput*>(argument);
    auto* block = static_cast<float*>(jack_port_get_buffer(output.port, frames));
    if (!output.playing.load(std::memory_order_acquire)) {
        std::fill_n(block, frames, 0.0f);
        return 0;
    }
    if (output.midiPort == nullptr) {
        detail::playBlock(*output.context, block, frames);
        return 0;
    }
    CycleEvents events;
    events.buffer = jack_port_get_buffer(output.midiPort, frames);
    events.count = jack_midi_get_event_count(events.buffer);
    const live::LiveInstrument::TimedMessages timed{nextEvent, &events};
    detail::playBlock(*output.context, block, frames, &timed);
    return 0;
}

// Connects the port to the server's first playback port, as the library's device does.
void connectToPlayback(const JackOutput& output) {
    const char** playback = jack_get_ports(output.client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsPhysical | JackPortIsInput);
    if (playback != nullptr && playback[0] != nullptr) {
        jack_connect(output.client, jack_port_name(output.port), playback[0]);
    }
    jack_free(static_cast<void*>(playback));
}

// The port's playback latency, in seconds: at least the period the server asks of it.
double playbackLatency(const JackOutput& output) {
    jack_recompute_total_latencies(output.client);
    jack_latency_range_t range{};
    jack_port_get_latency_range(output.port, JackPlaybackLatency, &range);
    const jack_nframes_t frames = std::max(range.max, jack_get_buffer_size(output.client));
    return static_cast<double>(frames) / output.rate;
}

}  // namespace

std::shared_ptr<JackOutput> openJackOutput(const std::string& clientName,
                                           const std::shared_ptr<detail::StreamContext>& context,
                                           bool ownMidiInput) {
    // Patchbays and session managers connect by name: the same name as before, where it is free.
    jack_status_t status{};
    jack_client_t* client = jack_client_open(
        clientName.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName),
        &status);
    if (client == nullptr && (status & JackNameNotUnique) != 0) {
        client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    }
    if (client == nullptr) {
        return nullptr;
    }
    auto output = std::make_shared<JackOutput>();
    output->client = client;
    output->context = context;
    output->rate = jack_get_sample_rate(client);
    if (instrument::Instrument::supportsRate(output->rate)) {
        output->port = jack_port_register(client, "out_0", JACK_DEFAULT_AUDIO_TYPE,
                                          JackPortIsOutput | JackPortIsTerminal, 0);
    }
    if (output->port != nullptr && ownMidiInput) {
        output->midiPort = jack_port_register(client, kOwnMidiPortName, JACK_DEFAULT_MIDI_TYPE,
                                              JackPortIsInput | JackPortIsTerminal, 0);
    }
    if (output->port == nullptr || (ownMidiInput && output->midiPort == nullptr)) {
        jack_client_close(client);
        return nullptr;
    }
    context->instrument.instrument().changeRate(output->rate);
    if (jack_set_process_callback(client, process, output.get()) != 0 ||
        jack_activate(client) != 0) {
        jack_client_close(client);
        return nullptr;
    }
    connectToPlayback(*output);
    output->latency = playbackLatency(*output);
    return output;
}

}  // namespace vireon::audio
