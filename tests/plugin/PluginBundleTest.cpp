// SPDX-License-Identifier: GPL-3.0-or-later
// What a host learns from the bundle's Turtle, which the build writes from the table of controls,
// checked against that table and the ports the plugin's code expects.

#include <gtest/gtest.h>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>

#include "controls/Controls.h"
#include "plugin/lv2/Controls.h"
#include "tests/plugin/PluginHost.h"

namespace vireon::plugintest {
namespace {

class PluginBundleTest : public ::testing::Test {
  protected:
    LilvNode* uri(const char* text) {
        nodes_.push_back(lilv_new_uri(host_.world(), text));
        return nodes_.back();
    }
    const LilvPort* port(const char* symbol) {
        nodes_.push_back(lilv_new_string(host_.world(), symbol));
        return lilv_plugin_get_port_by_symbol(host_.plugin(), nodes_.back());
    }
    void TearDown() override {
        for (LilvNode* node : nodes_) {
            lilv_node_free(node);
        }
    }

    PluginHost host_;
    std::vector<LilvNode*> nodes_;
};

TEST_F(PluginBundleTest, DescribesAnInstrumentWithMidiInAndMonoOut) {
    const LilvPlugin* plugin = host_.plugin();
    ASSERT_NE(plugin, nullptr);
    EXPECT_TRUE(lilv_plugin_verify(plugin));
    EXPECT_TRUE(lilv_world_ask(host_.world(), lilv_plugin_get_uri(plugin),
                               uri("http://www.w3.org/1999/02/22-rdf-syntax-ns#type"),
                               uri(LV2_CORE__InstrumentPlugin)));
    EXPECT_EQ(lilv_plugin_get_num_ports(plugin), plugin::kFirstControlPort + plugin::kControlCount);

    const LilvPort* midiIn = port("midi_in");
    ASSERT_NE(midiIn, nullptr);
    EXPECT_EQ(lilv_port_get_index(plugin, midiIn), plugin::kMidiInPort);
    EXPECT_TRUE(lilv_port_is_a(plugin, midiIn, uri(LV2_ATOM__AtomPort)));
    EXPECT_TRUE(lilv_port_supports_event(plugin, midiIn, uri(LV2_MIDI__MidiEvent)));
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, uri(LV2_CORE__AudioPort),
                                                 uri(LV2_CORE__OutputPort), nullptr),
              1u);
    EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, uri(LV2_CORE__AudioPort), nullptr), 1u);
    const LilvPort* out = port("out");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(lilv_port_get_index(plugin, out), plugin::kAudioOutPort);

    ASSERT_TRUE(lilv_plugin_has_latency(plugin));
    EXPECT_EQ(lilv_plugin_get_latency_port_index(plugin), plugin::kLatencyPort);
}

TEST_F(PluginBundleTest, ControlPortsCarryTheTablesNamesRangesAndStartUpValues) {
    const LilvPlugin* plugin = host_.plugin();
    ASSERT_NE(plugin, nullptr);
    for (std::size_t i = 0; i < plugin::kControlCount; ++i) {
        const controls::Control& expected = controls::kControls[i];
        SCOPED_TRACE(expected.symbol);
        const LilvPort* control = port(std::string(expected.symbol).c_str());
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(lilv_port_get_index(plugin, control), plugin::kFirstControlPort + i);
        LilvNode* name = lilv_port_get_name(plugin, control);
        EXPECT_EQ(lilv_node_as_string(name), expected.name);
        lilv_node_free(name);
        EXPECT_TRUE(lilv_port_is_a(plugin, control, uri(LV2_CORE__InputPort)));
        EXPECT_TRUE(lilv_port_is_a(plugin, control, uri(LV2_CORE__ControlPort)));
        EXPECT_TRUE(lilv_port_has_property(plugin, control, uri(LV2_CORE__integer)));
        LilvNode *initial = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(plugin, control, &initial, &min, &max);
        ASSERT_TRUE(initial && min && max);
        EXPECT_EQ(lilv_node_as_float(initial), expected.initial);
        EXPECT_EQ(lilv_node_as_float(min), expected.min);
        EXPECT_EQ(lilv_node_as_float(max), expected.max);
        lilv_node_free(initial);
        lilv_node_free(min);
        lilv_node_free(max);
    }
}

TEST_F(PluginBundleTest, RefusesAHostWithoutTheUridMap) {
    ASSERT_NE(host_.plugin(), nullptr);
    EXPECT_EQ(lilv_plugin_instantiate(host_.plugin(), 8000.0, nullptr), nullptr);
}

}  // namespace
}  // namespace vireon::plugintest
