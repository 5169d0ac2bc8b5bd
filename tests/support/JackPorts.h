// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>

namespace vireon::testsupport {

/// Whether the JACK port `name` ("client:port") exists on the server `serverName`.
bool jackPortExists(const std::string& serverName, const std::string& name);

/// Connects `source` to `destination` on the server `serverName` as a patchbay does, once both
/// exist; false when they do not appear within `timeout` or JACK refuses.
bool connectJackPorts(const std::string& serverName, const std::string& source,
                      const std::string& destination, std::chrono::milliseconds timeout);

}  // namespace vireon::testsupport
