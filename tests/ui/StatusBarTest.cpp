// SPDX-License-Identifier: GPL-3.0-or-later
// The status bar's fields, and the hand-over of note texts from the MIDI thread.

#include <QLabel>
#include <QSizeGrip>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "UiTestSupport.h"
#include "tests/support/Waiting.h"
#include "ui/StatusBar.h"
#include "ui/StatusBarSink.h"

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
        MainWindow window(events, adsr);
        QVERIFY(!window.hasStatusBar());
        window.setStatusText(kMidiStatusField, "MIDI IN");
        StatusBarSink sink(window);
        sink.reportNoteStatus("On");
        QCoreApplication::processEvents();
    }

    // The MIDI thread reports while the user-interface thread is busy: it only queues a copy of
    // the text, which shows once the user-interface thread serves its queue.
    void noteTextCrossesThreadsWithoutWaiting() {
        BuiltWindow w;
        StatusBarSink sink(w.window);
        std::atomic<bool> returned{false};
        std::thread midi([&] {
            std::string text = "On";
            sink.reportNoteStatus(text);
            text = "XX";
            returned = true;
        });
        testsupport::waitUntil([&] { return returned.load(); }, std::chrono::seconds(5),
                               std::chrono::milliseconds(1));
        const bool returnedWhileBusy = returned;
        QVERIFY(w.window.statusBar()->text(1).isEmpty());
        QCoreApplication::processEvents();  // frees a sink that waits, so the join cannot hang
        midi.join();
        QVERIFY(returnedWhileBusy);
        QTRY_COMPARE(w.window.statusBar()->text(1), QStringLiteral("On"));
    }

    // A flood of messages from a keyboard must not pile up one queued update per message: the
    // window would fall behind and memory would grow with the flood.
    void aFloodOfReportsQueuesOneUpdateAtATime() {
        BuiltWindow w;
        StatusBarSink sink(w.window);
        MetaCallCounter counter;
        w.window.installEventFilter(&counter);
        std::thread midi([&] {
            for (int i = 0; i < 100000; ++i) {
                sink.reportNoteStatus(i % 2 == 0 ? "On" : "Off");
            }
        });
        midi.join();
        QCoreApplication::processEvents();
        QCOMPARE(counter.calls, 1);
        QCOMPARE(w.window.statusBar()->text(1), QStringLiteral("Off"));
        sink.reportNoteStatus("On");
        QCoreApplication::processEvents();
        QCOMPARE(counter.calls, 2);
        QCOMPARE(w.window.statusBar()->text(1), QStringLiteral("On"));
    }

  private:
    struct MetaCallCounter : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            calls += event->type() == QEvent::MetaCall;
            return false;
        }
        int calls = 0;
    };
};

VIREON_UI_TEST_SUITE(StatusBarTest)

}  // namespace vireon::ui::test

#include "StatusBarTest.moc"
