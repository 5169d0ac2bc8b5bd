// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the bundle's Turtle: the plugin (vireon.ttl) from the table of controls, so that the
// ports a host sees always have the ranges and start-up positions the code uses; the factory
// sounds as presets (presets.ttl); and the manifest that lists both, so hosts show the presets.
// The build runs it.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>

#include "controls/Controls.h"
#include "plugin/lv2/Controls.h"
#include "plugin/lv2/PluginUri.h"
#include "sounds/FactorySounds.h"
#include "text/Quoted.h"

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
        case controls::Unit::Semitones:
            return "units:semitone12TET";
        case controls::Unit::Samples:
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
    if (!c.valueNames.empty()) {
        // A switch: hosts offer its positions by name.
        port += "\t\tlv2:portProperty lv2:integer ,\n\t\t\tlv2:enumeration ;\n";
    } else if (c.step == 1) {
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
    for (int position = c.min; position <= c.max && !c.valueNames.empty(); ++position) {
        port += " ;\n\t\tlv2:scalePoint [\n\t\t\trdfs:label " +
                text::backslashQuoted(*controls::valueName(c, position)) + " ;\n\t\t\trdf:value " +
                std::to_string(position) + "\n\t\t]";
    }
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
        "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
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
        "\tlv2:minorVersion 2 ;\n"
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

/// A preset's permanent name: the plugin's URI and the sound's name in lower-case letters and
/// digits, joined by hyphens. Hosts store it in their sessions.
std::string presetUri(const sounds::Sound& sound) {
    std::string slug;
    for (const char c : sound.name) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            slug += c;
        } else if (c >= 'A' && c <= 'Z') {
            slug += static_cast<char>(c - 'A' + 'a');
        } else if (!slug.empty() && slug.back() != '-') {
            slug += '-';
        }
    }
    while (!slug.empty() && slug.back() == '-') {
        slug.pop_back();
    }
    return std::string(plugin::kPluginUri) + ":preset:" + slug;
}

const std::string kPresetPrefixes =
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n";

std::string presets() {
    std::string text =
        "# SPDX-License-Identifier: GPL-3.0-or-later\n"
        "# Made at build time from share/sounds/factory-sounds.txt; edit that, not this file.\n" +
        kPresetPrefixes;
    for (const sounds::Sound& sound : sounds::factorySounds()) {
        text += "\n<" + presetUri(sound) +
                ">\n"
                "\ta pset:Preset ;\n"
                "\tlv2:appliesTo <" +
                std::string(plugin::kPluginUri) + "> ;\n\trdfs:label " +
                text::backslashQuoted(sound.name) + " ;\n\trdfs:comment " +
                text::backslashQuoted(sound.description) + " ;\n\tlv2:port ";
        for (std::size_t i = 0; i < controls::kControlCount; ++i) {
            text += std::string(i == 0 ? "[\n" : " , [\n") + "\t\tlv2:symbol \"" +
                    std::string(controls::kControls[i].symbol) + "\" ;\n\t\tpset:value " +
                    std::to_string(sound.positions[i]) + ".0\n\t]";
        }
        text += " .\n";
    }
    return text;
}

std::string manifest() {
    std::string text =
        "# SPDX-License-Identifier: GPL-3.0-or-later\n"
        "# Made at build time; the plugin's own Turtle and the presets are in the files it "
        "names.\n" +
        kPresetPrefixes + "\n<" + std::string(plugin::kPluginUri) +
        ">\n"
        "\ta lv2:Plugin ;\n"
        "\tlv2:binary <vireon.so> ;\n"
        "\trdfs:seeAlso <vireon.ttl> .\n";
    // Hosts list the presets a manifest names without loading the plugin's data.
    for (const sounds::Sound& sound : sounds::factorySounds()) {
        text += "\n<" + presetUri(sound) + ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" +
                std::string(plugin::kPluginUri) + "> ;\n\trdfs:seeAlso <presets.ttl> .\n";
    }
    return text;
}

bool write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "Could not write " << file << "; check that its folder exists and is "
                  << "writable.\n";
        std::filesystem::remove(file);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "Usage: " << (argc > 0 ? argv[0] : "vireon-lv2-turtle") << " BUNDLE-FOLDER\n";
        return 2;
    }
    if (sounds::factorySounds().empty()) {
        std::cerr << "No factory sounds to make presets of.\n";
        return 1;
    }
    std::set<std::string> uris;
    for (const sounds::Sound& sound : sounds::factorySounds()) {
        if (!uris.insert(presetUri(sound)).second) {
            std::cerr << "Two factory sounds would share the preset " << presetUri(sound)
                      << "; give one of them another name.\n";
            return 1;
        }
    }
    const std::filesystem::path folder = argv[1];
    return write(folder / "vireon.ttl", turtle()) && write(folder / "presets.ttl", presets()) &&
                   write(folder / "manifest.ttl", manifest())
               ? 0
               : 1;
}
