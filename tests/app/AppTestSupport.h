// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/App.h"
#include "devices/midi/MidiPorts.h"

namespace vireon::ui::test {

using app::App;

/// Calls `script` once the application's event loop is running, from inside that loop, the way
/// a user's actions reach it.
void whenRunning(App& app, const std::function<void(MainWindow&)>& script);

/// Calls `step` from inside whatever event loop runs `delay` from now.
void later(std::chrono::milliseconds delay, const std::function<void()>& step);

/// A machine without MIDI input devices.
class NoMidiPorts final : public midi::MidiPorts {
  public:
    int deviceCount() override { return 0; }
    std::optional<std::string> deviceName(int) override { return std::nullopt; }
    bool open(int) override { return false; }
    bool start() override { return false; }
    void stop() override {}
    void close() override {}
};

/// A fresh empty folder for one test, removed with the object.
class TemporaryFolder {
  public:
    TemporaryFolder();
    ~TemporaryFolder();
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& file);

/// What vireon-render makes of one note-on of `note` at sample 0, `length` samples long; empty
/// when the renderer fails.
std::vector<float> renderedNote(int note, std::size_t length);
void writeFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace vireon::ui::test
