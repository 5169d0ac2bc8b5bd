// SPDX-License-Identifier: GPL-3.0-or-later
#include "UiTestSupport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QMouseEvent>
#include <QSlider>
#include <QSpontaneKeyEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QWindow>

namespace vireon::ui {

char* toString(const std::vector<UiEvent>& events) {
    QByteArray text = "[";
    for (const UiEvent& event : events) {
        text += text.size() > 1 ? ", " : "";
        text += event.kind == UiEvent::Kind::Control ? "Control("
                : event.kind == UiEvent::Kind::Menu  ? "Menu("
                                                     : "CloseRequest(";
        text += QByteArray::number(event.number) + ')';
    }
    return qstrdup((text + ']').constData());
}

}  // namespace vireon::ui

namespace vireon::ui::test {

std::vector<std::pair<const char*, QObject* (*)()>>& suites() {
    static std::vector<std::pair<const char*, QObject* (*)()>> all;
    return all;
}

std::vector<UiEvent> takeAll(EventSource& events) {
    std::vector<UiEvent> taken;
    while (!events.empty()) {
        taken.push_back(events.waitForEvent());
    }
    return taken;
}

bool activate(QWidget& window) {
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

void closeLikeTheUser(QWidget& window) {
    // The window system's close request reaches the native window as a spontaneous close event;
    // QWindow::close() would count as the program's own close() instead.
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::sendEvent(window.windowHandle(), &event);
}

QPoint sliderHandleCentre(const QSlider& slider) {
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = slider.orientation();
    option.minimum = slider.minimum();
    option.maximum = slider.maximum();
    option.sliderPosition = slider.sliderPosition();
    option.sliderValue = slider.value();
    option.upsideDown = !slider.invertedAppearance();  // how QSlider draws a vertical slider
    return slider.style()
        ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider)
        .center();
}

void dragSliderHandle(QSlider& slider, int y) {
    const QPoint start = sliderHandleCentre(slider);
    const QPoint end(start.x(), y);
    QTest::mousePress(&slider, Qt::LeftButton, {}, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(end), QPointF(slider.mapToGlobal(end)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&slider, &move);
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, end);
}

void whenModalShown(const std::function<void(QWidget*)>& inspect) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, inspect] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        poll->deleteLater();
        poll->stop();
        inspect(modal);
        QTest::keyClick(modal, Qt::Key_Return);
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible()) {
            // Return did not dismiss it; end it anyway so the test fails instead of hanging.
            dialog->reject();
        }
    });
    poll->start(10);
}

QString saveScreenshot(QWidget& widget, const QString& name) {
    QString folder = qEnvironmentVariable("VIREON_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    }
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + name;
    return widget.grab().save(path, "PNG") ? path : QString();
}

}  // namespace vireon::ui::test
