// The hand-written HTML scanner against the two ICU replacements it stands for, on any UTF-8 text.
#include "helpers/ReferenceHTMLSanitizer.h"
#include "mail/HTMLSanitizer.h"
#include "support/Text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    // Mail bodies reach the sanitizer only as valid UTF-8.
    if (!loftwing::isValidUTF8(html)) {
        return 0;
    }
    static const loftwing::test::ReferenceHTMLSanitizer reference;
    if (loftwing::sanitizedHTML(html) != reference(html)) {
        std::abort();
    }
    return 0;
}
