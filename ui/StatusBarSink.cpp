// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/StatusBarSink.h"

#include <QMetaObject>
#include <string>

#include "ui/ControlId.h"
#include "ui/MainWindow.h"

namespace vireon::ui {
namespace {

std::uint64_t pack(std::string_view text) {
    std::uint64_t packed = text.size();
    for (std::size_t i = 0; i < text.size(); ++i) {
        packed |= std::uint64_t{static_cast<unsigned char>(text[i])} << (8 * (i + 1));
    }
    return packed;
}

std::string unpack(std::uint64_t packed) {
    std::string text(packed & 0xFF, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char>((packed >> (8 * (i + 1))) & 0xFF);
    }
    return text;
}

void show(MainWindow& window, const std::string& text) {
    if (window.hasStatusBar()) {
        window.setStatusText(kNoteStatusField, text);
    }
}

}  // namespace

StatusBarSink::StatusBarSink(MainWindow& window)
    : window_(window), mailbox_(std::make_shared<Mailbox>()) {}

void StatusBarSink::reportNoteStatus(std::string_view text) {
    MainWindow* window = &window_;
    // The window is each call's context: Qt runs the call on the window's thread and drops it
    // if the window is gone by then.
    if (text.size() > kShortTextBytes) {
        QMetaObject::invokeMethod(
            window, [window, copy = std::string(text)] { show(*window, copy); },
            Qt::QueuedConnection);
        return;
    }
    mailbox_->latest.store(pack(text));
    if (mailbox_->updatePending.exchange(true)) {
        return;  // the update on its way will show this text
    }
    QMetaObject::invokeMethod(
        window,
        [window, mailbox = mailbox_] {
            // Cleared before reading, so a text left after this read queues an update of its own.
            mailbox->updatePending.store(false);
            show(*window, unpack(mailbox->latest.load()));
        },
        Qt::QueuedConnection);
}

}  // namespace vireon::ui
