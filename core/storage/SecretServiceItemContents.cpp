// The batch read's calls are asynchronous and run on a main context of the calling thread's own,
// so that they neither wait for nor disturb any other main loop of the process.
#include "storage/SecretServiceCalls.h"

#include <utility>

namespace loftwing::secret_service {
namespace {

struct PendingCalls {
    int pending = 0;
    ErrorPtr error;  // the first failure
    ItemContents contents;
    SecretService* service = nullptr;

    void finish(GError* raw) {
        ErrorPtr failure(raw);
        if (failure && !error) {
            error = std::move(failure);
        }
        --pending;
    }
};

struct AttributeCall {
    PendingCalls* calls;
    std::string path;
};

void attributesArrived(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<AttributeCall> call(static_cast<AttributeCall*>(data));
    GError* raw = nullptr;
    VariantPtr reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &raw));
    if (reply) {
        GVariant* inner = nullptr;
        g_variant_get(reply.get(), "(v)", &inner);
        const VariantPtr attributes(inner);
        const gchar* account = nullptr;
        if (g_variant_is_of_type(attributes.get(), G_VARIANT_TYPE("a{ss}")) &&
            g_variant_lookup(attributes.get(), "account", "&s", &account)) {
            call->calls->contents.accountOf.emplace(call->path, account);
        }
    }
    call->calls->finish(raw);
}

void secretsArrived(GObject*, GAsyncResult* result, gpointer data) {
    auto* calls = static_cast<PendingCalls*>(data);
    GError* raw = nullptr;
    const HashTablePtr secrets(
        secret_service_get_secrets_for_dbus_paths_finish(calls->service, result, &raw));
    if (secrets) {
        GHashTableIter iterator;
        gpointer path = nullptr;
        gpointer value = nullptr;
        g_hash_table_iter_init(&iterator, secrets.get());
        while (g_hash_table_iter_next(&iterator, &path, &value)) {
            gsize length = 0;
            const gchar* bytes = secret_value_get(static_cast<SecretValue*>(value), &length);
            calls->contents.secretOf.emplace(static_cast<const char*>(path),
                                             std::string(bytes, length));
        }
    }
    calls->finish(raw);
}

}  // namespace

ItemContents readItemContents(SecretService* service, const ItemPaths& paths,
                              std::chrono::milliseconds timeout) {
    PendingCalls calls;
    calls.service = service;
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GDBusProxy* proxy = G_DBUS_PROXY(service);
    for (const StrvPtr* list : {&paths.unlocked, &paths.locked}) {
        for (gchar** path = list->get(); path && *path != nullptr; ++path) {
            ++calls.pending;
            g_dbus_connection_call(g_dbus_proxy_get_connection(proxy), g_dbus_proxy_get_name(proxy),
                                   *path, "org.freedesktop.DBus.Properties", "Get",
                                   g_variant_new("(ss)", kItemInterface, "Attributes"),
                                   G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                   static_cast<gint>(timeout.count()), nullptr, attributesArrived,
                                   new AttributeCall{&calls, *path});
        }
    }
    if (hasAny(paths.unlocked)) {
        ++calls.pending;
        secret_service_get_secrets_for_dbus_paths(service,
                                                  const_cast<const gchar**>(paths.unlocked.get()),
                                                  nullptr, secretsArrived, &calls);
    }
    while (calls.pending > 0) {
        g_main_context_iteration(context, TRUE);
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    if (calls.error) {
        fail("read items", calls.error);
    }
    return std::move(calls.contents);
}

}  // namespace loftwing::secret_service
