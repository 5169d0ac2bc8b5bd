// SPDX-License-Identifier: GPL-3.0-or-later
// The application with its real audio stream on a private JACK dummy server: a note played
// into the running program comes out bit for bit as vireon-render renders it, and the fatal
// audio error shows the library's own text.

#include <QAction>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../ui/UiTestSupport.h"
#include "AppTestSupport.h"
#include "RunningProgram.h"
#include "devices/audio/AudioOutput.h"
#include "midi/MidiMessage.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/JackServer.h"
#include "tests/support/Samples.h"
#include "ui/LatencyMenu.h"
#include "ui/MainWindow.h"

namespace vireon::ui::test {
namespace {

using namespace std::chrono_literals;
using testsupport::alignAtFirstNonZero;
using testsupport::firstBitDifference;

constexpr std::size_t kComparedSamples = 6000;  // attack, decay and into the sustain

// What vireon-render makes of one note-on at sample 0 with the given Havoc position.
std::vector<float> renderWithTheTool(int havoc) {
    TemporaryFolder folder;
    writeFile(folder.path() / "note.txt", "0 0x90 69 100\n");
    const std::optional<std::string> raw = runCommand(
        {VIREON_RENDER, "--events", (folder.path() / "note.txt").string(), "--havoc",
         std::to_string(havoc), "--length", std::to_string(kComparedSamples + 2000), "-o", "-"},
        {}, 30s);
    if (!raw) {
        return {};
    }
    std::vector<float> samples(raw->size() / sizeof(float));
    std::memcpy(samples.data(), raw->data(), samples.size() * sizeof(float));
    return samples;
}

TEST(AppAudio, ANotePlayedIntoTheProgramSoundsAsTheRendererRendersIt) {
    testsupport::JackServer server;
    TemporaryFolder folder;
    live::LiveInstrument instrument;
    audio::AudioOutput output(instrument);
    NoMidiPorts midiPorts;
    App app(instrument, output, midiPorts, folder.path() / "chaos.txt");

    std::vector<float> recorded;
    std::unique_ptr<testsupport::JackRecorder> recorder;
    whenRunning(app, [&](MainWindow& window) {
        recorder = std::make_unique<testsupport::JackRecorder>(server.name());
        recorder->connect(":out_000$", 10s);
        // Havoc to the top of its range, as a user would; the loop acts on it once this
        // step has returned to it.
        window.control(kHavocSlider)->setFocus();
        QTest::keyClick(window.control(kHavocSlider), Qt::Key_Home);
        later(20ms, [&] {
            EXPECT_EQ(window.controlText(kHavocValueText), "100");
            app.instrument().playMessage(midi::packShortMessage(0x90, 69, 100));
            recorded = recorder->recordSound(kComparedSamples);
            EXPECT_EQ(recorder->droppedSamples(), 0u);
            closeLikeTheUser(window);
        });
    });
    EXPECT_EQ(app.run(), 0);

    const std::vector<float> rendered = alignAtFirstNonZero(renderWithTheTool(100));
    ASSERT_GE(recorded.size(), kComparedSamples);
    ASSERT_GE(rendered.size(), kComparedSamples);
    recorded.resize(kComparedSamples);
    const std::vector<float> expected(rendered.begin(), rendered.begin() + kComparedSamples);
    EXPECT_EQ(firstBitDifference(recorded, expected), kComparedSamples);
    EXPECT_EQ(readFile(folder.path() / "chaos.txt"), "10\r\n");
}

// The stream latency the Audio menu shows beside `latency`, in milliseconds; -1 for none.
int shownLatency(const App& app, settings::Latency latency) {
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("\\((\\d+) ms\\)$"))
                                              .match(app.latencyMenu()->entry(latency)->text());
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// Through ALSA's JACK plugin, where the suggested latency sizes the device's buffer: the low
// latency is chosen in the window, the stream opens again with it and plays on, and the choice
// is remembered; a run given a latency by the command line takes that one and leaves the file.
TEST(AppAudio, LowLatencyReopensTheStreamWithLessLatencyAndIsRemembered) {
    testsupport::JackServer server;
    TemporaryFolder folder;
    const std::filesystem::path latencyFile = folder.path() / "latency.txt";
    int standard = -1;
    int low = -1;
    {
        live::LiveInstrument instrument;
        audio::AudioOutput output(instrument);
        NoMidiPorts midiPorts;
        App app(instrument, output, midiPorts, folder.path() / "chaos.txt");
        whenRunning(app, [&](MainWindow& window) {
            standard = shownLatency(app, settings::Latency::Standard);
            EXPECT_TRUE(app.latencyMenu()->entry(settings::Latency::Standard)->isChecked());
            app.latencyMenu()->entry(settings::Latency::Low)->trigger();
            later(20ms, [&] {
                low = shownLatency(app, settings::Latency::Low);
                EXPECT_TRUE(app.latencyMenu()->entry(settings::Latency::Low)->isChecked());
                EXPECT_EQ(shownLatency(app, settings::Latency::Standard), -1);
                testsupport::JackRecorder recorder(server.name());
                recorder.connect(":out_000$", 10s);
                EXPECT_TRUE(recorder.waitForSamples(1024, 5s)) << "no sound after the switch";
                closeLikeTheUser(window);
            });
        });
        EXPECT_EQ(app.run(), 0);
    }
    std::printf("stream latency through ALSA's JACK plugin: standard %d ms, low %d ms\n", standard,
                low);
    RecordProperty("standard_latency_ms", std::to_string(standard));
    RecordProperty("low_latency_ms", std::to_string(low));
    EXPECT_GT(low, 0);
    EXPECT_LT(low, standard);
    EXPECT_EQ(readFile(latencyFile), "low\n");

    live::LiveInstrument instrument;
    audio::AudioOutput output(instrument);
    NoMidiPorts midiPorts;
    App app(instrument, output, midiPorts, folder.path() / "chaos.txt");
    app.setLatencyOverride(settings::Latency::Standard);
    whenRunning(app, [&](MainWindow& window) {
        EXPECT_EQ(shownLatency(app, settings::Latency::Standard), standard);
        closeLikeTheUser(window);
    });
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(readFile(latencyFile), "low\n");
}

TEST(AppAudio, WithoutAnAudioServerTheLibrarysOwnErrorTextIsShown) {
    const testsupport::JackClientEnvironment noServer(testsupport::uniqueJackServerName());
    TemporaryFolder folder;
    writeFile(folder.path() / "chaos.txt", "12\r\n");
    live::LiveInstrument instrument;
    audio::AudioOutput output(instrument);
    NoMidiPorts midiPorts;
    App app(instrument, output, midiPorts, folder.path() / "chaos.txt");

    std::string title, text;
    whenModalShown([&](QWidget* box) {
        title = box->windowTitle().toStdString();
        text = static_cast<QMessageBox*>(box)->text().toStdString();
    });
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(title, "PortAudio");
    EXPECT_EQ(text, "Invalid device");
    EXPECT_EQ(readFile(folder.path() / "chaos.txt"), "12\r\n");
}

}  // namespace
}  // namespace vireon::ui::test
