// SPDX-License-Identifier: GPL-3.0-or-later
// The look reaches every window, those of kinds it has never heard of included, and leaves each
// control in its window's font.

#include <QLabel>
#include <QTest>
#include <algorithm>
#include <array>

#include "UiTestSupport.h"
#include "ui/AboutBox.h"
#include "ui/HelpWindow.h"
#include "ui/KeyboardWindow.h"
#include "ui/Look.h"

namespace vireon::ui::test {

namespace {

/// The colour a label is drawn in, as the style sheet left it in its palette.
QColor textColour(const QLabel& label) {
    return label.palette().color(label.foregroundRole());
}

}  // namespace

class LookTest : public QObject {
    Q_OBJECT

  private slots:
    void everyWindowWearsTheLookInItsOwnFont() {
        BuiltWindow main;
        live::ScopeTap tap;
        KeyboardWindow keyboard([](std::uint32_t) {}, tap, [](live::ScopeTap*) {});
        EventSource events;
        HelpWindow help(events);
        QWidget later;  // a window made after the look, with nothing of its own
        auto* laterText = new QLabel(QStringLiteral("Latency"), &later);
        const std::array<QWidget*, 4> windows = {&main.window, &keyboard, &help, &later};
        for (QWidget* window : windows) {
            window->show();
        }

        for (QWidget* window : windows) {
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QCOMPARE(window->palette().color(QPalette::Window), QColor(look::kPanel));
            for (const QWidget* child : window->findChildren<QWidget*>()) {
                if (child->window() == window) {  // popups are windows of their own
                    QVERIFY2(child->font() == window->font(), child->metaObject()->className());
                }
            }
        }
        QCOMPARE(textColour(*laterText), QColor(look::kDim));
        const auto* havoc = qobject_cast<QLabel*>(main.window.control(kHavocValueText));
        QCOMPARE(textColour(*havoc), QColor(look::kGlow));

        QColor aboutPanel;
        QColor aboutText;
        whenModalShown([&](QWidget* box) {
            aboutPanel = box->palette().color(QPalette::Window);
            const QList<QLabel*> labels = box->findChildren<QLabel*>();
            const auto text = std::find_if(labels.begin(), labels.end(), [](QLabel* l) {
                return l->text().startsWith("Vireon");
            });
            aboutText = text != labels.end() ? textColour(**text) : QColor();
        });
        showAbout(&main.window);
        QCOMPARE(aboutPanel, QColor(look::kPanel));
        QCOMPARE(aboutText, QColor(look::kText));
    }
};

VIREON_UI_TEST_SUITE(LookTest)

}  // namespace vireon::ui::test

#include "LookTest.moc"
