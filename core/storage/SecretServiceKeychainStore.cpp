#include "storage/SecretServiceKeychainStore.h"

#include "records/Errors.h"
#include "storage/SecretServiceCalls.h"
#include "support/Text.h"

#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace loftwing {
namespace {

using namespace secret_service;

constexpr const char* kDefaultCollectionPath = "/org/freedesktop/secrets/aliases/default";
constexpr const char* kContentType = "application/octet-stream";

std::mutex& libsecretMutex() {
    static std::mutex mutex;
    return mutex;
}

// D-Bus strings are NUL-terminated UTF-8: a key with a NUL byte would silently name another item,
// and invalid UTF-8 would make GLib abort the call.
void requireDBusString(const std::string& text) {
    if (text.find('\0') != std::string::npos || !isValidUTF8(text)) {
        throw LoftwingMultiError::invalidData();
    }
}

void requireDBusStrings(const std::string& service, const std::optional<std::string>& group,
                        const std::string& account) {
    requireDBusString(service);
    if (group) {
        requireDBusString(*group);
    }
    requireDBusString(account);
}

// The attribute table points into the strings it is given; they must outlive it.
HashTablePtr serviceAttributes(const std::string& service,
                               const std::optional<std::string>& group) {
    HashTablePtr table(g_hash_table_new(g_str_hash, g_str_equal));
    g_hash_table_insert(table.get(), const_cast<char*>("service"),
                        const_cast<char*>(service.c_str()));
    g_hash_table_insert(table.get(), const_cast<char*>("accessGroup"),
                        const_cast<char*>(group ? group->c_str() : ""));
    return table;
}

HashTablePtr itemAttributes(const std::string& service, const std::optional<std::string>& group,
                            const std::string& account) {
    HashTablePtr table = serviceAttributes(service, group);
    g_hash_table_insert(table.get(), const_cast<char*>("account"),
                        const_cast<char*>(account.c_str()));
    return table;
}

// The a{sv} properties of a new item: its label and attributes, the schema name among them.
GVariant* itemProperties(const std::string& service, const std::optional<std::string>& group,
                         const std::string& account) {
    GVariantBuilder attributes;
    g_variant_builder_init(&attributes, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&attributes, "{ss}", "service", service.c_str());
    g_variant_builder_add(&attributes, "{ss}", "account", account.c_str());
    g_variant_builder_add(&attributes, "{ss}", "accessGroup", group ? group->c_str() : "");
    g_variant_builder_add(&attributes, "{ss}", "xdg:schema", kSchemaName);

    const std::string label = "Zevirudi: " + account;
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Label",
                          g_variant_new_string(label.c_str()));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Attributes",
                          g_variant_builder_end(&attributes));
    return g_variant_builder_end(&properties);
}

}  // namespace

SecretServiceKeychainStore::SecretServiceKeychainStore(std::string service,
                                                       std::optional<std::string> accessGroup,
                                                       std::chrono::milliseconds callTimeout)
    : service_(std::move(service)), callTimeout_(callTimeout) {
    if (accessGroup) {
        auto trimmed = trimmingWhitespaceAndNewlines(*accessGroup);
        if (!trimmed.empty()) {
            accessGroup_ = std::move(trimmed);
        }
    }
}

std::optional<std::string> SecretServiceKeychainStore::read(const std::string& account) {
    requireDBusStrings(service_, accessGroup_, account);
    std::lock_guard lock(libsecretMutex());

    const ServicePtr service = connectedService(callTimeout_);
    const HashTablePtr attributes = itemAttributes(service_, accessGroup_, account);
    const ItemPaths paths = searchItems(service.get(), attributes.get());

    if (hasAny(paths.unlocked)) {
        GError* raw = nullptr;
        ValuePtr value(secret_service_get_secret_for_dbus_path_sync(
            service.get(), paths.unlocked.get()[0], nullptr, &raw));
        ErrorPtr error(raw);
        if (error) {
            fail("read", error);
        }
        if (value) {
            gsize length = 0;
            const gchar* bytes = secret_value_get(value.get(), &length);
            return std::string(bytes, length);
        }
        // The item was locked or deleted between the search and the read: fall through.
    }
    if (hasAny(paths.locked)) {
        throw LoftwingMultiError::interactionNotAllowed();
    }
    if (defaultCollectionIsLocked(service.get(), callTimeout_)) {
        throw LoftwingMultiError::interactionNotAllowed();
    }
    return std::nullopt;
}

std::vector<std::optional<std::string>> SecretServiceKeychainStore::readMany(
    const std::vector<std::string>& accounts) {
    for (const auto& account : accounts) {
        requireDBusStrings(service_, accessGroup_, account);
    }
    std::lock_guard lock(libsecretMutex());

    const ServicePtr service = connectedService(callTimeout_);
    const HashTablePtr attributes = serviceAttributes(service_, accessGroup_);
    const ItemPaths paths = searchItems(service.get(), attributes.get());
    const ItemContents contents = readItemContents(service.get(), paths, callTimeout_);

    // As read() does for each key alone: the first unlocked item of the key that still has its
    // secret; otherwise a locked item of the key, or a locked default collection, is a lock.
    std::map<std::string, const std::string*> unlockedBytes;
    for (gchar** path = paths.unlocked.get(); path && *path != nullptr; ++path) {
        const auto account = contents.accountOf.find(*path);
        const auto secret = contents.secretOf.find(*path);
        if (account != contents.accountOf.end() && secret != contents.secretOf.end()) {
            unlockedBytes.emplace(account->second, &secret->second);
        }
    }
    std::optional<bool> defaultLocked;
    std::vector<std::optional<std::string>> items;
    items.reserve(accounts.size());
    for (const auto& account : accounts) {
        if (const auto found = unlockedBytes.find(account); found != unlockedBytes.end()) {
            items.emplace_back(*found->second);
            continue;
        }
        for (gchar** path = paths.locked.get(); path && *path != nullptr; ++path) {
            const auto owner = contents.accountOf.find(*path);
            if (owner != contents.accountOf.end() && owner->second == account) {
                throw LoftwingMultiError::interactionNotAllowed();
            }
        }
        if (!defaultLocked) {
            defaultLocked = defaultCollectionIsLocked(service.get(), callTimeout_);
        }
        if (*defaultLocked) {
            throw LoftwingMultiError::interactionNotAllowed();
        }
        items.emplace_back(std::nullopt);
    }
    return items;
}

void SecretServiceKeychainStore::save(const std::string& bytes, const std::string& account) {
    requireDBusStrings(service_, accessGroup_, account);
    std::lock_guard lock(libsecretMutex());

    const ServicePtr service = connectedService(callTimeout_);
    const ValuePtr value(
        secret_value_new(bytes.data(), static_cast<gssize>(bytes.size()), kContentType));

    // A read takes the first unlocked item the search finds, whoever wrote it and in whichever
    // collection: that item gets the bytes, and every other one of the same key goes, so a later
    // read cannot pick a stale copy.
    const HashTablePtr attributes = itemAttributes(service_, accessGroup_, account);
    const ItemPaths paths = searchItems(service.get(), attributes.get());
    if (hasAny(paths.unlocked)) {
        gchar** found = paths.unlocked.get();
        call(service.get(), "update", found[0], kItemInterface, "SetSecret",
             g_variant_new("(@(oayays))",
                           secret_service_encode_dbus_secret(service.get(), value.get())),
             nullptr, callTimeout_);
        for (gchar** duplicate = found + 1; *duplicate != nullptr; ++duplicate) {
            deleteItem(service.get(), *duplicate, callTimeout_);
        }
        return;
    }
    if (hasAny(paths.locked)) {
        throw LoftwingMultiError::interactionNotAllowed();
    }
    const VariantPtr created =
        call(service.get(), "create", kDefaultCollectionPath, kCollectionInterface, "CreateItem",
             g_variant_new("(@a{sv}@(oayays)b)", itemProperties(service_, accessGroup_, account),
                           secret_service_encode_dbus_secret(service.get(), value.get()), TRUE),
             G_VARIANT_TYPE("(oo)"), callTimeout_);
    const char* item = nullptr;
    const char* prompt = nullptr;
    g_variant_get(created.get(), "(&o&o)", &item, &prompt);
    requireNoPrompt(prompt);
}

void SecretServiceKeychainStore::remove(const std::string& account) {
    requireDBusStrings(service_, accessGroup_, account);
    std::lock_guard lock(libsecretMutex());

    const ServicePtr service = connectedService(callTimeout_);
    const HashTablePtr attributes = itemAttributes(service_, accessGroup_, account);
    const ItemPaths paths = searchItems(service.get(), attributes.get());

    // Deleting nothing while a matching item stays behind a lock would report a removal that did
    // not happen.
    if (hasAny(paths.locked)) {
        throw LoftwingMultiError::interactionNotAllowed();
    }
    if (!hasAny(paths.unlocked)) {
        if (defaultCollectionIsLocked(service.get(), callTimeout_)) {
            throw LoftwingMultiError::interactionNotAllowed();
        }
        return;
    }
    for (gchar** path = paths.unlocked.get(); *path != nullptr; ++path) {
        deleteItem(service.get(), *path, callTimeout_);
    }
}

}  // namespace loftwing
