// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Look.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <array>
#include <utility>

namespace vireon::ui {
namespace {

constexpr QRgb kDivider = qRgb(0x2d, 0x31, 0x37);
constexpr QRgb kDisabled = qRgb(0x5d, 0x5a, 0x54);

/// The colours the style sheet names as @name, from the shared table plus a few shades that
/// only the controls need: raised button faces, their edge and the dividing lines.
const std::array<std::pair<const char*, QRgb>, 16> kNamedColours = {{
    {"@panel-edge", look::kPanelEdge},
    {"@panel", look::kPanel},
    {"@face", look::kFace},
    {"@well", look::kWell},
    {"@text", look::kText},
    {"@dim", look::kDim},
    {"@accent", look::kAccent},
    {"@glow", look::kGlow},
    {"@ink", look::kInk},
    {"@raised-top", qRgb(0x4a, 0x4f, 0x57)},
    {"@raised-bottom", qRgb(0x33, 0x37, 0x3d)},
    {"@raised-edge", qRgb(0x55, 0x5b, 0x64)},
    {"@divider", kDivider},
    {"@lamp-edge", qRgb(0x33, 0x33, 0x33)},
    {"@lamp", qRgb(0x11, 0x11, 0x11)},
    {"@disabled", kDisabled},
}};

// Paddings stay those of the Fusion style where a control's size follows from them (menu bar,
// status bar): the windows' layouts were measured with them. Borders replace the frames they
// stand for, one pixel for one pixel.
constexpr char kStyleSheet[] = R"(
QMenuBar { background: @panel; color: @text; border-bottom: 1px solid @divider; }
QMenuBar::item { background: transparent; color: @text; }
QMenuBar::item:selected, QMenuBar::item:pressed { background: @accent; color: @ink; }
QMenuBar:disabled, QMenuBar::item:disabled { color: @disabled; }

QMenu { background: @face; color: @text; border: 1px solid @panel-edge; padding: 3px 0; }
QMenu::item { padding: 4px 22px 4px 14px; background: transparent; }
QMenu::item:selected { background: @accent; color: @ink; }
QMenu::item:disabled { color: @disabled; }
QMenu::separator { height: 1px; background: @panel-edge; margin: 3px 8px; }

QToolTip { background: @face; color: @text; border: 1px solid @accent; padding: 2px 4px; }

QLabel { color: @dim; }
QLabel[reading="true"] { color: @glow; }
QLabel:disabled, QLabel[reading="true"]:disabled { color: @disabled; }
QMessageBox QLabel { color: @text; }
QLabel[lamp="true"] {
  background: @lamp; color: @glow; border: 1px solid @lamp-edge; border-radius: 7px;
  margin: 1px 2px;
}
QLabel[lamp="true"]:disabled { color: @disabled; }

QSlider { background: transparent; }
QSlider::groove:vertical { background: @well; border: 1px solid @panel-edge; width: 4px; border-radius: 3px; }
QSlider::sub-page:vertical { background: @well; border: 1px solid @panel-edge; width: 4px; border-radius: 3px; }
QSlider::add-page:vertical { background: @accent; border: 1px solid @accent; width: 4px; border-radius: 3px; }
QSlider::handle:vertical {
  background: qradialgradient(cx:0.4, cy:0.35, radius:0.7, fx:0.4, fy:0.35, stop:0 @glow, stop:1 @accent);
  border: 1px solid @ink; height: 12px; margin: 0 -5px; border-radius: 7px;
}
QSlider::handle:vertical:focus { border: 1px solid @text; }
QSlider::add-page:vertical:disabled, QSlider::handle:vertical:disabled {
  background: @raised-edge; border-color: @raised-edge;
}

QComboBox {
  background: @well; color: @text; border: 1px solid @panel-edge; border-radius: 5px;
  padding: 0 4px 0 6px;
}
QComboBox:focus, QComboBox:hover, QComboBox:on { border-color: @accent; }
QComboBox:disabled { color: @disabled; }
QComboBox QAbstractItemView {
  background: @face; color: @text; border: 1px solid @panel-edge; outline: 0;
  selection-background-color: @accent; selection-color: @ink;
}

QLineEdit {
  background: @well; color: @glow; border: 1px solid @panel-edge; border-radius: 4px;
  padding: 0 3px; selection-background-color: @accent; selection-color: @ink;
}
QLineEdit:focus { border-color: @accent; }
QLineEdit:disabled { color: @disabled; }

QToolButton {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @raised-top, stop:1 @raised-bottom);
  color: @text; border: 1px solid @raised-edge; border-radius: 3px;
}
QToolButton:hover { border-color: @accent; }
QToolButton:pressed { background: @accent; }

QPushButton {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 @raised-top, stop:1 @raised-bottom);
  color: @text; border: 1px solid @raised-edge; border-radius: 7px; padding: 4px 16px;
  min-width: 48px;
}
QPushButton:hover, QPushButton:focus { border-color: @accent; }
QPushButton:default {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ff9d45, stop:1 #e0701a);
  color: @ink; border: 1px solid @accent;
}
QPushButton:default:focus { border-color: @glow; }
QPushButton:pressed { background: @accent; color: @ink; }

QDialogButtonBox { dialogbuttonbox-buttons-have-icons: 0; }

QPlainTextEdit, QTextEdit {
  background: @face; color: @text; border: 1px solid @panel-edge; border-radius: 6px;
  selection-background-color: @accent; selection-color: @ink;
}
QPlainTextEdit:focus, QTextEdit:focus { border-color: @raised-edge; }

QScrollBar { background: @face; border: 0; }
QScrollBar:vertical { width: 12px; }
QScrollBar:horizontal { height: 12px; }
QScrollBar::handle { background: @raised-top; border-radius: 3px; margin: 3px; }
QScrollBar::handle:vertical { min-height: 24px; }
QScrollBar::handle:horizontal { min-width: 24px; }
QScrollBar::handle:hover, QScrollBar::handle:pressed { background: @accent; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: 0; background: none; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QAbstractScrollArea::corner { background: @face; border: 0; }
)";

/// Gives each control its window's font as it is first polished. An application style sheet
/// otherwise leaves every control in the application's font, and the main window's texts fit
/// their fixed boxes only in the smaller font the window chose for them. Separate windows such as
/// menus keep the application's font, as they do without a style sheet.
class FontInheritance : public QObject {
  public:
    explicit FontInheritance(QObject* parent) : QObject(parent) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            const QWidget* parent = widget->parentWidget();
            if (!widget->isWindow() && parent != nullptr &&
                !widget->testAttribute(Qt::WA_SetFont) && widget->font() != parent->font()) {
                widget->setFont(parent->font());
                // Still the inherited font, not one the control chose.
                widget->setAttribute(Qt::WA_SetFont, false);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

QPalette lookPalette() {
    QPalette palette;
    const auto set = [&palette](QPalette::ColorRole role, QRgb colour) {
        palette.setColor(role, QColor(colour));
    };
    // Windows fill themselves with the button face; both are the panel.
    set(QPalette::Window, look::kPanel);
    set(QPalette::Button, look::kPanel);
    set(QPalette::WindowText, look::kText);
    set(QPalette::ButtonText, look::kText);
    set(QPalette::Text, look::kText);
    set(QPalette::BrightText, look::kGlow);
    set(QPalette::Base, look::kWell);
    set(QPalette::AlternateBase, look::kFace);
    set(QPalette::ToolTipBase, look::kFace);
    set(QPalette::ToolTipText, look::kText);
    set(QPalette::PlaceholderText, look::kDim);
    set(QPalette::Highlight, look::kAccent);
    set(QPalette::HighlightedText, look::kInk);
    set(QPalette::Link, look::kGlow);
    set(QPalette::LinkVisited, look::kAccent);
    set(QPalette::Light, look::kPanelEdge);
    set(QPalette::Midlight, kDivider);
    set(QPalette::Mid, look::kFace);
    set(QPalette::Dark, look::kWell);
    set(QPalette::Shadow, qRgb(0, 0, 0));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        palette.setColor(QPalette::Disabled, role, QColor(kDisabled));
    }
    return palette;
}

}  // namespace

QString lookStyleSheet() {
    QString sheet = QString::fromLatin1(kStyleSheet);
    // Longer names first in the table, so "@panel" does not eat the start of "@panel-edge".
    for (const auto& [name, colour] : kNamedColours) {
        sheet.replace(QLatin1String(name), QColor(colour).name());
    }
    return sheet;
}

void applyLook(QApplication& application) {
    // Fusion draws every control from the palette alone, the same on any desktop; a desktop's
    // own style would mix its light frames into the dark panel.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(fusion);
    }
    application.installEventFilter(new FontInheritance(&application));
    QApplication::setPalette(lookPalette());
    application.setStyleSheet(lookStyleSheet());
}

}  // namespace vireon::ui
