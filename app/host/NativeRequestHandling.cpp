#include "host/NativeRequestHandling.h"

#include "host/NativeRequestValidation.h"
#include "monitor/MailboxMonitor.h"
#include "records/Errors.h"
#include "storage/AccountStore.h"
#include "support/Text.h"

#include <cmath>

namespace zevirudi {
namespace {

using loftwing::NativeHostResponse;

NativeHostResponse failure(std::string error) {
    NativeHostResponse response;
    response.ok = false;
    response.error = std::move(error);
    return response;
}

NativeHostResponse success() {
    NativeHostResponse response;
    response.ok = true;
    return response;
}

std::vector<loftwing::ConnectedAccount> connectedAccounts(
    const std::vector<loftwing::StoredAccount>& stored) {
    std::vector<loftwing::ConnectedAccount> accounts;
    accounts.reserve(stored.size());
    for (const auto& item : stored) {
        accounts.push_back(item.account);
    }
    return accounts;
}

NativeHostResponse fromWatchResponse(loftwing::WatchResponse poll) {
    NativeHostResponse response;
    response.ok = poll.ok;
    response.messages = std::move(poll.messages);
    response.warnings = std::move(poll.warnings);
    response.accountChecks = std::move(poll.accountChecks);
    response.error = std::move(poll.error);
    return response;
}

NativeHostResponse status(loftwing::AccountStore& accountStore) {
    try {
        auto response = success();
        response.accounts = connectedAccounts(accountStore.allAccounts());
        return response;
    } catch (const std::exception& error) {
        const auto description =
            loftwing::userFacingDescription(error).value_or("Unknown Keychain error.");
        return failure("Connected accounts could not be read. " +
                       loftwing::prefixCharacters(description, 160));
    } catch (...) {
        return failure("Connected accounts could not be read. Unknown Keychain error.");
    }
}

NativeHostResponse health(loftwing::AccountStore& accountStore, loftwing::MailboxMonitor& monitor,
                          loftwing::Timestamp now) {
    const auto milliseconds =
        static_cast<std::int64_t>(std::trunc(loftwing::secondsSince1970(now) * 1000.0));
    auto response = fromWatchResponse(monitor.poll(
        loftwing::WatchRequest("poll", std::string(healthCheckOrigin), milliseconds, {})));
    response.messages.clear();
    try {
        response.accounts = connectedAccounts(accountStore.allAccounts());
    } catch (...) {
        // The poll has already reported what went wrong with the store.
        response.accounts.clear();
    }
    return response;
}

NativeHostResponse poll(const loftwing::NativeHostRequest& request,
                        loftwing::MailboxMonitor& monitor) {
    const auto watch = request.watchRequest();
    if (!watch || !isValidPageOrigin(watch->origin)) {
        return failure("The page origin is not valid.");
    }
    auto response = fromWatchResponse(monitor.poll(*watch));
    response.accounts.clear();
    return response;
}

}  // namespace

std::optional<HandledRequest> handleWithoutServices(const loftwing::NativeHostRequest& request) {
    if (request.type == "status" || request.type == "health" || request.type == "poll") {
        return std::nullopt;
    }
    if (request.type == "presentLinkNotification") {
        auto link = validatedLinkNotification(request.linkNotification);
        if (!link) {
            return HandledRequest{failure("The checked link notification is not valid."),
                                  std::nullopt, std::nullopt};
        }
        return HandledRequest{success(), std::move(link), std::nullopt};
    }
    if (request.type == "presentCodeNotification") {
        auto code = validatedCodeNotification(request.codeNotification);
        if (!code) {
            return HandledRequest{failure("The code notification is not valid."), std::nullopt,
                                  std::nullopt};
        }
        return HandledRequest{success(), std::nullopt, std::move(code)};
    }
    return HandledRequest{failure("The native request type is not supported."), std::nullopt,
                          std::nullopt};
}

HandledRequest handleNativeRequest(const loftwing::NativeHostRequest& request,
                                   loftwing::AccountStore& accountStore,
                                   loftwing::MailboxMonitor& monitor, loftwing::Timestamp now) {
    if (request.type == "status") {
        return {status(accountStore), std::nullopt, std::nullopt};
    }
    if (request.type == "health") {
        return {health(accountStore, monitor, now), std::nullopt, std::nullopt};
    }
    if (request.type == "poll") {
        return {poll(request, monitor), std::nullopt, std::nullopt};
    }
    return *handleWithoutServices(request);
}

}  // namespace zevirudi
