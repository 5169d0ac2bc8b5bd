// SPDX-License-Identifier: GPL-3.0-or-later
// The Disorder box: its position starts from the stored text, and which actions step the
// position or post events while its text stays whatever was last set.

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolButton>

#include "UiTestSupport.h"
#include "ui/DisorderSpinBox.h"

namespace vireon::ui::test {

namespace {

DisorderSpinBox* box(BuiltWindow& w) {
    return qobject_cast<DisorderSpinBox*>(w.window.control(kDisorderSpin));
}

}  // namespace

class DisorderBoxTest : public QObject {
    Q_OBJECT

  private slots:
    // The position is the stored number itself, held within 1..50; the text is kept as stored.
    void startsFromTheStoredText_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("position");
        QTest::newRow("10") << "10" << 10;
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("no number") << "abc" << 1;
        QTest::newRow("zero") << "0" << 1;
        QTest::newRow("above range") << "99" << 50;
        QTest::newRow("spaces and sign") << "  -3abc" << 1;
        QTest::newRow("hexadecimal") << "$14" << 20;
        QTest::newRow("past 32 bits") << "4294967306" << 50;
    }
    void startsFromTheStoredText() {
        QFETCH(QString, stored);
        QFETCH(int, position);
        BuiltWindow w(stored.toStdString());
        QCOMPARE(w.window.spinValue(kDisorderSpin), position);
        QCOMPARE(w.window.controlText(kDisorderSpin), stored.toStdString());
        QVERIFY(takeAll(w.events).empty());
    }

    void arrowsAndArrowKeysStepThePositionOnly() {
        BuiltWindow w;
        QTest::mouseClick(box(w)->upButton(), Qt::LeftButton);
        QCOMPARE(w.window.spinValue(kDisorderSpin), 11);
        QCOMPARE(takeAll(w.events), std::vector<UiEvent>{control(kDisorderSpin)});
        QTest::mouseClick(box(w)->downButton(), Qt::LeftButton);
        QTest::mouseClick(box(w)->downButton(), Qt::LeftButton);
        QTest::keyClick(box(w)->textField(), Qt::Key_Down);
        QTest::keyClick(box(w)->textField(), Qt::Key_Up);
        QCOMPARE(w.window.spinValue(kDisorderSpin), 9);
        QCOMPARE(takeAll(w.events).size(), std::size_t{4});
        QCOMPARE(w.window.controlText(kDisorderSpin), std::string("10"));
    }

    // No wrapping at either end; the step still reaches the loop so it can show the position.
    void stepsStopAtTheEnds() {
        BuiltWindow top("50");
        QTest::mouseClick(box(top)->upButton(), Qt::LeftButton);
        QTest::keyClick(box(top)->textField(), Qt::Key_Up);
        QCOMPARE(top.window.spinValue(kDisorderSpin), 50);
        QCOMPARE(takeAll(top.events).size(), std::size_t{2});

        BuiltWindow bottom("1");
        QTest::mouseClick(box(bottom)->downButton(), Qt::LeftButton);
        QCOMPARE(bottom.window.spinValue(kDisorderSpin), 1);
        bottom.window.setSpinValue(kDisorderSpin, 80);
        QCOMPARE(bottom.window.spinValue(kDisorderSpin), 50);
    }

    void heldArrowRepeats() {
        BuiltWindow w;
        QTest::mousePress(box(w)->upButton(), Qt::LeftButton);
        QCOMPARE(w.window.spinValue(kDisorderSpin), 11);
        QTRY_VERIFY(w.window.spinValue(kDisorderSpin) >= 13);
        QTest::mouseRelease(box(w)->upButton(), Qt::LeftButton);
        QCOMPARE(takeAll(w.events).size(), std::size_t(w.window.spinValue(kDisorderSpin) - 10));
    }

    void typingAndFocusChangesPostEvents() {
        BuiltWindow w;
        QVERIFY(activate(w.window));
        QLineEdit* field = box(w)->textField();
        w.window.control(kHavocSlider)->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), w.window.control(kHavocSlider));
        takeAll(w.events);

        QTest::mouseClick(field, Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QCOMPARE(takeAll(w.events), std::vector<UiEvent>{control(kDisorderSpin)});

        field->setCursorPosition(2);
        QTest::keyClick(field, Qt::Key_7);
        QCOMPARE(w.window.controlText(kDisorderSpin), std::string("107"));
        QCOMPARE(w.window.spinValue(kDisorderSpin), 10);
        QCOMPARE(takeAll(w.events), std::vector<UiEvent>{control(kDisorderSpin)});

        // Opening and closing the menu only lends the focus away for a moment.
        QMenu* menu = w.window.menuBar()->actions().at(0)->menu();
        menu->popup(w.window.mapToGlobal(QPoint(0, 0)));
        QTRY_VERIFY(menu->isVisible());
        menu->close();
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QVERIFY(takeAll(w.events).empty());

        QTest::keyClick(field, Qt::Key_Tab);
        QTRY_VERIFY(QApplication::focusWidget() != field);
        QCOMPARE(takeAll(w.events), std::vector<UiEvent>{control(kDisorderSpin)});
    }
};

VIREON_UI_TEST_SUITE(DisorderBoxTest)

}  // namespace vireon::ui::test

#include "DisorderBoxTest.moc"
