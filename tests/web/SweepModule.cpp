// SPDX-License-Identifier: GPL-3.0-or-later
// The portable reference (tests/engine) compiled to WebAssembly: node compares its hashes with
// the stored ones, so the browser's engine is held to the same bits as Linux and Windows.

#include <cstdint>
#include <vector>

#include "tests/engine/EngineHashes.h"
#include "tests/engine/RenderSweep.h"

using namespace vireon;

namespace {

std::vector<test::SweepCase> cases;
std::vector<std::uint64_t> hashes;

}  // namespace

extern "C" {

void* vireon_test_alloc(std::uint32_t size) {
    return ::operator new(size);
}

std::uint32_t sweep_case_count() {
    cases = test::sweepCases();
    return static_cast<std::uint32_t>(cases.size());
}

const char* sweep_case_name(std::uint32_t index) {
    return cases[index].name.c_str();
}

/// Renders case `index` and returns its per-second hashes; `seconds` receives their count.
const std::uint64_t* sweep_case_hashes(std::uint32_t index, std::uint32_t* seconds) {
    const std::vector<float> output = test::renderCase(cases[index]);
    hashes.clear();
    for (std::size_t start = 0; start < output.size(); start += test::kSliceSamples) {
        hashes.push_back(test::hashSamples(output.data() + start, test::kSliceSamples));
    }
    *seconds = static_cast<std::uint32_t>(hashes.size());
    return hashes.data();
}

bool sine_matches_reference() {
    return test::engineSineHash() == test::kSineReferenceHash;
}

bool powers_match_reference() {
    return test::enginePowersHash() == test::kPowersReferenceHash;
}
}
