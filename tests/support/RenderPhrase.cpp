// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/RenderPhrase.h"

#include "tools/render/OfflineRender.h"
#include "tools/render/RenderOptions.h"

namespace vireon::testsupport {

std::vector<float> renderPhrase(const std::vector<tools::TimedMessage>& messages,
                                std::uint32_t length, std::uint32_t blockFrames,
                                const engine::AdsrSettings& adsr) {
    tools::RenderOptions options;
    options.attack = adsr.attack.load();
    options.decay = adsr.decay.load();
    options.sustain = adsr.sustain.load();
    options.release = adsr.release.load();
    options.blockFrames = blockFrames;
    return tools::renderOffline(options, messages, length);
}

}  // namespace vireon::testsupport
