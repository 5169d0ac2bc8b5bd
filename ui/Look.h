// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>

class QApplication;

namespace vireon::ui {

/// The instrument's colours, shared with the web page: a dark panel, recessed faces and wells for
/// values, warm text and an orange accent that glows where a value is shown.
namespace look {
inline constexpr QRgb kPanel = qRgb(0x23, 0x26, 0x2b);
inline constexpr QRgb kPanelEdge = qRgb(0x3a, 0x3f, 0x47);
inline constexpr QRgb kFace = qRgb(0x15, 0x17, 0x1a);
inline constexpr QRgb kWell = qRgb(0x0b, 0x0c, 0x0d);
inline constexpr QRgb kText = qRgb(0xe8, 0xe4, 0xda);
inline constexpr QRgb kDim = qRgb(0x9a, 0x96, 0x8c);
inline constexpr QRgb kAccent = qRgb(0xff, 0x8a, 0x2a);
inline constexpr QRgb kGlow = qRgb(0xff, 0xb1, 0x5e);
/// Text on the accent, dark enough to read on orange.
inline constexpr QRgb kInk = qRgb(0x1b, 0x10, 0x07);
inline constexpr QRgb kWhiteKey = qRgb(0xf4, 0xf1, 0xea);
inline constexpr QRgb kBlackKey = qRgb(0x1a, 0x1a, 0x1a);
inline constexpr QRgb kKeyEdge = qRgb(0x0b, 0x0c, 0x0d);
inline constexpr QRgb kScopeTop = qRgb(0x07, 0x14, 0x0c);
inline constexpr QRgb kScopeBottom = qRgb(0x03, 0x0a, 0x06);
inline constexpr QRgb kScopeEdge = qRgb(0x1c, 0x2b, 0x22);
inline constexpr QRgb kScopeTrace = qRgb(0x5c, 0xff, 0x9d);
}  // namespace look

/// Dynamic property of a QLabel that shows a control's value rather than its name: the look draws
/// it in the glow colour.
inline constexpr char kReadingProperty[] = "reading";
/// Dynamic property of a QLabel that is a status lamp: the look draws it as a small dark pill.
inline constexpr char kLampProperty[] = "lamp";

/// Gives the whole application the instrument's look: the Fusion style, a dark palette and one
/// style sheet for every kind of control. Applied to the application rather than to windows, so
/// that every window and dialog, whenever it is made, wears it. Sizes, fonts and places of the
/// controls stay as each window sets them. UI thread, once, before or after windows exist.
void applyLook(QApplication& application);

/// The style sheet that `applyLook` installs.
QString lookStyleSheet();

}  // namespace vireon::ui
