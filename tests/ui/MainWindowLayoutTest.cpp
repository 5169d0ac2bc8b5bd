// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as built: frame, menu, every control's place, range and first value, the
// sliders' orientation, the focus order, and the envelope values handed to the audio thread.

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "UiTestSupport.h"
#include "ui/DisorderSpinBox.h"

namespace vireon::ui::test {

namespace {

struct Placed {
    ControlId id;
    QRect geometry;
    const char* text;  // static texts only
};
const Placed kPlaces[] = {
    {kMidiDeviceList, {320, 60, 140, 20}, nullptr}, {kAttackSlider, {220, 40, 20, 120}, nullptr},
    {kDecaySlider, {240, 40, 20, 120}, nullptr},    {kSustainSlider, {260, 40, 20, 120}, nullptr},
    {kReleaseSlider, {280, 40, 20, 120}, nullptr},  {kAttackLabel, {225, 27, 10, 20}, "A"},
    {kSustainLabel, {265, 27, 10, 20}, "S"},        {kDecayLabel, {245, 27, 10, 20}, "D"},
    {kReleaseLabel, {285, 27, 10, 20}, "R"},        {kBedlamValueText, {150, 160, 100, 20}, "30"},
    {kHavocValueText, {100, 160, 50, 20}, "45"},    {kHavocSlider, {100, 40, 20, 120}, nullptr},
    {kBedlamSlider, {150, 40, 20, 120}, nullptr},   {kDisorderSpin, {10, 60, 50, 25}, nullptr},
    {kDisorderLabel, {20, 27, 60, 20}, "Disorder"}, {kHavocLabel, {90, 27, 40, 20}, "Havoc"},
    {kBedlamLabel, {140, 27, 40, 20}, "Bedlam"},
};

struct Range {
    ControlId id;
    int minimum, maximum, initial;
};
const Range kSliders[] = {
    {kAttackSlider, 1, 2000, 1},     {kDecaySlider, 1, 5000, 1000}, {kSustainSlider, 0, 100, 50},
    {kReleaseSlider, 1, 5000, 1500}, {kHavocSlider, 1, 100, 45},    {kBedlamSlider, 1, 100, 30},
};

QSlider* sliderOf(BuiltWindow& w, ControlId id) {
    return qobject_cast<QSlider*>(w.window.control(id));
}

}  // namespace

class MainWindowLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void windowIsFixedCentredAndHasTheQuestionMenu() {
        BuiltWindow w;
        QVERIFY(w.built);
        QVERIFY(!w.window.build("20"));
        QCOMPARE(w.window.windowTitle(), QStringLiteral("Vireon"));
        QCOMPARE(w.window.minimumSize(), QSize(470, 230));
        QCOMPARE(w.window.maximumSize(), QSize(470, 230));
        const Qt::WindowFlags flags = w.window.windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(w.window.palette().color(QPalette::Window),
                 w.window.palette().color(QPalette::Button));

        const QRect screen = w.window.screen()->geometry();
        const QRect frame = w.window.frameGeometry();
        QCOMPARE(frame.left(), screen.left() + (screen.width() - frame.width()) / 2);
        QCOMPARE(frame.top(), screen.top() + (screen.height() - frame.height()) / 2);

        QMenuBar* bar = w.window.menuBar();
        QCOMPARE(bar->geometry(), QRect(0, 0, 470, bar->height()));
        QCOMPARE(bar->actions().size(), 3);
        QCOMPARE(bar->actions()[0]->text(), QStringLiteral("?"));
        QCOMPARE(bar->actions()[1]->text(), QStringLiteral("Keyboard"));
        QCOMPARE(bar->actions()[2]->text(), QStringLiteral("Sounds"));
        const QList<QAction*> items = bar->actions()[0]->menu()->actions();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0]->text(), QStringLiteral("About"));
        QCOMPARE(items[1]->text(), QStringLiteral("Help"));
        // Control positions count from the bottom of the menu bar.
        QCOMPARE(w.window.clientArea()->geometry(),
                 QRect(0, bar->height(), 470, 230 - bar->height()));
    }

    void everyControlAtItsPlaceWithItsText() {
        BuiltWindow w;
        for (const Placed& placed : kPlaces) {
            QWidget* widget = w.window.control(placed.id);
            QVERIFY(widget);
            QCOMPARE(widget->parentWidget(), w.window.clientArea());
            QCOMPARE(widget->geometry(), placed.geometry);
            QVERIFY(widget->isVisible());
            if (placed.text != nullptr) {
                const auto* label = qobject_cast<QLabel*>(widget);
                QCOMPARE(label->text(), QString::fromLatin1(placed.text));
                QCOMPARE(w.window.controlText(placed.id), std::string(placed.text));
                QVERIFY(label->alignment().testFlag(Qt::AlignLeft));
                QCOMPARE(label->focusPolicy(), Qt::NoFocus);
                QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                         placed.text);
            }
        }
    }

    void slidersAreVerticalWithTheirRangesAndFirstValues() {
        BuiltWindow w;
        for (const Range& range : kSliders) {
            QSlider* slider = sliderOf(w, range.id);
            QCOMPARE(slider->orientation(), Qt::Vertical);
            QCOMPARE(slider->minimum(), range.minimum);
            QCOMPARE(slider->maximum(), range.maximum);
            QCOMPARE(w.window.sliderValue(range.id), range.initial);
        }
    }

    // The thumb at the top is the maximum and at the bottom the minimum, whichever way it gets
    // there: dragged, sent by Home and End, or paged by a click on the track.
    void sliderTopIsMaximum() {
        BuiltWindow w;
        for (const ControlId id : {kSustainSlider, kAttackSlider}) {
            QSlider* slider = sliderOf(w, id);
            dragSliderHandle(*slider, 0);
            QCOMPARE(w.window.sliderValue(id), slider->maximum());
            QVERIFY(sliderHandleCentre(*slider).y() < slider->height() / 4);
            dragSliderHandle(*slider, slider->height() - 1);
            QCOMPARE(w.window.sliderValue(id), slider->minimum());
            QVERIFY(sliderHandleCentre(*slider).y() > slider->height() * 3 / 4);

            QTest::keyClick(slider, Qt::Key_Home);
            QCOMPARE(w.window.sliderValue(id), slider->maximum());
            QTest::keyClick(slider, Qt::Key_End);
            QCOMPARE(w.window.sliderValue(id), slider->minimum());
            QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, 2));
            QCOMPARE(w.window.sliderValue(id), slider->minimum() + slider->pageStep());
        }
    }

    void deviceListStartsEmptyAndKeepsTheCallersSelection() {
        BuiltWindow w;
        auto* list = qobject_cast<QComboBox*>(w.window.control(kMidiDeviceList));
        QVERIFY(!list->isEditable());
        QCOMPARE(list->count(), 0);
        QCOMPARE(w.window.selectedIndex(kMidiDeviceList), -1);
        w.window.addListItem(kMidiDeviceList, "Keyboard In");
        w.window.addListItem(kMidiDeviceList, "Pads In");
        QCOMPARE(w.window.selectedIndex(kMidiDeviceList), -1);
        w.window.selectIndex(kMidiDeviceList, 1);
        w.window.addListItem(kMidiDeviceList, "Third In");
        QCOMPARE(w.window.selectedIndex(kMidiDeviceList), 1);
        QCOMPARE(w.window.controlText(kMidiDeviceList), std::string("Pads In"));
    }

    void disorderBoxIsATextFieldWithArrowsBeside() {
        BuiltWindow w;
        auto* box = qobject_cast<DisorderSpinBox*>(w.window.control(kDisorderSpin));
        QCOMPARE(box->textField()->geometry(), QRect(0, 0, 38, 25));
        QVERIFY(box->textField()->alignment().testFlag(Qt::AlignRight));
        QVERIFY(box->textField()->hasFrame());
        QCOMPARE(box->upButton()->geometry(), QRect(38, 0, 12, 12));
        QCOMPARE(box->downButton()->geometry(), QRect(38, 12, 12, 13));
    }

    // Texts are 8-bit bytes: every byte value comes back exactly, however long the text.
    void textsKeepEveryByte() {
        std::string everyByte;
        for (int byte = 1; byte < 256; ++byte) {
            everyByte.push_back(static_cast<char>(byte));
        }
        BuiltWindow w(everyByte);
        QCOMPARE(w.window.controlText(kDisorderSpin), everyByte);
        w.window.setControlText(kHavocValueText, everyByte);
        QCOMPARE(w.window.controlText(kHavocValueText), everyByte);
        const std::string longText(40000, '7');
        w.window.setControlText(kDisorderSpin, longText);
        QCOMPARE(w.window.controlText(kDisorderSpin), longText);
    }

    void tabVisitsTheFocusableControlsInOrder() {
        BuiltWindow w;
        QVERIFY(activate(w.window));
        const QList<QWidget*> order = {
            w.window.control(kMidiDeviceList),
            w.window.control(kAttackSlider),
            w.window.control(kDecaySlider),
            w.window.control(kSustainSlider),
            w.window.control(kReleaseSlider),
            w.window.control(kHavocSlider),
            w.window.control(kBedlamSlider),
            qobject_cast<DisorderSpinBox*>(w.window.control(kDisorderSpin))->textField(),
        };
        order.first()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), order.first());
        for (qsizetype i = 1; i <= order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), order.at(i % order.size()));
        }
        for (qsizetype i = order.size() - 1; i >= 0; --i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(QApplication::focusWidget(), order.at(i));
        }
    }

    // The audio thread reads the envelope values without asking the user-interface thread, so
    // they are current from the moment the window exists and after every move.
    void envelopeValuesFollowTheSliders() {
        EventSource events;
        engine::AdsrSettings adsr;
        for (auto* value : {&adsr.attack, &adsr.decay, &adsr.sustain, &adsr.release}) {
            value->store(-7);
        }
        MainWindow window(events, storeInto(adsr));
        QVERIFY(window.build("10"));
        QCOMPARE(adsr.attack.load(), 1);
        QCOMPARE(adsr.decay.load(), 1000);
        QCOMPARE(adsr.sustain.load(), 50);
        QCOMPARE(adsr.release.load(), 1500);

        QTest::keyClick(window.control(kAttackSlider), Qt::Key_Up);
        QTest::keyClick(window.control(kDecaySlider), Qt::Key_End);
        dragSliderHandle(*qobject_cast<QSlider*>(window.control(kSustainSlider)), 0);
        window.setSliderValue(kReleaseSlider, 42);
        QTest::keyClick(window.control(kHavocSlider), Qt::Key_Home);
        QCOMPARE(adsr.attack.load(), 2);
        QCOMPARE(adsr.decay.load(), 1);
        QCOMPARE(adsr.sustain.load(), 100);
        QCOMPARE(adsr.release.load(), 42);
    }

    void screenshot() {
        BuiltWindow w;
        w.window.addListItem(kMidiDeviceList, "USB Keyboard MIDI 1");
        w.window.selectIndex(kMidiDeviceList, 0);
        w.window.setStatusText(kMidiStatusField, "MIDI IN");
        w.window.setStatusText(kNoteStatusField, "Off");
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        QVERIFY(!saveScreenshot(w.window, QStringLiteral("main-window.png")).isEmpty());
    }
};

VIREON_UI_TEST_SUITE(MainWindowLayoutTest)

}  // namespace vireon::ui::test

#include "MainWindowLayoutTest.moc"
