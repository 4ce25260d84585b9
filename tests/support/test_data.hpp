// The sample files of the tests, found wherever the tests run from.
#pragma once

#include <string>
#include <string_view>

namespace quobel::testing {

// The path of a file in tests/data.
inline std::string test_data(std::string_view name) {
    return std::string(QUOBEL_TEST_DATA_DIR) + '/' + std::string(name);
}

}  // namespace quobel::testing
