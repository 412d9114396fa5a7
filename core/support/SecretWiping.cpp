#include "support/SecretWiping.h"

#include <sodium.h>

namespace loftwing {

void wipeText(std::string& text) {
    sodium_memzero(text.data(), text.size());
}

}  // namespace loftwing
