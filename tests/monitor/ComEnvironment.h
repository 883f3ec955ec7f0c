#pragma once
// COM for the tests' thread while the tests run, as the programs have it for
// theirs (TComApartment: nothing to do where there is no COM). Included by
// each test file that reaches the class table; registered once per program.

#include "monitorapi/ComFactory.h"

#include <gtest/gtest.h>

#include <optional>

namespace wdx::monitor::testing {

class TComEnvironment : public ::testing::Environment {
public:
    void SetUp() override { FCom.emplace(); }
    void TearDown() override { FCom.reset(); }

private:
    std::optional<TComApartment> FCom;
};

inline ::testing::Environment* const ComEnvironment =
    ::testing::AddGlobalTestEnvironment(new TComEnvironment);

} // namespace wdx::monitor::testing
