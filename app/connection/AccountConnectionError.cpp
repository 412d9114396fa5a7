#include "connection/AccountConnectionError.h"

namespace zevirudi {

AccountConnectionError::AccountConnectionError(Case errorCase, loftwing::MailProvider provider)
    : case_(errorCase),
      provider_(provider),
      description_("The OAuth client for " + std::string(loftwing::displayName(provider)) +
                   " is not configured yet.") {}

AccountConnectionError AccountConnectionError::providerNotConfigured(
    loftwing::MailProvider provider) {
    return AccountConnectionError(Case::providerNotConfigured, provider);
}

}  // namespace zevirudi
