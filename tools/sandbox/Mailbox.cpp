#include "Mailbox.h"

namespace zevirudi::sandbox {

std::string_view providerName(Provider provider) {
    return provider == Provider::google ? "google" : "microsoft";
}

std::optional<Provider> providerFromName(std::string_view name) {
    if (name == "google") {
        return Provider::google;
    }
    if (name == "microsoft") {
        return Provider::microsoft;
    }
    return std::nullopt;
}

std::string Mailbox::accountID() const {
    return std::string(providerName(provider)) + ":" + subjectID;
}

}  // namespace zevirudi::sandbox
