// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the plugin's Turtle (vireon.ttl) from the table of controls, so that the ports a host
// sees always have the ranges and start-up positions the code uses. The build runs it.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "controls/Controls.h"
#include "plugin/lv2/Controls.h"
#include "plugin/lv2/PluginUri.h"

namespace {

using namespace vireon;

/// The most a host is told the latency port can hold; the converter's delay is far below it.
constexpr int kLatencyMaximum = 8192;

std::string unitTerm(controls::Unit unit) {
    switch (unit) {
        case controls::Unit::Milliseconds:
            return "units:ms";
        case controls::Unit::Percent:
            return "units:pc";
        case controls::Unit::None:
            break;
    }
    return {};
}

std::string whenItActs(controls::Acts acts) {
    switch (acts) {
        case controls::Acts::AtOnce:
            return "Acts at once.";
        case controls::Acts::AtNextNote:
            return "Read when a note starts.";
        case controls::Acts::AtNextStart:
            break;
    }
    // A plugin has no next start of its own: the host restores every control at once.
    return "Acts at once.";
}

std::string controlPort(const controls::Control& c, std::size_t index) {
    std::string port =
        "\t] , [\n"
        "\t\ta lv2:InputPort ,\n"
        "\t\t\tlv2:ControlPort ;\n";
    if (c.step == 1) {
        port += "\t\tlv2:portProperty lv2:integer ;\n";
    }
    port += "\t\tlv2:index " + std::to_string(index) + " ;\n";
    port += "\t\tlv2:symbol \"" + std::string(c.symbol) + "\" ;\n";
    port += "\t\tlv2:name \"" + std::string(c.name) + "\" ;\n";
    port +=
        "\t\trdfs:comment \"" + std::string(c.description) + ' ' + whenItActs(c.acts) + "\" ;\n";
    port += "\t\tlv2:default " + std::to_string(c.initial) + " ;\n";
    port += "\t\tlv2:minimum " + std::to_string(c.min) + " ;\n";
    port += "\t\tlv2:maximum " + std::to_string(c.max);
    if (const std::string unit = unitTerm(c.unit); !unit.empty()) {
        port += " ;\n\t\tunits:unit " + unit;
    }
    return port + '\n';
}

std::string turtle() {
    using plugin::kAudioOutPort, plugin::kFirstControlPort, plugin::kLatencyPort,
        plugin::kMidiInPort;
    std::string text =
        "# SPDX-License-Identifier: GPL-3.0-or-later\n"
        "# Made at build time from the table of controls; edit that, not this file.\n"
        "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
        "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
        "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
        "@prefix midi:  <http://lv2plug.in/ns/ext/midi#> .\n"
        "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
        "@prefix time:  <http://lv2plug.in/ns/ext/time#> .\n"
        "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
        "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n"
        "\n"
        "<" +
        std::string(plugin::kPluginUri) +
        ">\n"
        "\ta lv2:Plugin ,\n"
        "\t\tlv2:InstrumentPlugin ;\n"
        "\tdoap:name \"Vireon\" ;\n"
        "\trdfs:comment \"A monophonic chaos synthesizer: a sine whose phase is pushed around by "
        "a circle map (Havoc, Bedlam) and a fractional-part term (Disorder), shaped by an "
        "attack-decay-sustain-release envelope. Its sound is made at 8000 Hz and carried to the "
        "host's rate.\" ;\n"
        "\tlv2:microVersion 0 ;\n"
        "\tlv2:minorVersion 1 ;\n"
        "\tlv2:requiredFeature urid:map ;\n"
        "\tlv2:optionalFeature lv2:hardRTCapable ;\n"
        "\tlv2:port [\n"
        "\t\ta lv2:InputPort ,\n"
        "\t\t\tatom:AtomPort ;\n"
        "\t\tatom:bufferType atom:Sequence ;\n"
        "\t\tatom:supports midi:MidiEvent , time:Position ;\n"
        "\t\tlv2:designation lv2:control ;\n"
        "\t\tlv2:index " +
        std::to_string(kMidiInPort) +
        " ;\n"
        "\t\tlv2:symbol \"midi_in\" ;\n"
        "\t\tlv2:name \"MIDI In\"\n"
        "\t] , [\n"
        "\t\ta lv2:OutputPort ,\n"
        "\t\t\tlv2:AudioPort ;\n"
        "\t\tlv2:index " +
        std::to_string(kAudioOutPort) +
        " ;\n"
        "\t\tlv2:symbol \"out\" ;\n"
        "\t\tlv2:name \"Out\"\n"
        "\t] , [\n"
        "\t\ta lv2:OutputPort ,\n"
        "\t\t\tlv2:ControlPort ;\n"
        "\t\tlv2:designation lv2:latency ;\n"
        "\t\tlv2:portProperty lv2:reportsLatency ,\n"
        "\t\t\tlv2:integer ;\n"
        "\t\tlv2:index " +
        std::to_string(kLatencyPort) +
        " ;\n"
        "\t\tlv2:symbol \"latency\" ;\n"
        "\t\tlv2:name \"Latency\" ;\n"
        "\t\tlv2:default 0 ;\n"
        "\t\tlv2:minimum 0 ;\n"
        "\t\tlv2:maximum " +
        std::to_string(kLatencyMaximum) +
        " ;\n"
        "\t\tunits:unit units:frame\n";
    for (std::size_t i = 0; i < controls::kControlCount; ++i) {
        text += controlPort(controls::kControls[i], kFirstControlPort + i);
    }
    return text + "\t] .\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: " << (argc > 0 ? argv[0] : "vireon-lv2-turtle") << " OUT.ttl\n";
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << turtle();
    out.close();
    if (!out) {
        std::cerr << "Could not write " << argv[1] << "; check that its folder exists and is "
                  << "writable.\n";
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
