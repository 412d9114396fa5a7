#include "monitor/MailboxMonitor.h"

#include "records/Errors.h"
#include "support/LogSink.h"
#include "support/Text.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <typeinfo>
#include <unordered_set>
#include <utility>

namespace loftwing {
namespace {

struct AccountPollOutcome {
    std::vector<MailMessage> messages;
    AccountCheck check;
};

std::string reconnectMessage(const std::string& email) {
    return "Connect " + email +
           " again in Zevirudi. Mail read access is missing, expired, or was removed.";
}

std::string tryAgainMessage(const std::string& email) {
    return email + " could not be checked. Try again.";
}

// What the log keeps of a failure: its kind with the transport code, the HTTP status or Gmail
// reason (in the error's fixed sentence), or the record and key that did not decode. Never the
// failure's free text from elsewhere, which could carry an address or mail text.
std::string failureDetail(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const LoftwingMultiError& failure) {
        return failure.what();
    } catch (const TransportError& failure) {
        return "transport error " + std::to_string(failure.code());
    } catch (const JsonDecodingError& failure) {
        // Names the record and key (or the parser's complaint), never a value.
        return std::string("JSON: ") + failure.what();
    } catch (const OperationCancelled&) {
        return "cancelled";
    } catch (const std::exception& failure) {
        return std::string("unexpected ") + typeid(failure).name();
    } catch (...) {
        return "unexpected non-standard exception";
    }
}

// The check for an account whose client threw `error`. The status and message follow the error's
// meaning for the person; the failure code follows its kind.
AccountCheck failedCheck(const StoredAccount& stored, std::exception_ptr error) {
    const std::string& email = stored.account.email;
    AccountCheck check{stored.account.id, AccountCheck::Status::unavailable, tryAgainMessage(email),
                       "unavailable"};
    try {
        std::rethrow_exception(error);
    } catch (const LoftwingMultiError& failure) {
        using Case = LoftwingMultiError::Case;
        const bool insufficientPermissions =
            failure.errorCase() == Case::gmailFailure &&
            failure.gmailFailureReason() == GmailFailureReason::insufficientPermissions;
        const bool unauthorized =
            failure.errorCase() == Case::httpStatus && failure.statusCode() == 401;
        if (failure.errorCase() == Case::reconnectRequired || unauthorized ||
            insufficientPermissions) {
            check.status = AccountCheck::Status::reconnectRequired;
            check.message = reconnectMessage(email);
        } else if (failure.errorCase() == Case::gmailFailure) {
            check.message = email + ": " + std::string(message(failure.gmailFailureReason()));
        }
        switch (failure.errorCase()) {
            case Case::reconnectRequired:
                check.failureCode = "reconnect_required";
                break;
            case Case::httpStatus:
                check.failureCode = "http_" + std::to_string(failure.statusCode());
                break;
            case Case::gmailFailure:
                check.failureCode = "gmail_" + std::string(rawValue(failure.gmailFailureReason()));
                break;
            default:
                check.failureCode = "local_error";
                break;
        }
    } catch (const TransportError& failure) {
        check.failureCode = "network_" + std::to_string(failure.code());
    } catch (const JsonDecodingError&) {
        check.failureCode = "invalid_mail_data";
    } catch (...) {
        // Cancellation and anything unforeseen keep the generic sentence and code.
    }
    logMessage(LogLevel::warning, "monitor",
               "account " + stored.account.id + ": " + *check.failureCode + " (" +
                   failureDetail(error) + ")");
    return check;
}

AccountPollOutcome pollAccount(const StoredAccount& stored, const MailboxClient* client,
                               Timestamp since, const std::unordered_set<std::string>& seen) {
    if (!client) {
        return {{},
                AccountCheck{stored.account.id, AccountCheck::Status::unavailable,
                             stored.account.email + " uses an unsupported mail provider.",
                             std::nullopt}};
    }
    try {
        auto messages = client->recentMessages(stored, since, seen);
        return {std::move(messages),
                AccountCheck{stored.account.id, AccountCheck::Status::ready, {}, {}}};
    } catch (...) {
        return {{}, failedCheck(stored, std::current_exception())};
    }
}

std::size_t encodedSize(const MailMessage& message) {
    try {
        return encodeJson(message, DateEncoding::millisecondsSince1970).size();
    } catch (...) {
        return MailboxMonitor::unencodableMessageBytes;
    }
}

}  // namespace

MailboxMonitor::MailboxMonitor(std::shared_ptr<AccountStore> accountStore,
                               std::vector<std::shared_ptr<MailboxClient>> clients)
    : accountStore_(std::move(accountStore)) {
    for (auto& client : clients) {
        if (client) {
            clients_.try_emplace(client->provider(), std::move(client));
        }
    }
}

WatchResponse MailboxMonitor::poll(const WatchRequest& request) {
    WatchResponse response;
    std::vector<StoredAccount> accounts;
    try {
        accounts = accountStore_->allAccounts();
    } catch (const std::exception& error) {
        logMessage(LogLevel::warning, "monitor",
                   "accounts not listed (" + failureDetail(std::current_exception()) + ")");
        response.error = prefixCharacters(
            userFacingDescription(error).value_or("The mail accounts could not be checked."),
            errorCharacters);
        return response;
    } catch (...) {
        logMessage(LogLevel::warning, "monitor",
                   "accounts not listed (" + failureDetail(std::current_exception()) + ")");
        response.error = "The mail accounts could not be checked.";
        return response;
    }
    if (accounts.empty()) {
        response.error = "Connect at least one mail account in Zevirudi.";
        return response;
    }

    const std::unordered_set<std::string> seen(request.seenMessageIDs.begin(),
                                               request.seenMessageIDs.end());
    const Timestamp since = request.since();

    // One thread per account; each outcome lands in its account's slot, and the order in which
    // they finished is kept for merging the messages.
    std::vector<AccountPollOutcome> outcomes(accounts.size());
    std::vector<std::size_t> completionOrder;
    completionOrder.reserve(accounts.size());
    std::mutex completionMutex;
    {
        std::vector<std::jthread> tasks;
        tasks.reserve(accounts.size());
        for (std::size_t i = 0; i < accounts.size(); ++i) {
            const auto found = clients_.find(accounts[i].account.provider);
            const MailboxClient* client = found == clients_.end() ? nullptr : found->second.get();
            auto work = [&, i, client] {
                outcomes[i] = pollAccount(accounts[i], client, since, seen);
                const std::lock_guard lock(completionMutex);
                completionOrder.push_back(i);
            };
            try {
                tasks.emplace_back(work);
            } catch (...) {
                // No thread to spare: read this account on the polling thread instead.
                work();
            }
        }
    }  // joins every task

    std::vector<AccountCheck> checks;
    checks.reserve(outcomes.size());
    for (const auto& outcome : outcomes) {
        checks.push_back(outcome.check);
    }
    std::stable_sort(
        checks.begin(), checks.end(),
        [](const AccountCheck& a, const AccountCheck& b) { return a.accountID < b.accountID; });
    for (const auto& check : checks) {
        if (check.message) {
            response.warnings.push_back(*check.message);
        }
    }
    response.accountChecks = checks;

    const bool anyReady = std::any_of(checks.begin(), checks.end(), [](const AccountCheck& check) {
        return check.status == AccountCheck::Status::ready;
    });
    if (!anyReady) {
        response.error = "None of the connected mail accounts could be checked.";
        return response;
    }

    std::vector<MailMessage> messages;
    for (const std::size_t index : completionOrder) {
        for (auto& message : outcomes[index].messages) {
            if (!seen.contains(message.id)) {
                messages.push_back(std::move(message));
            }
        }
    }
    std::stable_sort(
        messages.begin(), messages.end(),
        [](const MailMessage& a, const MailMessage& b) { return a.receivedAt > b.receivedAt; });

    const std::size_t considered = std::min(messages.size(), maximumMessages);
    std::size_t total = 0;
    for (std::size_t i = 0; i < considered; ++i) {
        const std::size_t size = encodedSize(messages[i]);
        if (total + size <= messageBudgetBytes) {
            total += size;
            response.messages.push_back(std::move(messages[i]));
        }
    }
    if (response.messages.size() < considered) {
        response.warnings.push_back(
            "Some messages exceeded the local size limit and could not be included in this "
            "check.");
    }
    response.ok = true;
    return response;
}

}  // namespace loftwing
