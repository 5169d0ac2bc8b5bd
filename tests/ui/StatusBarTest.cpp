// SPDX-License-Identifier: GPL-3.0-or-later
// The status bar's fields.

#include <QLabel>
#include <QSizeGrip>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/StatusBar.h"

namespace vireon::ui::test {

class StatusBarTest : public QObject {
    Q_OBJECT

  private slots:
    void threeCentredFieldsAlongTheBottom() {
        BuiltWindow w;
        QVERIFY(w.window.hasStatusBar());
        StatusBar* bar = w.window.statusBar();
        const QWidget* client = w.window.clientArea();
        // The bar covers the bottom of the client area, measured in the window.
        QCOMPARE(bar->parentWidget(), &w.window);
        QCOMPARE(client->geometry().bottom(), 229);
        QCOMPARE(bar->geometry(), QRect(0, 230 - bar->height(), 470, bar->height()));
        QVERIFY(bar->height() >= 18);
        QVERIFY(bar->geometry().top() >= 180);  // below every control
        QVERIFY(bar->findChildren<QSizeGrip*>().isEmpty());

        const QRect fields[] = {
            {0, 0, 100, bar->height()}, {100, 0, 100, bar->height()}, {200, 0, 30, bar->height()}};
        for (int field = 0; field < 3; ++field) {
            QCOMPARE(bar->field(field)->geometry(), fields[field]);
            QCOMPARE(bar->field(field)->alignment(), Qt::AlignCenter);
            QVERIFY(bar->text(field).isEmpty());
        }
        w.window.setStatusText(kMidiStatusField, "No MIDI IN");
        w.window.setStatusText(kNoteStatusField, "On");
        w.window.setStatusText(7, "ignored");
        QCOMPARE(bar->text(0), QStringLiteral("No MIDI IN"));
        QCOMPARE(bar->text(1), QStringLiteral("On"));
        QVERIFY(bar->text(2).isEmpty());
    }

    void withoutStatusBarWritesAreSkipped() {
        EventSource events;
        engine::AdsrSettings adsr;
        MainWindow window(events, storeInto(adsr));
        QVERIFY(!window.hasStatusBar());
        window.setStatusText(kMidiStatusField, "MIDI IN");
        window.setStatusText(kNoteStatusField, "On");
        QCoreApplication::processEvents();
    }
};

VIREON_UI_TEST_SUITE(StatusBarTest)

}  // namespace vireon::ui::test

#include "StatusBarTest.moc"
