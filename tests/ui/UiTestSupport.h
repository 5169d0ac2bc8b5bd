// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "engine/AdsrSettings.h"
#include "ui/EventSource.h"
#include "ui/MainWindow.h"
#include "ui/UiEvent.h"

class QSlider;

namespace vireon::ui {
/// Readable events in QCOMPARE failures.
char* toString(const std::vector<UiEvent>& events);
}  // namespace vireon::ui

namespace vireon::ui::test {

/// The QTest classes of the GUI test program, each registered under its name.
std::vector<std::pair<const char*, QObject* (*)()>>& suites();

#define VIREON_UI_TEST_SUITE(Class)                                                             \
    static const bool registered##Class = (::vireon::ui::test::suites().emplace_back(           \
                                               #Class, []() -> QObject* { return new Class; }), \
                                           true);

/// Keeps `adsr` at the envelope sliders' latest moves, as the instrument does.
inline MainWindow::EnvelopeMove storeInto(engine::AdsrSettings& adsr) {
    return [&adsr](controls::ControlId control, int position) {
        std::atomic<std::int32_t>* target = control == controls::ControlId::Attack  ? &adsr.attack
                                            : control == controls::ControlId::Decay ? &adsr.decay
                                            : control == controls::ControlId::Sustain
                                                ? &adsr.sustain
                                                : &adsr.release;
        target->store(position);
    };
}

/// A built main window with its own event queue and envelope values.
struct BuiltWindow {
    explicit BuiltWindow(const std::string& disorderText = "10")
        : built(window.build(disorderText)) {}
    EventSource events;
    engine::AdsrSettings adsr;
    MainWindow window{events, storeInto(adsr)};
    bool built;
};

inline UiEvent control(int id) {
    return {UiEvent::Kind::Control, id};
}
inline UiEvent menu(int id) {
    return {UiEvent::Kind::Menu, id};
}
inline UiEvent closeRequest(int window) {
    return {UiEvent::Kind::CloseRequest, window};
}

/// Takes every queued event, oldest first.
std::vector<UiEvent> takeAll(EventSource& events);

/// Makes `window` the active window and waits until the toolkit agrees.
bool activate(QWidget& window);

/// Sends `window` the close request that its close box or Alt+F4 would.
void closeLikeTheUser(QWidget& window);

/// Where the handle of `slider` is drawn now.
QPoint sliderHandleCentre(const QSlider& slider);

/// Drags the handle of `slider` with the mouse to height `y` and lets go.
void dragSliderHandle(QSlider& slider, int y);

/// Calls `inspect` with the next modal widget once it is up, then dismisses it with Return.
void whenModalShown(const std::function<void(QWidget*)>& inspect);

/// Saves a picture of `widget` as `name` in the screenshot folder; returns the file's path.
QString saveScreenshot(QWidget& widget, const QString& name);

}  // namespace vireon::ui::test
