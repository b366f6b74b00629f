// What a test does when a tool no one here wrote (or the fixtures such a tool
// makes) is missing: it fails, because scripts/setup.sh installs every tool a
// test needs and a skipped oracle would pass unseen. Only an explicit opt-out,
// PV_ALLOW_MISSING_ORACLES=1 in the environment, turns it into a skip (for a
// developer's machine without the tools).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace testing_support {

inline bool MissingOraclesAllowed() {
    const char* value = std::getenv("PV_ALLOW_MISSING_ORACLES");
    return value && *value && std::strcmp(value, "0") != 0;
}

}  // namespace testing_support

// In a test body or SetUp: fail (or, opted out, skip) with `reason`.
#define PV_ORACLE_MISSING(reason)                                                                      \
    do {                                                                                               \
        if (::testing_support::MissingOraclesAllowed()) GTEST_SKIP() << (reason);                      \
        FAIL() << (reason) << " (a tool this test needs is missing; PV_ALLOW_MISSING_ORACLES=1 skips)"; \
    } while (0)
