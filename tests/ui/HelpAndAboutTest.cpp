// SPDX-License-Identifier: GPL-3.0-or-later
// The help text and window, the help window's own loop, the About box and the fatal-error box.

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>

#include "UiTestSupport.h"
#include "ui/AboutBox.h"
#include "ui/FatalErrorBox.h"
#include "text/ProgramTexts.h"
#include "ui/HelpWindow.h"

namespace vireon::ui::test {

using text::helpText;

namespace {

QWidget* findHelpWindow() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto found = std::find_if(windows.begin(), windows.end(), [](QWidget* window) {
        return window->objectName() == QLatin1String("vireonHelpWindow");
    });
    return found == windows.end() ? nullptr : *found;
}

/// What a test learns of a message box while it is up.
struct SeenBox {
    QString name, title, text, informativeText;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::Warning;
    QMessageBox::StandardButtons buttons;
    bool enabled = false;
    bool modal = false;
};

void recordNextBox(SeenBox& seen, const std::function<void()>& alsoWhileShown = {}) {
    whenModalShown([&seen, alsoWhileShown](QWidget* shown) {
        auto* box = qobject_cast<QMessageBox*>(shown);
        seen = {shown->objectName(),
                shown->windowTitle(),
                box ? box->text() : QString(),
                box ? box->informativeText() : QString(),
                box ? box->textFormat() : Qt::AutoText,
                box ? box->icon() : QMessageBox::Warning,
                box ? box->standardButtons() : QMessageBox::NoButton,
                shown->isEnabled(),
                shown->isModal()};
        if (alsoWhileShown) {
            alsoWhileShown();
        }
    });
}

}  // namespace

class HelpAndAboutTest : public QObject {
    Q_OBJECT

  private slots:
    void helpTextIsTheElevenPiecesJoined() {
        const std::string text = helpText();
        QCOMPARE(text.size(), std::size_t{748});
        QCOMPARE(std::count(text.begin(), text.end(), '\r'), 18);
        QCOMPARE(std::count(text.begin(), text.end(), '\n'), 0);
        QVERIFY(text.find("number of\rsamples needed") != std::string::npos);
    }

    void helpWindowShowsTheTextLineByLine() {
        EventSource events;
        HelpWindow help(events);
        QCOMPARE(help.windowTitle(), QStringLiteral("Vireon Help"));
        QCOMPARE(help.minimumSize(), QSize(620, 373));
        QCOMPARE(help.maximumSize(), QSize(620, 373));
        QVERIFY(help.parentWidget() == nullptr);
        QVERIFY(!help.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!help.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

        QPlainTextEdit* box = help.textBox();
        QCOMPARE(box->geometry(), QRect(5, 5, 610, 360));
        QVERIFY(box->isReadOnly());
        QVERIFY(box->textInteractionFlags().testFlag(Qt::TextSelectableByMouse));
        QCOMPARE(box->lineWrapMode(), QPlainTextEdit::NoWrap);
        const QTextDocument* document = box->document();
        QCOMPARE(document->blockCount(), 19);
        for (const int empty : {1, 3, 7, 9, 11, 14, 16, 19}) {
            QVERIFY(document->findBlockByNumber(empty - 1).text().isEmpty());
        }
        QCOMPARE(document->findBlockByNumber(11).text(),
                 QStringLiteral("Phase = Phase + (1/NumSamples) + Omega + (k/2Pi)*sin(2Pi*k)"));
        QCOMPARE(document->findBlockByNumber(12).text(),
                 QStringLiteral("Phase = Phase + (1/NumSamples) + Mod(s*Phase, 1)"));
        QCOMPARE(box->toPlainText().replace(QLatin1Char('\n'), QLatin1Char('\r')).toStdString(),
                 helpText());

        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QVERIFY(box->horizontalScrollBar()->maximum() > 0);  // long lines scroll sideways
        QVERIFY(!saveScreenshot(help, QStringLiteral("help-window.png")).isEmpty());
    }

    // Until its own close request the help loop takes every event and acts on none; the main
    // window's controls still move and the envelope values still follow them.
    void helpLoopDropsEverythingUntilItsOwnClose() {
        BuiltWindow w;
        bool sawHelpActive = false;
        bool helpCentred = false;
        bool helpStayedAfterItsCloseBox = false;
        bool timedOut = false;
        QTimer::singleShot(0, [&] {
            QWidget* help = findHelpWindow();
            if (help == nullptr) {
                return;
            }
            sawHelpActive = QTest::qWaitForWindowActive(help);
            const QRect screen = help->screen()->geometry();
            const QRect frame = help->frameGeometry();
            helpCentred =
                frame.topLeft() == QPoint(screen.left() + (screen.width() - frame.width()) / 2,
                                          screen.top() + (screen.height() - frame.height()) / 2);
            QTest::keyClick(w.window.control(kHavocSlider), Qt::Key_Up);
            QTest::keyClick(w.window.control(kAttackSlider), Qt::Key_Home);
            w.events.post(menu(kMenuQuit));
            w.events.post(menu(kMenuHelp));
            closeLikeTheUser(w.window);
            closeLikeTheUser(*help);
            helpStayedAfterItsCloseBox = help->isVisible();
            // Left behind the close request: a repeated close of the help window is dropped
            // with it, anything else is for the main loop.
            w.events.post(closeRequest(kHelpWindow));
            w.events.post(control(kBedlamSlider));
        });
        QTimer::singleShot(10000, [&] {
            timedOut = true;
            w.events.post(closeRequest(kHelpWindow));
        });

        showHelp(w.events);

        QVERIFY(!timedOut);
        QVERIFY(sawHelpActive);
        QVERIFY(helpCentred);
        QVERIFY(helpStayedAfterItsCloseBox);
        QCOMPARE(findHelpWindow(), nullptr);
        QVERIFY(w.window.isVisible());
        QCOMPARE(w.window.sliderValue(kHavocSlider), 46);
        QCOMPARE(w.adsr.attack.load(), 2000);
        QCOMPARE(takeAll(w.events), std::vector<UiEvent>{control(kBedlamSlider)});
    }

    void aboutBoxDisablesTheOtherWindowsWhileShown() {
        BuiltWindow w;
        QWidget alreadyDisabled;
        alreadyDisabled.setEnabled(false);
        alreadyDisabled.show();
        QVERIFY(activate(w.window));
        SeenBox seen;
        bool mainEnabledWhileShown = true;
        recordNextBox(seen, [&] { mainEnabledWhileShown = w.window.isEnabled(); });
        showAbout(&w.window);

        QCOMPARE(seen.name, QString::fromLatin1(kAboutBoxName));
        QCOMPARE(seen.title, QStringLiteral("About"));
        QVERIFY(kAboutText.starts_with("Vireon v1.01 "));
        QVERIFY(kAboutText.ends_with("\rSound Synthesizer using chaos functions"));
        QCOMPARE(std::count(kAboutText.begin(), kAboutText.end(), '\r'), 1);
        QCOMPARE(seen.text, QString::fromLatin1(kAboutText.data(), kAboutText.size())
                                .replace(QLatin1Char('\r'), QLatin1Char('\n')));
        QCOMPARE(seen.format, Qt::PlainText);
        QCOMPARE(seen.icon, QMessageBox::NoIcon);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(seen.enabled);
        QVERIFY(!mainEnabledWhileShown);
        QVERIFY(w.window.isEnabled());
        QVERIFY(!alreadyDisabled.isEnabled());
    }

    void fatalErrorBoxShowsTheLibrarysTextAsIs() {
        SeenBox seen;
        recordNextBox(seen);
        showFatalAudioError("Invalid device <b>&amp;</b>");
        QCOMPARE(seen.name, QString::fromLatin1(kFatalErrorBoxName));
        QVERIFY(seen.modal);
        QCOMPARE(seen.title, QStringLiteral("PortAudio"));
        QCOMPARE(seen.text, QStringLiteral("Invalid device <b>&amp;</b>"));
        QVERIFY(seen.informativeText.contains(QStringLiteral("sound server")));
        QCOMPARE(seen.format, Qt::PlainText);
        QCOMPARE(seen.icon, QMessageBox::NoIcon);
        QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
};

VIREON_UI_TEST_SUITE(HelpAndAboutTest)

}  // namespace vireon::ui::test

#include "HelpAndAboutTest.moc"
