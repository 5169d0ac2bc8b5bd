// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/servers/QuietSoundLibraries.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

namespace vireon::servers {
namespace {

void ignoreAlsaMessage(const char* /*file*/, int /*line*/, const char* /*function*/, int /*err*/,
                       const char* /*format*/, ...) {}

void ignoreJackMessage(const char* /*message*/) {}

}  // namespace

void silenceSoundLibraryMessages() {
    snd_lib_error_set_handler(ignoreAlsaMessage);
    jack_set_error_function(ignoreJackMessage);
    jack_set_info_function(ignoreJackMessage);
}

}  // namespace vireon::servers
