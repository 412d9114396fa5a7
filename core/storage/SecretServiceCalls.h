#pragma once

// The Secret Service calls the keyring store is made of, each with the store's time-out. Internal
// to the keyring store; public headers do not include it.

#include "records/Errors.h"

// The D-Bus object path API lets the store search, read and write without libsecret's automatic
// unlocking, which would show a prompt and block until a person answers it.
#define SECRET_API_SUBJECT_TO_CHANGE
#include <libsecret/secret.h>
#include <sodium.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

namespace loftwing::secret_service {

constexpr const char* kSchemaName = "com.loftwing.multi.KeychainItem";
constexpr const char* kItemInterface = "org.freedesktop.Secret.Item";
constexpr const char* kCollectionInterface = "org.freedesktop.Secret.Collection";

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct HashTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct ValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct StrvFree {
    void operator()(gchar** strings) const { g_strfreev(strings); }
};
struct StringFree {
    void operator()(gchar* text) const { g_free(text); }
};
struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};

using ErrorPtr = std::unique_ptr<GError, ErrorFree>;
using HashTablePtr = std::unique_ptr<GHashTable, HashTableUnref>;
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;
using ServicePtr = std::unique_ptr<SecretService, ObjectUnref>;
using StrvPtr = std::unique_ptr<gchar*, StrvFree>;
using StringPtr = std::unique_ptr<gchar, StringFree>;
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

// Logs the failed step with the error's domain, code and D-Bus name, and throws its mapped error.
[[noreturn]] void fail(const char* step, const ErrorPtr& error);

// A D-Bus call with the store's time-out. libsecret's own calls on paths use the bus default of
// 25 s, which a frozen keyring daemon turns into a 25 s wait per call.
VariantPtr call(SecretService* service, const char* step, const char* path, const char* interface,
                const char* method, GVariant* parameters, const GVariantType* replyType,
                std::chrono::milliseconds timeout);

// Methods that change items answer a prompt path when they would need a person: this store never
// shows one.
void requireNoPrompt(const char* prompt);

// The Secret Service proxy with a session, after a ping with the store's time-out: libsecret
// creates its proxy and session with the bus default of 25 s per call, and only a daemon that
// answered a moment ago is asked to.
ServicePtr connectedService(std::chrono::milliseconds timeout);

struct ItemPaths {
    StrvPtr unlocked;
    StrvPtr locked;
};

ItemPaths searchItems(SecretService* service, GHashTable* attributes);

inline bool hasAny(const StrvPtr& paths) {
    return paths && paths.get()[0] != nullptr;
}

// A locked collection hides its items from reads, so "nothing found" is only trustworthy once the
// default collection is known to be unlocked. No default collection means nothing was stored.
bool defaultCollectionIsLocked(SecretService* service, std::chrono::milliseconds timeout);

// Deleting an item someone else deleted in the meantime reaches the goal too.
void deleteItem(SecretService* service, const char* path, std::chrono::milliseconds timeout);

// The account key of every item and the secret of every unlocked one, fetched with one
// GetSecrets call and one attribute read per item, all sent at once and awaited together.
struct ItemContents {
    ItemContents() = default;
    ItemContents(ItemContents&&) = default;
    ItemContents& operator=(ItemContents&&) = default;
    ~ItemContents() {
        for (auto& [path, secret] : secretOf) {
            sodium_memzero(secret.data(), secret.size());
        }
    }

    std::map<std::string, std::string> accountOf;  // path to account key
    std::map<std::string, std::string> secretOf;   // path to bytes
};

ItemContents readItemContents(SecretService* service, const ItemPaths& paths,
                              std::chrono::milliseconds timeout);

}  // namespace loftwing::secret_service
