#pragma once

#include "records/Errors.h"
#include "records/MailProvider.h"

#include <exception>
#include <optional>
#include <string>

namespace zevirudi {

// Why an account could not be connected before any sign-in started.
class AccountConnectionError : public std::exception, public loftwing::LocalizedError {
  public:
    enum class Case { providerNotConfigured };

    static AccountConnectionError providerNotConfigured(loftwing::MailProvider provider);

    Case errorCase() const { return case_; }
    loftwing::MailProvider provider() const { return provider_; }

    std::optional<std::string> errorDescription() const override { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const AccountConnectionError& a, const AccountConnectionError& b) {
        return a.case_ == b.case_ && a.provider_ == b.provider_;
    }

  private:
    AccountConnectionError(Case errorCase, loftwing::MailProvider provider);

    Case case_;
    loftwing::MailProvider provider_;
    std::string description_;
};

}  // namespace zevirudi
