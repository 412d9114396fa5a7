#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace loftwing::test {

// A provider answer kept as a file in a fuzz target's seed corpus, so that the tests and the
// fuzzer start from the same shapes: $ZEVIRUDI_SOURCE_DIR/fuzz/corpus/<corpus>/<name>.
inline std::string fixture(const std::string& corpus, const std::string& name) {
    const char* source = std::getenv("ZEVIRUDI_SOURCE_DIR");
    const std::string path =
        std::string(source ? source : ".") + "/fuzz/corpus/" + corpus + "/" + name;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("missing fixture " + path);
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace loftwing::test
