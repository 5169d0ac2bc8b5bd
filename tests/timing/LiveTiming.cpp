// SPDX-License-Identifier: GPL-3.0-or-later
// How long after a key is played its sound starts, and how much that varies, on each live path
// that can run here: notes played as the on-screen keyboard and the computer keys play them (from
// their own thread at chosen times) into the audio library's stream and into the direct JACK
// output, and notes sent from another JACK client into `Vireon:MIDI in` and to a JACK port opened
// from the device list; and how much processor time the program itself takes while it plays a
// note through JACK. A private JACK dummy server carries everything (or, for the audio library's
// stream through PipeWire's ALSA plugin, a private PipeWire, reached through its own JACK); one
// probe client records the sound and sends the MIDI in one process callback, and JACK's clock is
// the monotonic clock the events are stamped with (or one that runs at its pace), so sends and
// sound are on one time line.
//
// The delay printed is from the key to the frame at which the note's sound starts in the JACK
// graph, less the instrument's own start (the fade of what sounded before), so it is what the
// live path adds.

#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "devices/audio/AudioOutput.h"
#include "devices/midi/RtMidiPorts.h"
#include "instrument/Instrument.h"
#include "live/LiveClock.h"
#include "live/LiveInstrument.h"
#include "tests/support/Environment.h"
#include "tests/support/JackServer.h"
#include "tests/support/PipeWireServer.h"
#include "tests/support/RunningProgram.h"
#include "tests/support/Waiting.h"

namespace {

using namespace std::chrono_literals;
using namespace vireon;

constexpr std::uint32_t kNotes = 24;
// Not a whole number of periods, so the notes fall on every part of a period.
constexpr std::int64_t kSpacingUs = 400'000 + 1'370;
constexpr std::int64_t kHeldUs = 200'000;
constexpr int kReleaseMs = 20;
constexpr std::size_t kMaxCycles = 1 << 16;
// How long the program's processor time is taken over while it plays.
constexpr auto kProcessorWindow = 20s;
// A note held for longer than anything records.
constexpr std::int64_t kForever = std::numeric_limits<std::int32_t>::max();

std::int64_t nowUs() {
    return live::monotonicClock() / 1000;
}

// Records one audio input and sends notes at chosen frames from one process callback, and keeps
// each cycle's first frame and JACK time, which place any recorded frame on the clock.
class Probe {
  public:
    explicit Probe(std::uint32_t seconds) {
        jack_status_t status{};
        client_ = jack_client_open("live timing probe", JackNoStartServer, &status);
        if (client_ == nullptr) {
            throw std::runtime_error("the probe cannot open a JACK client");
        }
        rate_ = jack_get_sample_rate(client_);
        recording_.resize(static_cast<std::size_t>(seconds) * rate_);
        cycles_.resize(kMaxCycles);
        in_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, process, this);
        jack_set_xrun_callback(client_, xrun, this);
        if (in_ == nullptr || out_ == nullptr || jack_activate(client_) != 0) {
            throw std::runtime_error("the probe cannot offer its ports");
        }
    }
    ~Probe() { jack_client_close(client_); }

    // Records the first audio output port whose name matches `pattern`, once there is one.
    bool connectFrom(const std::string& pattern) {
        for (int tries = 0; tries < 100; ++tries) {
            const char** ports = jack_get_ports(client_, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                                JackPortIsOutput);
            const bool connected = ports != nullptr && ports[0] != nullptr &&
                                   jack_connect(client_, ports[0], jack_port_name(in_)) == 0;
            jack_free(static_cast<void*>(ports));
            if (connected) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    // Sends the notes into the MIDI input port `port`, once there is one.
    bool connectTo(const std::string& port) {
        for (int tries = 0; tries < 100; ++tries) {
            if (jack_connect(client_, jack_port_name(out_), port.c_str()) == 0) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    // Note-ons at these recording frames, and their note-offs `heldUs` later (or never, for
    // a note-off beyond the recording), sent by the probe.
    void sendAt(std::vector<std::uint32_t> frames, std::int64_t heldUs = kHeldUs) {
        sends_ = std::move(frames);
        heldFrames_ = static_cast<std::uint32_t>(heldUs * rate_ / 1'000'000);
    }
    void start() { armed_.store(true); }
    bool full() const { return recorded_.load() >= recording_.size(); }
    std::uint32_t rate() const { return rate_; }
    std::uint32_t xruns() const { return xruns_.load(); }
    std::int64_t jackNowUs() const { return static_cast<std::int64_t>(jack_get_time()); }

    // The clock time of recording frame `frame`.
    std::int64_t timeOf(std::size_t frame) const {
        const Cycle& cycle = cycleOf(frame);
        return cycle.timeUs + static_cast<std::int64_t>(frame - cycle.frame) * 1'000'000 / rate_;
    }
    // The recording frame at clock time `us`.
    std::size_t frameAt(std::int64_t us) const {
        const std::size_t count = cycleCount_.load();
        std::size_t i = 0;
        while (i + 1 < count && cycles_[i + 1].timeUs <= us) {
            ++i;
        }
        return cycles_[i].frame +
               static_cast<std::size_t>(std::max<std::int64_t>(0, us - cycles_[i].timeUs) *
                                        rate_ / 1'000'000);
    }
    // The first sounding frame from `frame` on, or the recording's size.
    std::size_t soundFrom(std::size_t frame) const {
        const auto found = std::find_if(recording_.begin() + static_cast<std::ptrdiff_t>(frame),
                                        recording_.end(), [](float x) { return x != 0.0f; });
        return static_cast<std::size_t>(found - recording_.begin());
    }

  private:
    struct Cycle {
        std::size_t frame = 0;
        std::int64_t timeUs = 0;
    };
    const Cycle& cycleOf(std::size_t frame) const {
        const std::size_t count = cycleCount_.load();
        std::size_t i = 0;
        while (i + 1 < count && cycles_[i + 1].frame <= frame) {
            ++i;
        }
        return cycles_[i];
    }
    static int process(jack_nframes_t frames, void* self) {
        static_cast<Probe*>(self)->cycle(frames);
        return 0;
    }
    static int xrun(void* self) {
        static_cast<Probe*>(self)->xruns_.fetch_add(1);
        return 0;
    }
    void cycle(jack_nframes_t frames) {
        void* midi = jack_port_get_buffer(out_, frames);
        jack_midi_clear_buffer(midi);
        const auto* input = static_cast<const float*>(jack_port_get_buffer(in_, frames));
        const std::size_t start = recorded_.load();
        const std::size_t cycle = cycleCount_.load();
        if (!armed_.load() || full() || cycle == kMaxCycles) {
            return;
        }
        cycles_[cycle] = {start, static_cast<std::int64_t>(
                                     jack_frames_to_time(client_, jack_last_frame_time(client_)))};
        cycleCount_.store(cycle + 1);
        for (const std::uint32_t on : sends_) {
            for (const auto& [at, status] :
                 {std::pair{on, 0x90}, std::pair{on + heldFrames_, 0x80}}) {
                if (at >= start && at < start + frames) {
                    const std::array<jack_midi_data_t, 3> message = {
                        static_cast<jack_midi_data_t>(status), 69, 100};
                    jack_midi_event_write(midi, at - static_cast<std::uint32_t>(start),
                                          message.data(), message.size());
                }
            }
        }
        const std::size_t count = std::min<std::size_t>(frames, recording_.size() - start);
        std::copy_n(input, count, recording_.begin() + static_cast<std::ptrdiff_t>(start));
        recorded_.store(start + count);
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_port_t* out_ = nullptr;
    std::uint32_t rate_ = 0;
    std::vector<float> recording_;
    std::vector<Cycle> cycles_;
    std::vector<std::uint32_t> sends_;
    std::uint32_t heldFrames_ = 0;
    std::atomic<bool> armed_{false};
    std::atomic<std::size_t> recorded_{0};
    std::atomic<std::size_t> cycleCount_{0};
    std::atomic<std::uint32_t> xruns_{0};
};

// How many frames after its event the instrument's own note starts, at `rate`.
std::int64_t instrumentStartUs(std::uint32_t rate) {
    instrument::Instrument instrument(rate);
    instrument.moveControl(controls::ControlId::Release, kReleaseMs);
    std::vector<float> output(rate);
    instrument.render(output.data(), rate / 4);
    instrument.handleMessage(0x90 | 69 << 8 | 100 << 16);
    instrument.render(output.data() + rate / 4, rate - rate / 4);
    const auto first = std::find_if(output.begin() + rate / 4, output.end(),
                                    [](float x) { return x != 0.0f; });
    return (first - output.begin() - rate / 4) * 1'000'000 / rate;
}

// Plays the notes from this thread, as the keyboard's thread does, at chosen clock times.
std::vector<std::int64_t> playKeys(live::LiveInstrument& instrument, std::int64_t firstUs) {
    std::vector<std::int64_t> sent;
    for (std::uint32_t i = 0; i < kNotes; ++i) {
        const std::int64_t on = firstUs + i * kSpacingUs;
        for (const auto& [at, status] : {std::pair{on, 0x90u}, std::pair{on + kHeldUs, 0x80u}}) {
            std::this_thread::sleep_for(std::chrono::microseconds(at - nowUs() - 300));
            while (nowUs() < at) {
            }
            // Where JACK's clock is not the stamping clock (it may be the raw one), the time of
            // the key is taken on JACK's, as the sound is.
            if (status == 0x90) {
                sent.push_back(static_cast<std::int64_t>(jack_get_time()));
            }
            instrument.playMessage(status | 69 << 8 | 100 << 16);
        }
    }
    return sent;
}

// Each note's delay in milliseconds, for notes played at these clock times.
std::vector<double> delaysFromClock(const Probe& probe, const std::vector<std::int64_t>& sentUs,
                                    std::int64_t ownStartUs) {
    std::vector<double> delays;
    for (const std::int64_t sent : sentUs) {
        const std::size_t onset = probe.soundFrom(probe.frameAt(sent));
        delays.push_back(static_cast<double>(probe.timeOf(onset) - sent - ownStartUs) / 1000.0);
    }
    return delays;
}

// Each note's delay in milliseconds, for notes sent at these recording frames: counted in the
// recording's frames, which a late cycle does not move, unlike the clock.
std::vector<double> delaysFromFrames(const Probe& probe, const std::vector<std::uint32_t>& frames,
                                     std::int64_t ownStartUs) {
    std::vector<double> delays;
    for (const std::uint32_t frame : frames) {
        const std::size_t onset = probe.soundFrom(frame);
        delays.push_back(static_cast<double>(onset - frame) * 1000.0 / probe.rate() -
                         static_cast<double>(ownStartUs) / 1000.0);
    }
    return delays;
}

void report(const char* path, const Probe& probe, const std::vector<double>& delays,
            const live::LiveInstrument& instrument) {
    double mean = 0.0;
    for (const double delay : delays) {
        mean += delay / static_cast<double>(delays.size());
    }
    double spread = 0.0;
    for (const double delay : delays) {
        spread += (delay - mean) * (delay - mean) / static_cast<double>(delays.size());
    }
    const auto [low, high] = std::minmax_element(delays.begin(), delays.end());
    const double framesPerMs = probe.rate() / 1000.0;
    std::printf(
        "%-44s delay %6.2f ms (%6.2f to %6.2f), jitter %5.2f ms peak to peak, %5.2f ms "
        "s.d.; in frames %.0f (%.0f to %.0f), jitter %.0f; event delay %.2f ms, %llu "
        "late, %u xruns\n",
        path, mean, *low, *high, *high - *low, std::sqrt(spread), mean * framesPerMs,
        *low * framesPerMs, *high * framesPerMs, (*high - *low) * framesPerMs,
        static_cast<double>(instrument.eventDelay()) / 1e6,
        static_cast<unsigned long long>(instrument.lateEvents()), probe.xruns());
}

constexpr std::uint32_t kSeconds = (kNotes * kSpacingUs) / 1'000'000 + 2;

// Keys into the program's output, the audio library's (through ALSA's JACK device) at the
// chosen latency or the direct JACK client.
void measureKeys(audio::AudioOutput::JackPlay play, const char* path, const char* port,
                 settings::Latency latency = settings::Latency::Standard) {
    live::LiveInstrument instrument;
    instrument.moveControl(controls::ControlId::Release, kReleaseMs);
    audio::AudioOutput output(instrument, play);
    output.setLatency(latency);
    output.offersOwnJackMidiInput();
    if (!output.openAudio()) {
        std::printf("%-44s the output did not open\n", path);
        return;
    }
    output.startAudio();
    {
        Probe probe(kSeconds);
        if (!probe.connectFrom(port)) {
            std::printf("%-44s no port %s\n", path, port);
        } else {
            std::this_thread::sleep_for(300ms);
            probe.start();
            std::this_thread::sleep_for(100ms);
            const std::vector<std::int64_t> sent = playKeys(instrument, nowUs() + 100'000);
            while (!probe.full()) {
                std::this_thread::sleep_for(50ms);
            }
            report(path, probe,
                   delaysFromClock(
                       probe, sent,
                       instrumentStartUs(output.outputRate() ? output.outputRate() : probe.rate())),
                   instrument);
        }
    }
    output.shutdownAudio([](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); });
}

// Another JACK client's MIDI output into the direct JACK output: connected to its own
// `Vireon:MIDI in`, whose events apply at their frames, or opened from the device list.
void measureJackMidi(bool fromDeviceList) {
    const char* path =
        fromDeviceList ? "JACK MIDI port from the device list" : "JACK MIDI into Vireon:MIDI in";
    live::LiveInstrument instrument;
    instrument.moveControl(controls::ControlId::Release, kReleaseMs);
    audio::AudioOutput output(instrument, audio::AudioOutput::JackPlay::Directly);
    output.offersOwnJackMidiInput();
    if (!output.openAudio()) {
        std::printf("%-44s the output did not open\n", path);
        return;
    }
    output.startAudio();
    {
        Probe probe(kSeconds);
        midi::RtMidiPorts ports(instrument);
        int device = -1;
        for (int i = 0; i < ports.deviceCount(); ++i) {
            if (ports.deviceName(i).value_or("").find("live timing probe") != std::string::npos) {
                device = i;
            }
        }
        const bool connected = probe.connectFrom("^Vireon:out_0$") &&
                               (fromDeviceList ? device >= 0 && ports.open(device) && ports.start()
                                               : probe.connectTo("Vireon:MIDI in"));
        if (!connected) {
            std::printf("%-44s could not connect\n", path);
        } else {
            std::this_thread::sleep_for(300ms);
            const std::uint32_t rate = probe.rate();
            std::vector<std::uint32_t> frames;
            for (std::uint32_t i = 0; i < kNotes; ++i) {
                frames.push_back(rate / 10 +
                                 static_cast<std::uint32_t>(i * kSpacingUs * rate / 1'000'000));
            }
            probe.sendAt(frames);
            probe.start();
            while (!probe.full()) {
                std::this_thread::sleep_for(50ms);
            }
            report(path, probe, delaysFromFrames(probe, frames, instrumentStartUs(rate)),
                   instrument);
        }
        ports.close();
    }
    output.shutdownAudio([](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); });
}

// The program itself, as a user runs it, playing one held note that the probe sends into
// `Vireon:MIDI in`: its user and system time over kProcessorWindow.
void measureProgramProcessor(const testsupport::JackServer& server) {
    const char* path = "program playing a held note through JACK";
    const std::filesystem::path folder = testsupport::makeTemporaryFolder("vireon-live-timing");
    // The settings file lives beside the program, so it runs from a copy.
    std::filesystem::copy_file(VIREON_PROGRAM, folder / "vireon");
    std::filesystem::create_directory(folder / "runtime");
    std::filesystem::permissions(folder / "runtime", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    std::vector<std::string> environment = server.clientEnvironment();
    environment.push_back("QT_QPA_PLATFORM=offscreen");
    environment.push_back("XDG_RUNTIME_DIR=" + (folder / "runtime").string());
    const std::filesystem::path statusTrace = folder / "status-trace.txt";
    environment.push_back("VIREON_STATUS_TRACE=" + statusTrace.string());
    {
        testsupport::RunningProgram vireon({(folder / "vireon").string()}, environment, folder);
        // The probe comes once the program has opened its MIDI device, the last step before its
        // sound starts: the probe's port is then not in the device list, which opens the first
        // device, and the program is the one JACK client "Vireon".
        testsupport::waitUntil(
            [&] {
                std::ifstream trace(statusTrace);
                for (std::string line; std::getline(trace, line);) {
                    if (line.starts_with("0\t")) {
                        return true;
                    }
                }
                return false;
            },
            20s);
        Probe probe(2);
        if (!probe.connectFrom("^Vireon:out_0$") || !probe.connectTo("Vireon:MIDI in")) {
            std::printf("%-44s could not connect\n", path);
        } else {
            std::this_thread::sleep_for(300ms);
            probe.sendAt({probe.rate() / 10}, kForever);
            probe.start();
            while (!probe.full()) {
                std::this_thread::sleep_for(50ms);
            }
            const std::chrono::milliseconds before = vireon.processorTime();
            std::this_thread::sleep_for(kProcessorWindow);
            const std::chrono::milliseconds used = vireon.processorTime() - before;
            const bool sounding = probe.soundFrom(0) < probe.rate() * 2;
            std::printf("%-44s %lld ms of processor time in %lld s: %.2f %% of a core%s\n", path,
                        static_cast<long long>(used.count()),
                        static_cast<long long>(kProcessorWindow / 1s),
                        100.0 * static_cast<double>(used.count()) /
                            static_cast<double>(kProcessorWindow / 1ms),
                        sounding ? "" : " (but no sound came)");
        }
        ::kill(vireon.pid(), SIGTERM);
        vireon.waitForExit(5s);
    }
    std::filesystem::remove_all(folder);
}

// The audio library's stream through PipeWire's ALSA plugin, as on most desktops, on a private
// PipeWire at `rate` that picks its own quantum. The probe is a JACK client of the same PipeWire,
// so this process runs with PipeWire's libjack (under `pw-jack`).
void measurePipeWire(std::uint32_t rate) {
    testsupport::PipeWireServer pipewire(rate);
    std::vector<std::unique_ptr<testsupport::ScopedEnvironmentVariable>> environment;
    for (const std::string& entry : pipewire.clientEnvironment()) {
        const std::size_t equals = entry.find('=');
        if (!entry.starts_with("JACK_")) {
            environment.push_back(std::make_unique<testsupport::ScopedEnvironmentVariable>(
                entry.substr(0, equals), entry.substr(equals + 1)));
        }
    }
    std::printf("private PipeWire, %u Hz, quantum of its own choosing; %u notes per path\n", rate,
                kNotes);
    const char* port = "ALSA Playback:output_FL$";
    measureKeys(audio::AudioOutput::JackPlay::ThroughLibrary,
                "keys -> audio library (PipeWire's ALSA)", port);
    measureKeys(audio::AudioOutput::JackPlay::ThroughLibrary, "keys -> audio library, low latency",
                port, settings::Latency::Low);
}

}  // namespace

int main(int argc, char** argv) {
    // What to measure: "jack" (the direct JACK output, its MIDI input and the device list),
    // "library" (the audio library's stream), "processor" (the program's processor time), or
    // everything; or "pipewire" (the audio library's stream through PipeWire), which takes no
    // JACK server.
    const std::string paths = argc > 3 ? argv[3] : "all";
    const auto measures = [&](const char* which) { return paths == "all" || paths == which; };
    testsupport::JackServerOptions options;
    options.sampleRate = argc > 1 ? static_cast<std::uint32_t>(std::stoul(argv[1])) : 48000;
    options.period = argc > 2 ? static_cast<std::uint32_t>(std::stoul(argv[2])) : 256;
    if (paths == "pipewire") {
        measurePipeWire(options.sampleRate);
        return 0;
    }
    // JACK has room for only a few servers on a machine; wait for one to end.
    std::unique_ptr<testsupport::JackServer> server;
    for (int tries = 0; !server; ++tries) {
        try {
            server = std::make_unique<testsupport::JackServer>(options);
        } catch (const std::runtime_error&) {
            if (tries == 60) {
                throw;
            }
            std::this_thread::sleep_for(5s);
        }
    }
    std::printf("JACK dummy server, %u Hz, %u frames a period (%.2f ms); %u notes per path\n",
                options.sampleRate, options.period, 1000.0 * options.period / options.sampleRate,
                kNotes);
    {
        Probe probe(1);
        std::printf("JACK's clock minus the stamping clock: %lld us\n",
                    static_cast<long long>(probe.jackNowUs() - nowUs()));
    }
    if (measures("library")) {
        measureKeys(audio::AudioOutput::JackPlay::ThroughLibrary,
                    "keys -> audio library (ALSA's JACK device)", ":out_000$");
        measureKeys(audio::AudioOutput::JackPlay::ThroughLibrary,
                    "keys -> audio library, low latency", ":out_000$", settings::Latency::Low);
    }
    if (measures("jack")) {
        measureKeys(audio::AudioOutput::JackPlay::Directly, "keys -> direct JACK output",
                    "^Vireon:out_0$");
        measureJackMidi(false);
        measureJackMidi(true);
        std::printf("ALSA sequencer (device list, own ALSA port): %s\n",
                    access("/dev/snd/seq", F_OK) == 0 ? "present, not measured by this program"
                                                      : "no /dev/snd/seq here, not measured");
    }
    if (measures("processor")) {
        measureProgramProcessor(*server);
    }
    return 0;
}
