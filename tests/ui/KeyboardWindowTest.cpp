// SPDX-License-Identifier: GPL-3.0-or-later
// The on-screen keyboard: computer keys and mouse give the right notes, nothing stays held, and
// the scope shows the sound steadied on a rising zero crossing.

#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "UiTestSupport.h"
#include "engine/RenderBlock.h"
#include "engine/SynthState.h"
#include "midi/MidiNoteHandler.h"
#include "ui/KeyboardWindow.h"
#include "ui/PianoKeys.h"
#include "ui/ScopeView.h"

namespace vireon::ui::test {
namespace {

std::uint32_t on(int note) {
    return midi::packShortMessage(0x90, static_cast<std::uint8_t>(note), 100);
}
std::uint32_t off(int note) {
    return midi::packShortMessage(0x80, static_cast<std::uint8_t>(note), 0);
}

/// A keyboard window wired to a real note handler, recording every message it sends, with the
/// scope attached to nothing but a flag.
struct PlayedKeyboard {
    engine::SynthState state;
    midi::MidiNoteHandler handler{state};
    std::vector<std::uint32_t> sent;
    live::ScopeTap tap;
    live::ScopeTap* attached = nullptr;
    KeyboardWindow window{[this](std::uint32_t message) {
                              sent.push_back(message);
                              handler.onMidiMessage(midi::MidiMessageKind::Data, message, 0);
                          },
                          tap, [this](live::ScopeTap* t) { attached = t; }};

    std::vector<std::uint32_t> takeSent() { return std::exchange(sent, {}); }
    QPoint keyCentre(int note) const {
        return window.keys()->keyRect(note).center() + QPoint(0, 10);
    }
};

void sendKey(QWidget& window, QEvent::Type type, Qt::Key key, bool autoRepeat = false) {
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(&window, &event);
}

}  // namespace

class KeyboardWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void computerKeysPlayTheirNotesAcrossTheOctaveShift() {
        PlayedKeyboard k;
        k.window.show();
        QTest::keyPress(&k.window, Qt::Key_Z);
        QTest::keyPress(&k.window, Qt::Key_U);
        QVERIFY(k.window.keys()->isDrawnPressed(60));
        QVERIFY(k.window.keys()->isDrawnPressed(83));
        QTest::keyRelease(&k.window, Qt::Key_U);
        QTest::keyRelease(&k.window, Qt::Key_Z);
        QCOMPARE(k.takeSent(), (std::vector<std::uint32_t>{on(60), on(83), off(83), off(60)}));

        // Up an octave while Q is down: its release still ends the note it started.
        QTest::keyPress(&k.window, Qt::Key_Q);
        QTest::keyClick(&k.window, Qt::Key_Plus);
        QVERIFY(k.window.octaveLabel()->text().contains(QStringLiteral("C5")));
        QTest::keyRelease(&k.window, Qt::Key_Q);
        QTest::keyClick(&k.window, Qt::Key_S);
        QCOMPARE(k.takeSent(), (std::vector<std::uint32_t>{on(72), off(72), on(73), off(73)}));

        // Down, as far as it goes: the lowest shift stops at C0.
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(&k.window, Qt::Key_Minus);
        }
        QCOMPARE(k.window.baseNote(), KeyboardWindow::kLowestBase);
        QTest::keyClick(&k.window, Qt::Key_M);
        QCOMPARE(k.takeSent(), (std::vector<std::uint32_t>{on(23), off(23)}));
        QCOMPARE(k.state.gate.load(), 0);
    }

    void aRepeatingKeyPlaysOnce() {
        PlayedKeyboard k;
        k.window.show();
        sendKey(k.window, QEvent::KeyPress, Qt::Key_X);
        for (int i = 0; i < 5; ++i) {
            sendKey(k.window, QEvent::KeyRelease, Qt::Key_X, true);
            sendKey(k.window, QEvent::KeyPress, Qt::Key_X, true);
        }
        // A repeat not marked as one is still the same held key.
        sendKey(k.window, QEvent::KeyPress, Qt::Key_X);
        QCOMPARE(k.state.noteCount.load(), 1);
        sendKey(k.window, QEvent::KeyRelease, Qt::Key_X);
        QCOMPARE(k.takeSent(), (std::vector<std::uint32_t>{on(62), off(62)}));
    }

    void losingTheFocusOrClosingEndsEveryHeldNote() {
        PlayedKeyboard k;
        k.window.show();
        QTest::keyPress(&k.window, Qt::Key_Z);
        QTest::keyPress(&k.window, Qt::Key_C);
        QTest::mousePress(k.window.keys(), Qt::LeftButton, {}, k.keyCentre(79));
        QCOMPARE(k.state.noteCount.load(), 3);
        QFocusEvent focusOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(&k.window, &focusOut);
        QCOMPARE(k.state.gate.load(), 0);
        QCOMPARE(k.state.noteCount.load(), 0);
        QVERIFY(!k.window.keys()->isDrawnPressed(60));
        // The keys' releases now reach another window; here they end nothing twice.
        QTest::mouseRelease(k.window.keys(), Qt::LeftButton, {}, k.keyCentre(79));
        QTest::keyRelease(&k.window, Qt::Key_Z);
        QCOMPARE(k.takeSent().size(), 6u);

        QTest::keyPress(&k.window, Qt::Key_V);
        QCOMPARE(k.state.gate.load(), 1);
        k.window.close();
        QCOMPARE(k.state.gate.load(), 0);
        QCOMPARE(k.takeSent(), (std::vector<std::uint32_t>{on(65), off(65)}));
        QCOMPARE(k.attached, nullptr);
    }

    void theMousePlaysPressDragAndRelease() {
        PlayedKeyboard k;
        k.window.show();
        PianoKeys* keys = k.window.keys();
        QCOMPARE(keys->noteAt(k.keyCentre(61)), 61);
        QCOMPARE(keys->noteAt(keys->keyRect(60).bottomLeft() - QPoint(-1, 1)), 60);
        QTest::mousePress(keys, Qt::LeftButton, {}, k.keyCentre(60));
        QVERIFY(keys->isDrawnPressed(60));
        // Dragging on to the next key starts it before the first one ends: legato.
        QMouseEvent drag(QEvent::MouseMove, k.keyCentre(61), keys->mapToGlobal(k.keyCentre(61)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(keys, &drag);
        QCOMPARE(k.state.gate.load(), 1);
        QVERIFY(keys->isDrawnPressed(61));
        QVERIFY(!keys->isDrawnPressed(60));
        QTest::mouseRelease(keys, Qt::LeftButton, {}, k.keyCentre(61));
        QCOMPARE(k.takeSent(), (std::vector<std::uint32_t>{on(60), on(61), off(60), off(61)}));
        QCOMPARE(k.state.gate.load(), 0);
        QCOMPARE(k.state.frequency.load(), 440.0 * std::pow(2.0, (61 - 69) / 12.0));
    }

    // A held note's sound goes through the tap as the audio callback hands it over; whatever
    // the phase it arrives in, the scope starts its trace at a rising zero crossing.
    void theScopeShowsTheHeldNoteSteadied() {
        PlayedKeyboard k;
        k.window.show();
        QCOMPARE(k.attached, &k.tap);
        k.tap.rate.store(8000);
        // C3: a few cycles across the trace, easy to see in the screenshot.
        QTest::keyClick(&k.window, Qt::Key_Minus);
        QTest::keyPress(&k.window, Qt::Key_Z);
        QCOMPARE(k.state.frequency.load(), 440.0 * std::pow(2.0, (48 - 69) / 12.0));

        engine::AdsrSettings adsr;
        std::vector<float> block(256);
        for (int i = 0; i < 20; ++i) {
            engine::renderBlock(k.state, adsr, block.data(), 256);
            k.tap.ring.push(block.data(), block.size());
        }
        k.window.scope()->refresh();
        const std::span<const float> trace = k.window.scope()->trace().visible();
        QCOMPARE(trace.size(), std::size_t{320});
        QVERIFY(trace[0] >= 0.0f);
        QVERIFY(std::fabs(trace[0]) < 0.2f);
        float loudest = 0.0f;
        for (const float sample : trace) {
            loudest = std::max(loudest, std::fabs(sample));
        }
        QVERIFY(loudest > 0.3f);
        QVERIFY(!saveScreenshot(k.window, QStringLiteral("keyboard-window.png")).isEmpty());

        // A plain sine in any phase: the trace starts where it rises through zero.
        live::ScopeTrace sine;
        std::vector<float> samples(700);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] =
                static_cast<float>(std::sin(2.0 * std::numbers::pi * 200.0 * i / 8000.0 + 2.0));
        }
        sine.append(samples, 8000);
        const std::span<const float> steadied = sine.visible();
        QCOMPARE(steadied.size(), std::size_t{320});
        QVERIFY(steadied[0] >= 0.0f && steadied[0] < 0.2f);
        QVERIFY(steadied[1] > steadied[0]);
    }
};

VIREON_UI_TEST_SUITE(KeyboardWindowTest)

}  // namespace vireon::ui::test

#include "KeyboardWindowTest.moc"
