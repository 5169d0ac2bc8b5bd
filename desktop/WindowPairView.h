// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string_view>

#include "controls/Controls.h"
#include "desktop/WindowView.h"

namespace vireon::desktop {

/// The part of a face's WindowView that is the same on every face: the playing controls live in
/// the Playing window, every other control and the status bar in the main window. A face derives
/// from it and adds the main window's controls, whose calls differ between toolkits. `Main` and
/// `Playing` are the face's own window classes.
template <typename Main, typename Playing>
class WindowPairView : public WindowView {
  public:
    WindowPairView(Main& window, Playing& playing) : window_(window), playing_(playing) {}

    int playingPosition(controls::ControlId control) const override {
        return playing_.position(control);
    }
    void setPlayingPosition(controls::ControlId control, int position) override {
        playing_.setPosition(control, position);
    }
    void showControllerMove(controls::ControlId control, int position) override {
        if (controls::isPlayingControl(control)) {
            playing_.showControllerMove(control, position);
        } else {
            window_.showControllerMove(control, position);
        }
    }
    void showController(controls::ControlId control, std::optional<int> controller) override {
        if (controls::isPlayingControl(control)) {
            playing_.showController(control, controller);
        } else {
            window_.showController(control, controller);
        }
    }
    bool hasStatusBar() const override { return window_.hasStatusBar(); }
    void setStatusText(int field, std::string_view text) override {
        window_.setStatusText(field, text);
    }
    void setStatusMessage(std::string_view text) override { window_.setStatusMessage(text); }

  protected:
    Main& window_;
    Playing& playing_;
};

}  // namespace vireon::desktop
