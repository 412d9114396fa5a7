#pragma once

#include <gtest/gtest.h>

#include <optional>

namespace loftwing::test {

// The Error that `action` throws, so that a test can compare it with the expected one; a test
// failure and nothing when it throws none.
template <typename Error, typename Action>
std::optional<Error> thrownError(Action&& action) {
    try {
        action();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no error of the expected type";
    return std::nullopt;
}

}  // namespace loftwing::test
