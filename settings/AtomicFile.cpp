// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/AtomicFile.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace vireon::settings {
namespace {

using platform::File;
using platform::Outcome;

constexpr int kMaxTemporaryNameAttempts = 100;

/// A name for a new file beside `target`. Uniqueness comes from creating it exclusively; the
/// name only has to make clashes unlikely.
std::filesystem::path temporaryNameBeside(const std::filesystem::path& target) {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t mix =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (platform::processId() << 32) ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15u);
    constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix = ".";
    for (int i = 0; i < 6; ++i) {
        suffix += kAlphabet[mix % kAlphabet.size()];
        mix /= kAlphabet.size();
    }
    std::filesystem::path directory = target.parent_path();
    if (directory.empty()) {
        directory = ".";
    }
    // Put together as a path, so a name outside the narrow character set survives on Windows.
    std::filesystem::path name = ".";
    name += target.filename();
    name += suffix;
    return directory / name;
}

}  // namespace

Outcome replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                              bool targetExists) {
    std::filesystem::path temporary;
    File file;
    Outcome created = Outcome::kFailed;
    for (int attempt = 0; attempt < kMaxTemporaryNameAttempts && !file.isOpen(); ++attempt) {
        temporary = temporaryNameBeside(target);
        file = File::createNew(temporary, created);
        if (created != Outcome::kDone && created != Outcome::kExists) {
            break;
        }
    }
    if (!file.isOpen()) {
        return created == Outcome::kDenied ? Outcome::kDenied : Outcome::kFailed;
    }

    bool written = file.writeAll(bytes);
    if (written && targetExists) {
        written = file.takeOverOwnershipOf(target);
    }
    // The new content must be on the disk before the name points at it: otherwise a power cut
    // soon after the replacement can leave an empty file where the old one was.
    written = written && file.syncToDisk();
    written = file.close() && written;
    const Outcome replaced = written ? platform::replace(temporary, target) : Outcome::kFailed;
    if (replaced != Outcome::kDone) {
        platform::remove(temporary);
    }
    return replaced;
}

}  // namespace vireon::settings
