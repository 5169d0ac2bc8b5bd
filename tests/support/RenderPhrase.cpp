// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/RenderPhrase.h"

#include "offline/OfflineRender.h"

namespace vireon::testsupport {

std::vector<float> renderPhrase(const std::vector<offline::TimedMessage>& messages,
                                std::uint32_t length, std::uint32_t blockFrames,
                                const engine::AdsrSettings& adsr) {
    offline::RenderSettings settings;
    settings.attack = adsr.attack.load();
    settings.decay = adsr.decay.load();
    settings.sustain = adsr.sustain.load();
    settings.release = adsr.release.load();
    settings.blockFrames = blockFrames;
    return offline::renderOffline(settings, messages, length);
}

}  // namespace vireon::testsupport
