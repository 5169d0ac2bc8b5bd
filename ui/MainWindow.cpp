// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MainWindow.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "controls/Controls.h"
#include "settings/NumberParser.h"
#include "sounds/FactorySounds.h"
#include "ui/ControllerMenu.h"
#include "ui/DisorderSpinBox.h"
#include "ui/EventSource.h"
#include "ui/Look.h"
#include "ui/StatusBar.h"
#include "ui/StatusTrace.h"

namespace vireon::ui {

namespace {

constexpr int kSliderTop = 40;
constexpr int kSliderWidth = 20;
constexpr int kSliderHeight = 120;

using Control = controls::ControlId;

struct SliderPlace {
    ControlId id;
    Control control;
    int x;
};
/// The sliders in the order they are made, which is also their tab order after the device list.
constexpr std::array<SliderPlace, 6> kSliders = {{
    {kAttackSlider, Control::Attack, 220},
    {kDecaySlider, Control::Decay, 240},
    {kSustainSlider, Control::Sustain, 260},
    {kReleaseSlider, Control::Release, 280},
    {kHavocSlider, Control::Havoc, 100},
    {kBedlamSlider, Control::Bedlam, 150},
}};

constexpr QRect kDeviceListGeometry{320, 60, 140, 20};
/// How far below the list's top its opened popup may reach.
constexpr int kDeviceListReach = 350;
constexpr QRect kDisorderGeometry{10, 60, 50, 25};
constexpr qreal kSmallestPointSize = 6.0;

/// A text of the window that the user cannot edit: a control's name, or the start-up position of
/// a chaos slider, which the program replaces as the slider moves.
struct StaticText {
    ControlId id;
    QRect geometry;
    Control control;
    bool showsPosition = false;
};
/// The two value texts, created with the sliders, then the names, created after the Disorder box.
constexpr std::array<StaticText, 9> kStaticTexts = {{
    {kBedlamValueText, {150, 160, 100, 20}, Control::Bedlam, true},
    {kHavocValueText, {100, 160, 50, 20}, Control::Havoc, true},
    {kDisorderLabel, {20, 27, 60, 20}, Control::Disorder},
    {kHavocLabel, {90, 27, 40, 20}, Control::Havoc},
    {kBedlamLabel, {140, 27, 40, 20}, Control::Bedlam},
    {kAttackLabel, {225, 27, 10, 20}, Control::Attack},
    {kDecayLabel, {245, 27, 10, 20}, Control::Decay},
    {kSustainLabel, {265, 27, 10, 20}, Control::Sustain},
    {kReleaseLabel, {285, 27, 10, 20}, Control::Release},
}};
constexpr std::size_t kValueTextCount = 2;

/// The default GUI font, made just small enough for every static text to fit its fixed box: the
/// boxes were laid out for a small Windows GUI font, and a wider default font would cut off the
/// end of a name ("Bedlam").
QString fromBytes(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString textOf(const StaticText& text) {
    const controls::Control& c = controls::control(text.control);
    return text.showsPosition ? QString::number(c.initial) : fromBytes(c.label);
}

QFont fontFittingStaticTexts(QFont font) {
    const auto allFit = [&font] {
        const QFontMetrics metrics(font);
        return std::all_of(kStaticTexts.begin(), kStaticTexts.end(), [&](const StaticText& t) {
            return metrics.horizontalAdvance(textOf(t)) <= t.geometry.width();
        });
    };
    while (font.pointSizeF() > kSmallestPointSize && !allFit()) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    return font;
}

/// A vertical slider whose Home and End keys send the thumb to the top and the bottom end, like
/// the arrow and page keys move it up and down. Qt ties Home to the minimum, which with the
/// maximum on top would send the thumb down.
class VerticalSlider : public QSlider {
  public:
    explicit VerticalSlider(QWidget* parent) : QSlider(Qt::Vertical, parent) {}

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Home || event->key() == Qt::Key_End) {
            triggerAction(event->key() == Qt::Key_Home ? SliderToMaximum : SliderToMinimum);
            event->accept();
            return;
        }
        QSlider::keyPressEvent(event);
    }
};

QLabel* createLabel(QWidget* parent, const StaticText& text) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(text.geometry);
    label->setText(textOf(text));
    label->setProperty(kReadingProperty, text.showsPosition);
    label->show();
    return label;
}

std::string toBytes(const QString& text) {
    return text.toLatin1().toStdString();
}

}  // namespace

void setUpFixedWindow(QWidget& window, const QString& title, QSize clientSize) {
    window.setWindowTitle(title);
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window.setFixedSize(clientSize);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    window.setPalette(palette);
    window.setAutoFillBackground(true);
}

void centreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->geometry();
    const QSize outer = window.frameGeometry().size().boundedTo(area.size());
    window.move(area.x() + (area.width() - outer.width()) / 2,
                area.y() + (area.height() - outer.height()) / 2);
}

MainWindow::MainWindow(EventSource& events, EnvelopeMove moveEnvelope)
    : QWidget(nullptr), events_(events), moveEnvelope_(std::move(moveEnvelope)) {}

MainWindow::~MainWindow() = default;

bool MainWindow::build(const std::string& disorderText) {
    if (built_ || QGuiApplication::primaryScreen() == nullptr) {
        return false;
    }
    built_ = true;

    setUpFixedWindow(*this, QStringLiteral("Vireon"), QSize(kClientWidth, kClientHeight));
    setFont(fontFittingStaticTexts(font()));
    centreOnScreen(*this);
    show();
    // The window manager's frame is known only once the window is shown.
    centreOnScreen(*this);

    createMenu();
    // The menu bar takes its height from the window; everything else lives below it. A layout
    // keeps the client area under the menu bar even when the bar settles on its height late.
    client_ = new QWidget(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar_);
    layout->addWidget(client_);
    layout->activate();
    client_->show();

    deviceList_ = new QComboBox(client_);
    deviceList_->setEditable(false);
    deviceList_->setGeometry(kDeviceListGeometry);
    // The window's font: the list takes it over only once it is polished.
    deviceList_->setMaxVisibleItems(
        std::max(1, (kDeviceListReach - kDeviceListGeometry.height()) / fontMetrics().height()));
    controls_[kMidiDeviceList] = deviceList_;
    // activated() comes from the user only, also when the current entry is chosen again and
    // when the arrow keys or the wheel change the entry of the closed list.
    connect(deviceList_, &QComboBox::activated, this,
            [this] { post(UiEvent::Kind::Control, kMidiDeviceList); });
    deviceList_->view()->installEventFilter(this);
    deviceList_->show();

    for (const SliderPlace& place : kSliders) {
        createSlider(place.id, place.x, place.control);
        offerControllerMenu(controls_[place.id], place.control);
    }

    for (const StaticText& text : std::span(kStaticTexts).first(kValueTextCount)) {
        controls_[text.id] = createLabel(client_, text);
    }

    const controls::Control& disorder = controls::control(Control::Disorder);
    disorder_ = new DisorderSpinBox(events_, kDisorderSpin, disorder.min, disorder.max,
                                    kDisorderGeometry, client_);
    controls_[kDisorderSpin] = disorder_;
    // The position is the number in the text itself. Starting one below it would make the saved
    // value creep down by one on every run in which the user merely clicks into the box.
    const std::int64_t number = settings::parseNumber(disorderText);
    disorder_->setPosition(
        static_cast<int>(std::clamp<std::int64_t>(number, disorder.min, disorder.max)));
    disorder_->setText(disorderText);
    disorder_->show();
    offerControllerMenu(disorder_, Control::Disorder);
    offerControllerMenu(disorder_->textField(), Control::Disorder);

    for (const StaticText& text : std::span(kStaticTexts).subspan(kValueTextCount)) {
        controls_[text.id] = createLabel(client_, text);
    }

    // Along the bottom of the window, which is also the bottom of the client area whatever the
    // menu bar's height.
    statusBar_ = new StatusBar(this);
    statusBar_->show();

    auto* quit = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    quit->setContext(Qt::WindowShortcut);
    connect(quit, &QShortcut::activated, this, [this] { post(UiEvent::Kind::Menu, kMenuQuit); });

    QWidget* previous = deviceList_;
    for (const SliderPlace& place : kSliders) {
        setTabOrder(previous, controls_[place.id]);
        previous = controls_[place.id];
    }
    setTabOrder(previous, disorder_->textField());
    return true;
}

void MainWindow::createMenu() {
    menuBar_ = new QMenuBar(this);
    menuBar_->setNativeMenuBar(false);
    QMenu* menu = menuBar_->addMenu(QStringLiteral("?"));
    connect(menu->addAction(QStringLiteral("About")), &QAction::triggered, this,
            [this] { post(UiEvent::Kind::Menu, kMenuAbout); });
    connect(menu->addAction(QStringLiteral("Help")), &QAction::triggered, this,
            [this] { post(UiEvent::Kind::Menu, kMenuHelp); });
    // A menu of its own after "?", which keeps its place and items.
    QMenu* keyboard = menuBar_->addMenu(QStringLiteral("Keyboard"));
    QAction* showKeyboard = keyboard->addAction(QStringLiteral("Show keyboard"));
    showKeyboard->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    connect(showKeyboard, &QAction::triggered, this,
            [this] { post(UiEvent::Kind::Menu, kMenuKeyboard); });
    QAction* showPlaying = keyboard->addAction(QString::fromUtf8("Playing…"));
    showPlaying->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(showPlaying, &QAction::triggered, this,
            [this] { post(UiEvent::Kind::Menu, kMenuPlaying); });
    QMenu* sounds = menuBar_->addMenu(QStringLiteral("Sounds"));
    // Tooltips show in menus, where the description says what to expect.
    sounds->setToolTipsVisible(true);
    int number = kMenuFirstSound;
    for (const sounds::Sound& sound : sounds::factorySounds()) {
        QAction* entry = sounds->addAction(QString::fromStdString(sound.name));
        entry->setToolTip(QString::fromStdString(sound.description));
        connect(entry, &QAction::triggered, this,
                [this, number] { post(UiEvent::Kind::Menu, number); });
        ++number;
    }
    sounds->addSeparator();
    connect(sounds->addAction(QString::fromUtf8("Open sound…")), &QAction::triggered, this,
            [this] { post(UiEvent::Kind::Menu, kMenuOpenSound); });
    connect(sounds->addAction(QString::fromUtf8("Save sound…")), &QAction::triggered, this,
            [this] { post(UiEvent::Kind::Menu, kMenuSaveSound); });
    menuBar_->show();
}

void MainWindow::createSlider(ControlId id, int x, controls::ControlId control) {
    const controls::Control& c = controls::control(control);
    auto* slider = new VerticalSlider(client_);
    slider->setGeometry(x, kSliderTop, kSliderWidth, kSliderHeight);
    slider->setFocusPolicy(Qt::StrongFocus);
    if (c.actsInProgram == controls::Acts::AtNextNote) {
        // Straight from the slider's own notification, so the sound follows every move
        // whichever event loop is running, the help window's included.
        connect(slider, &QSlider::valueChanged, this,
                [this, control](int value) { moveEnvelope_(control, value); });
    }
    slider->setRange(c.min, c.max);
    slider->setSingleStep(c.step);
    slider->setPageStep(std::max(c.step, (c.max - c.min) / 5));
    slider->setValue(c.initial);

    // actionTriggered comes only from the user (keys, wheel, track clicks, dragging); the loop
    // reads the value after this handler has returned, by which time the slider holds it.
    connect(slider, &QSlider::actionTriggered, this, [this, id, slider] {
        post(UiEvent::Kind::Control, id);
        if (!slider->isSliderDown()) {
            // A step by key, wheel or track click is complete at once: end of action.
            post(UiEvent::Kind::Control, id);
        }
    });
    connect(slider, &QSlider::sliderReleased, this,
            [this, id] { post(UiEvent::Kind::Control, id); });

    controls_[id] = slider;
    slider->show();
}

void MainWindow::offerControllerMenu(QWidget* widget, controls::ControlId control) {
    ui::offerControllerMenu(widget, control, events_, [this, control] {
        return controllers_[static_cast<std::size_t>(control)];
    });
}

std::optional<ControlId> MainWindow::sliderFor(controls::ControlId control) {
    const auto place = std::find_if(kSliders.begin(), kSliders.end(),
                                    [&](const SliderPlace& p) { return p.control == control; });
    return place != kSliders.end() ? std::optional<ControlId>(place->id) : std::nullopt;
}

QWidget* MainWindow::widgetFor(controls::ControlId control) const {
    if (control == Control::Disorder) {
        return disorder_;
    }
    const std::optional<ControlId> slider = sliderFor(control);
    return slider ? controls_[*slider] : nullptr;
}

void MainWindow::showControllerMove(controls::ControlId control, int position) {
    if (control == Control::Disorder) {
        setSpinValue(kDisorderSpin, position);
        setControlText(kDisorderSpin, std::to_string(spinValue(kDisorderSpin)));
        return;
    }
    auto* slider = qobject_cast<QSlider*>(widgetFor(control));
    if (slider == nullptr) {
        return;
    }
    {
        // The sound is there already: a second move from the slider's own notification could
        // land after the controller's next one and undo it.
        const QSignalBlocker quiet(slider);
        slider->setValue(position);
    }
    if (control == Control::Havoc || control == Control::Bedlam) {
        setControlText(control == Control::Havoc ? kHavocValueText : kBedlamValueText,
                       std::to_string(slider->value()));
    }
}

void MainWindow::showController(controls::ControlId control, std::optional<int> controller) {
    controllers_[static_cast<std::size_t>(control)] = controller;
    const QString tip =
        controller ? QStringLiteral("MIDI controller %1").arg(*controller) : QString();
    if (QWidget* widget = widgetFor(control)) {
        widget->setToolTip(tip);
    }
    if (control == Control::Disorder && disorder_) {
        disorder_->textField()->setToolTip(tip);
    }
}

void MainWindow::post(UiEvent::Kind kind, int number) {
    events_.post({kind, number});
}

QWidget* MainWindow::control(ControlId id) const {
    if (id < 0 || id >= static_cast<int>(controls_.size())) {
        return nullptr;
    }
    return controls_[id];
}

int MainWindow::sliderValue(ControlId id) const {
    const auto* slider = qobject_cast<const QSlider*>(control(id));
    return slider ? slider->value() : 0;
}

void MainWindow::setSliderValue(ControlId id, int value) {
    if (auto* slider = qobject_cast<QSlider*>(control(id))) {
        slider->setValue(value);
    }
}

int MainWindow::spinValue(ControlId id) const {
    return (id == kDisorderSpin && disorder_) ? disorder_->position() : 0;
}

void MainWindow::setSpinValue(ControlId id, int value) {
    if (id == kDisorderSpin && disorder_) {
        disorder_->setPosition(value);
    }
}

std::string MainWindow::controlText(ControlId id) const {
    QWidget* widget = control(id);
    if (id == kDisorderSpin && disorder_) {
        return disorder_->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return toBytes(label->text());
    }
    if (const auto* list = qobject_cast<const QComboBox*>(widget)) {
        return toBytes(list->currentText());
    }
    return {};
}

void MainWindow::setControlText(ControlId id, std::string_view text) {
    if (id == kDisorderSpin && disorder_) {
        disorder_->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control(id))) {
        label->setText(fromBytes(text));
    }
}

int MainWindow::selectedIndex(ControlId id) const {
    return (id == kMidiDeviceList && deviceList_) ? deviceList_->currentIndex() : -1;
}

void MainWindow::selectIndex(ControlId id, int index) {
    if (id == kMidiDeviceList && deviceList_) {
        deviceList_->setCurrentIndex(index);
    }
}

void MainWindow::addListItem(ControlId id, std::string_view text) {
    if (id != kMidiDeviceList || !deviceList_) {
        return;
    }
    const int selected = deviceList_->currentIndex();
    deviceList_->addItem(fromBytes(text));
    // Qt selects the first entry put into an empty list; the selection is the caller's choice.
    deviceList_->setCurrentIndex(selected);
}

void MainWindow::setStatusText(int field, std::string_view text) {
    if (hasStatusBar()) {
        statusBar_->setText(field, text);
        traceStatusText(field, text);
    }
}

void MainWindow::setStatusMessage(std::string_view text) {
    if (hasStatusBar()) {
        statusBar_->setMessage(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Escape in the opened device list only closes the list. Qt offers the key to the window's
    // shortcuts first, and the list's own handling lets it through to the Escape shortcut once
    // the list is closed; claiming the key here leaves it to the list alone.
    if (event->type() == QEvent::ShortcutOverride && deviceList_ &&
        watched == deviceList_->view() && deviceList_->view()->isVisible() &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel)) {
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!event->spontaneous()) {
        event->accept();
        return;
    }
    event->ignore();
    post(UiEvent::Kind::CloseRequest, kMainWindow);
}

}  // namespace vireon::ui
