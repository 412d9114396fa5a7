#include "storage/KeychainAccountStore.h"

#include "records/Errors.h"
#include "records/JsonCoding.h"
#include "storage/AccountLock.h"
#include "support/SecretWiping.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <boost/json.hpp>

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <utility>

namespace loftwing {

namespace {

std::string accountKey(const std::string& accountID) {
    return "account:" + accountID;
}

}  // namespace

// Case-insensitive, accent-aware ordering of addresses by the root locale's collation rules.
class KeychainAccountStore::AddressOrder {
  public:
    AddressOrder() {
        UErrorCode status = U_ZERO_ERROR;
        collator_.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !collator_) {
            throw std::runtime_error("The address collator could not be created.");
        }
        collator_->setStrength(icu::Collator::SECONDARY);
    }

    bool operator()(const StoredAccount& a, const StoredAccount& b) const {
        UErrorCode status = U_ZERO_ERROR;
        const auto order = collator_->compareUTF8(icu::StringPiece(a.account.email),
                                                  icu::StringPiece(b.account.email), status);
        return U_SUCCESS(status) && order == UCOL_LESS;
    }

  private:
    std::unique_ptr<icu::Collator> collator_;
};

KeychainAccountStore::KeychainAccountStore(std::shared_ptr<KeychainDataStore> keychain)
    : keychain_(std::move(keychain)), addressOrder_(std::make_unique<AddressOrder>()) {
    if (!keychain_) {
        throw std::invalid_argument("KeychainAccountStore needs a keychain.");
    }
}

KeychainAccountStore::~KeychainAccountStore() = default;

std::vector<StoredAccount> KeychainAccountStore::allAccounts() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> keys;
    for (const auto& accountID : loadIndex()) {
        keys.push_back(accountKey(accountID));
    }
    // All items in one read: a keyring that can fetches them with the same few calls for any
    // number of accounts.
    auto items = keychain_->readMany(keys);
    std::deque<WipedOnExit> wipes;  // all of them, also when one fails to decode
    for (auto& bytes : items) {
        if (bytes) {
            wipes.emplace_back(*bytes);
        }
    }
    std::vector<StoredAccount> accounts;
    for (const auto& bytes : items) {
        if (bytes) {
            accounts.push_back(decodeJson<StoredAccount>(*bytes, DateEncoding::iso8601));
        }
    }
    std::stable_sort(accounts.begin(), accounts.end(), std::cref(*addressOrder_));
    return accounts;
}

void KeychainAccountStore::save(const StoredAccount& account) {
    std::lock_guard lock(mutex_);
    std::string bytes = encodeJson(account, DateEncoding::iso8601);
    const WipedOnExit wipe(bytes);
    keychain_->save(bytes, accountKey(account.account.id));

    auto index = loadIndex();
    if (std::find(index.begin(), index.end(), account.account.id) != index.end()) {
        return;
    }
    index.push_back(account.account.id);
    storeIndex(index);
}

void KeychainAccountStore::remove(const std::string& accountID) {
    // A refresh in another process holds this lock from reading the account to saving it, so it
    // cannot put the removed account back.
    const AccountLock accountLock(accountID);
    std::lock_guard lock(mutex_);
    keychain_->remove(accountKey(accountID));

    auto index = loadIndex();
    std::erase(index, accountID);
    storeIndex(index);
}

std::vector<std::string> KeychainAccountStore::loadIndex() {
    const auto bytes = keychain_->read(indexKey);
    if (!bytes) {
        return {};
    }
    const boost::json::value json = parseJson(*bytes);
    const auto* array = json.if_array();
    if (array == nullptr) {
        throw JsonDecodingError("The account index is not a JSON array.");
    }
    std::vector<std::string> index;
    index.reserve(array->size());
    for (const auto& entry : *array) {
        const auto* text = entry.if_string();
        if (text == nullptr) {
            throw JsonDecodingError("The account index holds a value that is not a string.");
        }
        index.emplace_back(text->data(), text->size());
    }
    return index;
}

void KeychainAccountStore::storeIndex(const std::vector<std::string>& index) {
    boost::json::array array;
    array.reserve(index.size());
    for (const auto& accountID : index) {
        array.emplace_back(boost::json::string_view(accountID.data(), accountID.size()));
    }
    keychain_->save(serializeJson(array), indexKey);
}

}  // namespace loftwing
