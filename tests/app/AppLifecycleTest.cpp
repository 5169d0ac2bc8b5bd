// SPDX-License-Identifier: GPL-3.0-or-later
// The application's start-up order, event loop and shutdown order, driven like a user would
// drive it, over a fake audio stream that records what the program asked of it and when.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../ui/UiTestSupport.h"
#include "AppTestSupport.h"
#include "devices/audio/AudioStream.h"
#include "engine/ChaosOscillator.h"
#include "engine/Constants.h"
#include "midi/MidiMessage.h"
#include "sounds/FactorySounds.h"
#include "sounds/SoundFile.h"
#include "controls/WindowNumbers.h"
#include "ui/DisorderSpinBox.h"
#include "ui/FatalErrorBox.h"
#include "ui/HelpWindow.h"
#include "ui/MainWindow.h"
#include "ui/PlayingWindow.h"
#include "ui/SoundMenu.h"
#include "ui/StatusBar.h"

namespace vireon::ui::test {
namespace {

class FakeAudio final : public audio::AudioStream {
  public:
    bool openAudio() override {
        calls.push_back("open");
        if (onOpen) onOpen();
        return openSucceeds;
    }
    std::string fatalErrorText() const override { return "Invalid device"; }
    void releaseAfterFatalError() override { calls.push_back("release"); }
    void startAudio() override {
        calls.push_back("start");
        if (onStart) onStart();
    }
    bool shutdownAudio(const std::function<void(std::chrono::milliseconds)>& waitForWindowEvent,
                       std::chrono::milliseconds) override {
        calls.push_back("shutdown");
        if (onShutdown) onShutdown();
        waitForWindowEvent(std::chrono::milliseconds(1));
        return true;
    }

    audio::OutputCheck checkOutput() override {
        const audio::OutputCheck check = output;
        output.jackServerLost = false;  // reported once, as the real one does
        return check;
    }

    bool openSucceeds = true;
    audio::OutputCheck output;  // what the next look at the output finds
    std::function<void()> onOpen, onStart, onShutdown;
    std::vector<std::string> calls;
};

// One MIDI input device, carried by JACK.
class OneJackDevice final : public midi::MidiPorts {
  public:
    int deviceCount() override { return 1; }
    std::optional<std::string> deviceName(int) override { return "keyboard:out"; }
    bool open(int) override { return true; }
    bool start() override { return true; }
    void stop() override {}
    void close() override {}
    bool forgetJackClients() override {
        ++forgotten;
        return true;
    }
    int forgotten = 0;
};

class AppLifecycle : public ::testing::Test {
  protected:
    std::filesystem::path settingsFile() const { return folder.path() / "chaos.txt"; }

    // Runs the program with `script` played from inside its event loop; a watchdog ends a loop
    // that the script failed to end, so a broken quit path fails instead of hanging.
    int run(const std::function<void(MainWindow&)>& script) {
        whenRunning(app, script);
        later(std::chrono::seconds(20), [this] {
            if (app.mainWindow() != nullptr) {
                ADD_FAILURE() << "the event loop did not end";
                app.events().post({UiEvent::Kind::CloseRequest, kMainWindow});
            }
        });
        return app.run();
    }

    static void pressEscape(MainWindow& window) {
        ASSERT_TRUE(activate(window));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window,
                        Qt::Key_Escape);
    }

    static QSlider& slider(MainWindow& window, ControlId id) {
        return *static_cast<QSlider*>(window.control(id));
    }

    static DisorderSpinBox& disorderBox(MainWindow& window) {
        return *static_cast<DisorderSpinBox*>(window.control(kDisorderSpin));
    }

    /// The instrument's state once the events handed to it are applied, as the audio thread
    /// would apply them; the fake audio never renders, so this thread may.
    const engine::SynthState& state() {
        instrument.applyPending();
        return instrument.instrument().state();
    }

    /// Chooses an entry of the Sounds menu as a click would.
    static void chooseFromSoundsMenu(MainWindow& window, const QString& text) {
        for (QAction* menu : window.menuBar()->actions()) {
            if (menu->text() == QStringLiteral("Sounds")) {
                for (QAction* entry : menu->menu()->actions()) {
                    if (entry->text() == text) {
                        entry->trigger();
                        return;
                    }
                }
            }
        }
        ADD_FAILURE() << "no entry " << text.toStdString() << " in the Sounds menu";
    }

    TemporaryFolder folder;
    live::LiveInstrument instrument;
    FakeAudio audio;
    NoMidiPorts midiPorts;
    App app{instrument, audio, midiPorts, settingsFile()};
};

TEST_F(AppLifecycle, StartsAndStopsInOrder) {
    writeFile(settingsFile(), "25\r\n");
    audio.onOpen = [this] {
        // The settings fix s before any audio exists.
        EXPECT_EQ(state().s.load(), 1.0f);
        EXPECT_EQ(app.mainWindow(), nullptr);
    };
    // A note that arrives before the sound starts
    instrument.playMessage(midi::packShortMessage(0x90, 69, 100));
    audio.onStart = [this] {
        EXPECT_EQ(state().gate.load(), 0);
        EXPECT_NE(app.mainWindow(), nullptr);
    };
    audio.onShutdown = [this] {
        // The box's text is on disk before the stream is stopped.
        EXPECT_EQ(readFile(settingsFile()), "26\r\n");
    };
    const int exitCode = run([](MainWindow& window) {
        QTest::mouseClick(disorderBox(window).upButton(), Qt::LeftButton);
        later(std::chrono::milliseconds(10), [&window] { pressEscape(window); });
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(audio.calls, (std::vector<std::string>{"open", "start", "shutdown"}));
    EXPECT_EQ(readFile(settingsFile()), "26\r\n");
}

TEST_F(AppLifecycle, CloseBoxEndsTheLoopAndSavesTheDefault) {
    EXPECT_EQ(run([](MainWindow& window) { closeLikeTheUser(window); }), 0);
    EXPECT_EQ(readFile(settingsFile()), "10\r\n");
    EXPECT_EQ(audio.calls.back(), "shutdown");
}

TEST_F(AppLifecycle, HavocAndBedlamKeepTheirStartupValuesUntilMoved) {
    float omegaBeforeMove = 0.0f, kBeforeMove = 0.0f;
    run([&](MainWindow& window) {
        omegaBeforeMove = state().omega.load();
        kBeforeMove = state().k.load();
        slider(window, kHavocSlider).setFocus();
        QTest::keyClick(&slider(window, kHavocSlider), Qt::Key_Home);  // to the top: 100
        slider(window, kBedlamSlider).setFocus();
        QTest::keyClick(&slider(window, kBedlamSlider), Qt::Key_End);  // to the bottom: 1
        later(std::chrono::milliseconds(10), [&] {
            EXPECT_EQ(window.controlText(kHavocValueText), "100");
            EXPECT_EQ(window.controlText(kBedlamValueText), "1");
            pressEscape(window);
        });
    });
    EXPECT_EQ(omegaBeforeMove, engine::kStartupOmega);
    EXPECT_EQ(kBeforeMove, engine::kStartupK);
    EXPECT_NEAR(state().omega.load(), 99.9128f, 1e-4);
    EXPECT_EQ(state().omega.load(), engine::havocForPosition(100));
    EXPECT_EQ(state().k.load(), engine::bedlamForPosition(1));
    EXPECT_NEAR(state().k.load(), 0.0212824f, 1e-7);
}

TEST_F(AppLifecycle, ChoosingASoundMovesTheControlsAndSetsDisorderForTheNextStart) {
    const sounds::Sound& bells = *sounds::findFactorySound("Glass Bells");
    ASSERT_NE(bells.position(controls::ControlId::Disorder), 10);
    std::string message;
    run([&](MainWindow& window) {
        chooseFromSoundsMenu(window, QString::fromStdString(bells.name));
        later(std::chrono::milliseconds(10), [&] {
            EXPECT_EQ(window.controlText(kHavocValueText), "20");
            EXPECT_EQ(window.sliderValue(kReleaseSlider), 2500);
            EXPECT_EQ(window.controlText(kDisorderSpin), "1");
            message = window.statusBar()->message().toStdString();
            pressEscape(window);
        });
    });
    EXPECT_EQ(message, "Glass Bells: Disorder 1 from the next start");
    EXPECT_EQ(state().omega.load(), engine::havocForPosition(20));
    EXPECT_EQ(state().k.load(), engine::bedlamForPosition(20));
    EXPECT_EQ(instrument.instrument().position(controls::ControlId::Decay), 2500);
    EXPECT_EQ(instrument.instrument().position(controls::ControlId::Sustain), 0);
    // This run keeps the Disorder it started with; the next one starts with the sound's.
    EXPECT_EQ(state().s.load(), 0.4f);
    EXPECT_EQ(readFile(settingsFile()), "1\r\n");
}

// Ctrl+P opens the Playing window, whose controls move the sound at once; a sound sets them,
// its playing controls included.
TEST_F(AppLifecycle, ThePlayingWindowMovesThePlayingControlsAndSoundsSetThem) {
    using controls::ControlId;
    bool shown = false;
    int bendAfterSound = -1;
    run([&](MainWindow& window) {
        EXPECT_TRUE(activate(window));
        QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
        later(std::chrono::milliseconds(10), [&] {
            PlayingWindow& playing = *app.playingWindow();
            shown = playing.isVisible() && playing.windowTitle() == QStringLiteral("Playing");
            // Moved as the user moves it; an escape below ends the run whatever happens here.
            if (auto* priority = qobject_cast<QComboBox*>(playing.widgetFor(ControlId::Priority))) {
                EXPECT_EQ(priority->itemText(1), QStringLiteral("last held"));
                priority->setCurrentIndex(1);
            }
            playing.setPosition(ControlId::Bend, 12);
            state();  // the moves reach the instrument
            EXPECT_EQ(instrument.instrument().position(ControlId::Priority), 1);
            EXPECT_EQ(instrument.instrument().position(ControlId::Bend), 12);
            chooseFromSoundsMenu(window, QStringLiteral("Glass Bells"));
            later(std::chrono::milliseconds(10), [&] {
                bendAfterSound = app.playingWindow()->position(ControlId::Bend);
                pressEscape(window);
            });
        });
    });
    EXPECT_TRUE(shown);
    // A factory sound holds the playing controls at their start-up positions.
    EXPECT_EQ(bendAfterSound, 0);
    state();
    EXPECT_EQ(instrument.instrument().position(ControlId::Bend), 0);
    EXPECT_EQ(instrument.instrument().position(ControlId::Priority), 0);
}

TEST_F(AppLifecycle, DisorderBoxShowsItsPositionAfterEveryEvent) {
    writeFile(settingsFile(), "  7 apples\r\n");
    std::string shownAtStart, afterTyping;
    run([&](MainWindow& window) {
        shownAtStart = window.controlText(kDisorderSpin);
        QLineEdit* field = disorderBox(window).textField();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_End);
        QTest::keyClicks(field, "2");
        later(std::chrono::milliseconds(10), [&] {
            afterTyping = window.controlText(kDisorderSpin);
            pressEscape(window);
        });
    });
    EXPECT_EQ(shownAtStart, "  7 apples");
    EXPECT_EQ(afterTyping, "7");
    EXPECT_EQ(readFile(settingsFile()), "7\r\n");
}

TEST_F(AppLifecycle, UntouchedDisorderTextIsSavedAsLoaded) {
    writeFile(settingsFile(), "\xEF\xBB\xBFtwelve\n");
    run([](MainWindow& window) { pressEscape(window); });
    EXPECT_EQ(readFile(settingsFile()), "\xEF\xBB\xBFtwelve\r\n");
    EXPECT_EQ(state().s.load(), 0.0f);
}

// Clicking into the box used to save one less than the stored number, so the value crept down
// by one on every run in which the user merely focused the box.
TEST_F(AppLifecycle, FocusingTheDisorderBoxDoesNotChangeTheStoredValue) {
    writeFile(settingsFile(), "10\r\n");
    for (int runNumber = 0; runNumber < 2; ++runNumber) {
        live::LiveInstrument freshInstrument;
        FakeAudio freshAudio;
        App freshApp(freshInstrument, freshAudio, midiPorts, settingsFile());
        whenRunning(freshApp, [](MainWindow& window) {
            disorderBox(window).textField()->setFocus();
            QTest::mouseClick(disorderBox(window).textField(), Qt::LeftButton);
            later(std::chrono::milliseconds(10), [&window] { pressEscape(window); });
        });
        freshApp.run();
        EXPECT_EQ(readFile(settingsFile()), "10\r\n") << "run " << runNumber;
        EXPECT_EQ(freshInstrument.instrument().state().s.load(), 0.4f);
    }
}

TEST_F(AppLifecycle, HelpWindowTakesEveryEventUntilItCloses) {
    float omegaWhileHelpOpen = 0.0f;
    bool helpWasOpen = false;
    run([&](MainWindow& window) {
        app.events().post({UiEvent::Kind::Menu, kMenuHelp});
        later(std::chrono::milliseconds(50), [&] {
            HelpWindow* help = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* candidate = qobject_cast<HelpWindow*>(top);
                    candidate && top->isVisible()) {
                    help = candidate;
                }
            }
            ASSERT_NE(help, nullptr);
            helpWasOpen = true;
            // Moves, Escape, the main close box, About and Help all go unanswered.
            slider(window, kHavocSlider).setFocus();
            QTest::keyClick(&slider(window, kHavocSlider), Qt::Key_Home);
            app.events().post({UiEvent::Kind::Menu, kMenuQuit});
            app.events().post({UiEvent::Kind::Menu, kMenuAbout});
            app.events().post({UiEvent::Kind::Menu, kMenuHelp});
            closeLikeTheUser(window);
            later(std::chrono::milliseconds(20), [&, help] {
                omegaWhileHelpOpen = state().omega.load();
                EXPECT_EQ(window.controlText(kHavocValueText), "45");
                closeLikeTheUser(*help);
                // Back in the main loop: the slider's next event counts again.
                later(std::chrono::milliseconds(20), [&] {
                    EXPECT_NE(app.mainWindow(), nullptr);
                    slider(window, kHavocSlider).setFocus();
                    QTest::keyClick(&slider(window, kHavocSlider), Qt::Key_Down);
                    later(std::chrono::milliseconds(10), [&] { pressEscape(window); });
                });
            });
        });
    });
    EXPECT_TRUE(helpWasOpen);
    EXPECT_EQ(omegaWhileHelpOpen, engine::kStartupOmega);
    EXPECT_EQ(state().omega.load(), engine::havocForPosition(99));
}

TEST_F(AppLifecycle, AboutReturnsToTheLoop) {
    std::string aboutTitle;
    run([&](MainWindow& window) {
        whenModalShown([&](QWidget* box) {
            aboutTitle = box->windowTitle().toStdString();
            EXPECT_FALSE(window.isEnabled());
        });
        app.events().post({UiEvent::Kind::Menu, kMenuAbout});
        // Once the box has come and gone and the main window is enabled again, however long
        // that took; a window left disabled keeps the loop running into the watchdog.
        auto* poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, poll, [&, poll] {
            if (aboutTitle.empty() || QApplication::activeModalWidget() != nullptr ||
                !window.isEnabled()) {
                return;
            }
            poll->stop();
            poll->deleteLater();
            EXPECT_NE(app.mainWindow(), nullptr);
            // Which window the toolkit activates after the box varies; Escape is tested
            // elsewhere, so the loop is ended with the event Escape produces.
            app.events().post({UiEvent::Kind::Menu, kMenuQuit});
        });
        poll->start(20);
    });
    EXPECT_EQ(aboutTitle, "About");
}

TEST_F(AppLifecycle, NoteStatusFromAnotherThreadReachesTheStatusBar) {
    std::string shown;
    run([&](MainWindow& window) {
        std::thread midiThread([&] {
            app.instrument().onMidiMessage(midi::MidiMessageKind::Data,
                                           midi::packShortMessage(0x90, 69, 100), 0);
        });
        midiThread.join();
        // Applied where the audio thread would apply it, and shown within a few frames.
        EXPECT_EQ(state().frequency.load(), 440.0);
        later(std::chrono::milliseconds(100), [&] {
            shown = window.statusBar()->text(kNoteStatusField).toStdString();
            pressEscape(window);
        });
    });
    EXPECT_EQ(shown, "On");
}

TEST_F(AppLifecycle, FatalAudioErrorShowsTheLibrarysTextAndKeepsTheSettings) {
    writeFile(settingsFile(), "33\r\n");
    audio.openSucceeds = false;
    std::string title, text;
    bool hasWindow = true;
    whenModalShown([&](QWidget* box) {
        title = box->windowTitle().toStdString();
        text = static_cast<QMessageBox*>(box)->text().toStdString();
        hasWindow = app.mainWindow() != nullptr;
        EXPECT_EQ(box->objectName().toStdString(), kFatalErrorBoxName);
    });
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(title, "PortAudio");
    EXPECT_EQ(text, "Invalid device");
    EXPECT_FALSE(hasWindow);
    EXPECT_EQ(audio.calls, (std::vector<std::string>{"open", "release"}));
    EXPECT_EQ(readFile(settingsFile()), "33\r\n");
}

// The watch on the output runs from the event loop: a missing output shows its mark in the
// audio field until the output is back, and a lost JACK server takes JACK MIDI input with it.
TEST(AppOutputWatch, MarksMissingSoundAndDropsMidiWithALostJackServer) {
    TemporaryFolder folder;
    live::LiveInstrument instrument;
    FakeAudio audio;
    OneJackDevice midiPorts;
    App app{instrument, audio, midiPorts, folder.path() / "chaos.txt"};

    const auto field = [](MainWindow& window, int number) {
        return window.statusBar()->text(number).toStdString();
    };
    std::vector<std::string> seen;
    whenRunning(app, [&](MainWindow& window) {
        seen.push_back(field(window, kMidiStatusField) + "|" + field(window, kAudioStatusField));
        audio.output.sounding = false;
        later(std::chrono::milliseconds(600), [&] {
            seen.push_back(field(window, kMidiStatusField) + "|" +
                           field(window, kAudioStatusField));
            audio.output.sounding = true;
            later(std::chrono::milliseconds(600), [&] {
                seen.push_back(field(window, kMidiStatusField) + "|" +
                               field(window, kAudioStatusField));
                audio.output = {false, true};
                later(std::chrono::milliseconds(600), [&] {
                    seen.push_back(field(window, kMidiStatusField) + "|" +
                                   field(window, kAudioStatusField));
                    app.events().post({UiEvent::Kind::Menu, kMenuQuit});
                });
            });
        });
    });
    EXPECT_EQ(app.run(), 0);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"MIDI IN|", "MIDI IN|!", "MIDI IN|", "No MIDI IN|!"}));
    EXPECT_EQ(midiPorts.forgotten, 1);
}

}  // namespace
}  // namespace vireon::ui::test
