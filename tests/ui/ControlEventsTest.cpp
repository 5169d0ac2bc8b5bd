// SPDX-License-Identifier: GPL-3.0-or-later
// Which user actions reach the event loop as events, and that the program's own changes and
// other windows' keys do not.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTest>
#include <algorithm>

#include "UiTestSupport.h"
#include "ui/DisorderSpinBox.h"
#include "ui/HelpWindow.h"

namespace vireon::ui::test {

class ControlEventsTest : public QObject {
    Q_OBJECT

  private slots:
    void sliderMovesPostTheirNumber() {
        BuiltWindow w;
        for (const ControlId id : {kAttackSlider, kDecaySlider, kSustainSlider, kReleaseSlider,
                                   kHavocSlider, kBedlamSlider}) {
            auto* slider = qobject_cast<QSlider*>(w.window.control(id));
            // A key step is a movement followed by its end.
            const int before = slider->value();
            QTest::keyClick(slider, Qt::Key_Up);
            QCOMPARE(slider->value(), before + 1);
            QCOMPARE(takeAll(w.events), (std::vector<UiEvent>{control(id), control(id)}));

            // A drag posts while moving and once more on release.
            dragSliderHandle(*slider, 0);
            const std::vector<UiEvent> dragged = takeAll(w.events);
            QVERIFY(dragged.size() >= 2);
            QCOMPARE(std::count(dragged.begin(), dragged.end(), control(id)),
                     std::ptrdiff_t(dragged.size()));
        }
    }

    void programChangesPostNothing() {
        BuiltWindow w;
        w.window.setSliderValue(kHavocSlider, 90);
        w.window.setSliderValue(kAttackSlider, 300);
        w.window.setSpinValue(kDisorderSpin, 33);
        w.window.setControlText(kDisorderSpin, "33");
        w.window.setControlText(kHavocValueText, "90");
        w.window.addListItem(kMidiDeviceList, "One");
        w.window.addListItem(kMidiDeviceList, "Two");
        w.window.selectIndex(kMidiDeviceList, 1);
        w.window.setStatusText(kMidiStatusField, "MIDI IN");
        QCoreApplication::processEvents();
        QVERIFY(takeAll(w.events).empty());
    }

    // A controller has moved the sound already: the window follows without a second move that
    // could land after the controller's next one.
    void controllerMovesShowWithoutMovingAgain() {
        BuiltWindow w;
        const int attackBefore = w.adsr.attack.load();
        w.window.showControllerMove(controls::ControlId::Attack, 300);
        w.window.showControllerMove(controls::ControlId::Havoc, 90);
        w.window.showControllerMove(controls::ControlId::Disorder, 33);
        QCoreApplication::processEvents();
        QVERIFY(takeAll(w.events).empty());
        QCOMPARE(w.adsr.attack.load(), attackBefore);
        QCOMPARE(w.window.sliderValue(kAttackSlider), 300);
        QCOMPARE(w.window.controlText(kHavocValueText), std::string("90"));
        QCOMPARE(w.window.spinValue(kDisorderSpin), 33);
        QCOMPARE(w.window.controlText(kDisorderSpin), std::string("33"));
    }

    void deviceListPostsEveryUserChoice() {
        BuiltWindow w;
        auto* list = qobject_cast<QComboBox*>(w.window.control(kMidiDeviceList));
        for (const char* name : {"One", "Two", "Three"}) {
            w.window.addListItem(kMidiDeviceList, name);
        }
        w.window.selectIndex(kMidiDeviceList, 0);

        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(w.window.selectedIndex(kMidiDeviceList), 1);
        QCOMPARE(takeAll(w.events), std::vector<UiEvent>{control(kMidiDeviceList)});
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Up);  // already first: no change, no event
        QCOMPARE(takeAll(w.events), std::vector<UiEvent>{control(kMidiDeviceList)});

        // Choosing the current entry again from the opened list still counts as a choice.
        QVERIFY(activate(w.window));
        list->showPopup();
        QTRY_VERIFY(list->view()->isVisible());
        QTest::keyClick(list->view(), Qt::Key_Return);
        QTRY_VERIFY(!list->view()->isVisible());
        QCOMPARE(w.window.selectedIndex(kMidiDeviceList), 0);
        QCOMPARE(takeAll(w.events), std::vector<UiEvent>{control(kMidiDeviceList)});

        // Opening and dismissing the list is no choice, and its Escape is not the quit key.
        list->showPopup();
        QTRY_VERIFY(list->view()->isVisible());
        QTest::keyClick(list->view()->window()->windowHandle(), Qt::Key_Escape);
        QTRY_VERIFY(!list->view()->isVisible());
        QVERIFY(takeAll(w.events).empty());
    }

    void menuItemsPostTheirNumbers() {
        BuiltWindow w;
        const QList<QAction*> items = w.window.menuBar()->actions().at(0)->menu()->actions();
        items.at(0)->trigger();
        items.at(1)->trigger();
        QCOMPARE(takeAll(w.events), (std::vector<UiEvent>{menu(kMenuAbout), menu(kMenuHelp)}));
    }

    void escapeQuitsOnlyWhileTheMainWindowIsActive() {
        BuiltWindow w;
        QVERIFY(activate(w.window));
        for (QWidget* target :
             {w.window.control(kMidiDeviceList), w.window.control(kHavocSlider),
              static_cast<QWidget*>(
                  qobject_cast<DisorderSpinBox*>(w.window.control(kDisorderSpin))->textField())}) {
            target->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), target);
            takeAll(w.events);
            QTest::keyClick(target, Qt::Key_Escape);
            QCOMPARE(takeAll(w.events), std::vector<UiEvent>{menu(kMenuQuit)});
        }

        HelpWindow help(w.events);
        help.show();
        QVERIFY(activate(help));
        takeAll(w.events);  // the Disorder box has lost the focus
        QTest::keyClick(help.textBox(), Qt::Key_Escape);
        QVERIFY(takeAll(w.events).empty());
    }

    void closeBoxAsksAndTheWindowStays() {
        BuiltWindow w;
        closeLikeTheUser(w.window);
        QVERIFY(w.window.isVisible());
        QCOMPARE(takeAll(w.events), std::vector<UiEvent>{closeRequest(kMainWindow)});
        // The program itself may still close its window.
        QVERIFY(w.window.close());
        QVERIFY(takeAll(w.events).empty());
    }
};

VIREON_UI_TEST_SUITE(ControlEventsTest)

}  // namespace vireon::ui::test

#include "ControlEventsTest.moc"
