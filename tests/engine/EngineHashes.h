// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "engine/Powers.h"
#include "exactmath/Sine.h"
#include "tests/engine/PortableReference.h"

namespace vireon::test {

/// This platform's sine over the reference arguments, hashed as kSineReferenceHash was.
inline std::uint64_t engineSineHash() {
    std::uint64_t hash = kHashStart;
    for (int i = 0; i < kSineReferenceCount; ++i) {
        hash =
            hashDouble(hash, exactmath::sine(sineReferenceArgument(static_cast<std::uint32_t>(i))));
    }
    return hash;
}

/// This platform's power tables, hashed as kPowersReferenceHash was.
inline std::uint64_t enginePowersHash() {
    return hashPowerTables([](PowerTable table, int n) {
        switch (table) {
            case PowerTable::Havoc:
                return engine::havocPower(n);
            case PowerTable::Bedlam:
                return engine::bedlamPower(n);
            case PowerTable::Attack:
                return engine::attackPower(n);
            case PowerTable::Ramp:
                return engine::rampPower(n);
            case PowerTable::Semitone:
                break;
        }
        return engine::semitonePower(static_cast<std::uint32_t>(n));
    });
}

}  // namespace vireon::test
