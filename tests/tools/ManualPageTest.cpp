// SPDX-License-Identifier: GPL-3.0-or-later
// The manual page is written by hand; the help text comes from the option table. They must
// not drift apart when an option is added.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "tools/render/RenderOptions.h"

namespace vireon::tools {
namespace {

/// The option names a manual page describes: the first word of each tagged paragraph.
std::set<std::string> optionsInManualPage(const std::filesystem::path& page) {
    std::ifstream in(page);
    std::set<std::string> names;
    bool tagFollows = false;
    for (std::string line; std::getline(in, line);) {
        if (tagFollows && (line.starts_with(".B ") || line.starts_with(".BI "))) {
            std::string name = line.substr(line.find(' ') + 1);
            name = name.substr(0, name.find(' '));
            // Roff writes a minus sign as \-; the backslash goes.
            for (std::size_t at; (at = name.find("\\-")) != std::string::npos;) {
                name.erase(at, 1);
            }
            names.insert(name);
        }
        tagFollows = line == ".TP";
    }
    return names;
}

TEST(ToolOptions, ManualPageDescribesExactlyTheOptionsOfTheHelp) {
    std::set<std::string> inHelp;
    std::istringstream usage(usageText());
    for (std::string line; std::getline(usage, line);) {
        if (line.starts_with("  -")) {
            inHelp.insert(line.substr(2, line.find(' ', 2) - 2));
        }
    }
    const std::set<std::string> inPage =
        optionsInManualPage(std::filesystem::path(VIREON_PACKAGING_DIR) / "vireon-render.1.in");
    ASSERT_FALSE(inPage.empty());
    // The page's OPTIONS section holds exactly these tags: the EXIT STATUS tags are numbers.
    std::set<std::string> pageOptions;
    for (const std::string& name : inPage) {
        if (name.starts_with("-")) {
            pageOptions.insert(name);
        }
    }
    EXPECT_EQ(pageOptions, inHelp);
}

}  // namespace
}  // namespace vireon::tools
