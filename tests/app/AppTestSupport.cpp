// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppTestSupport.h"

#include <QTimer>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <QApplication>

#include "tests/support/RunningProgram.h"

namespace vireon::ui::test {

void whenRunning(App& app, const std::function<void(MainWindow&)>& script) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &app, script] {
        MainWindow* window = app.mainWindow();
        if (window == nullptr) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        script(*window);
    });
    poll->start(5);
}

void later(std::chrono::milliseconds delay, const std::function<void()>& step) {
    QTimer::singleShot(delay, qApp, step);
}

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vireon-app-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("Could not create a temporary folder.");
    }
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::vector<float> renderedNote(int note, std::size_t length) {
    TemporaryFolder folder;
    writeFile(folder.path() / "note.txt", "0 0x90 " + std::to_string(note) + " 100\n");
    const auto raw =
        testsupport::runCommand({VIREON_RENDER, "--events", (folder.path() / "note.txt").string(),
                                 "--length", std::to_string(length), "-o", "-"},
                                {}, std::chrono::seconds(30));
    std::vector<float> samples(raw ? raw->size() / sizeof(float) : 0);
    if (raw) {
        std::memcpy(samples.data(), raw->data(), samples.size() * sizeof(float));
    }
    return samples;
}

}  // namespace vireon::ui::test
