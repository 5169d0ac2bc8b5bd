// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <array>
#include <string_view>

class QLabel;

namespace vireon::ui {

/// The strip along the bottom of the main window: three sunken fields 100, 100 and 30 pixels
/// wide with centred texts, then a plain message area to the right edge, and no size grip (the
/// window is not resizable).
class StatusBar : public QWidget {
    Q_OBJECT

  public:
    static constexpr std::array<int, 3> kFieldWidths = {100, 100, 30};
    static constexpr int kMinimumHeight = 18;

    /// Places itself along the bottom of `parent`, which must already have its final size.
    explicit StatusBar(QWidget* parent);

    /// Replaces the text of field 0, 1 or 2; other field numbers are ignored.
    void setText(int field, std::string_view text);
    QString text(int field) const;

    QLabel* field(int index) const;

    /// Replaces the text of the message area, which is cut short with "..." where it is too long.
    void setMessage(const QString& text);
    QString message() const { return messageText_; }

  private:
    std::array<QLabel*, kFieldWidths.size()> fields_{};
    QLabel* message_ = nullptr;
    QString messageText_;
};

}  // namespace vireon::ui
