/* The floor of a "status" answer: reads one native messaging frame, reads every item of the
 * accounts' keyring service with its secret through libsecret (one search that loads the secrets,
 * over an encrypted session), and answers with one fixed frame. */
#include <libsecret/secret.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static int readExactly(unsigned char* buffer, size_t count) {
    size_t have = 0;
    while (have < count) {
        const ssize_t got = read(STDIN_FILENO, buffer + have, count - have);
        if (got <= 0) {
            return 0;
        }
        have += (size_t)got;
    }
    return 1;
}

int main(void) {
    unsigned char prefix[4];
    if (!readExactly(prefix, 4)) {
        return 0;
    }
    const uint32_t length = (uint32_t)prefix[0] | (uint32_t)prefix[1] << 8 |
                            (uint32_t)prefix[2] << 16 | (uint32_t)prefix[3] << 24;
    unsigned char* body = malloc(length ? length : 1);
    if (!body || !readExactly(body, length)) {
        return 1;
    }
    free(body);

    SecretService* service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, NULL, NULL);
    if (!service) {
        return 1;
    }
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, "service", "com.loftwing.multi.accounts");
    GList* items = secret_service_search_sync(
        service, NULL, attributes, SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS, NULL, NULL);
    gsize total = 0;
    for (GList* item = items; item; item = item->next) {
        SecretValue* value = secret_item_get_secret(item->data);
        if (value) {
            gsize size = 0;
            secret_value_get(value, &size);
            total += size;
            secret_value_unref(value);
        }
    }
    g_list_free_full(items, g_object_unref);
    g_hash_table_unref(attributes);
    g_object_unref(service);
    if (total == 0) {
        return 1;
    }

    static const char answer[] =
        "{\"ok\":true,\"messages\":[],\"accounts\":[],\"warnings\":[],\"accountChecks\":[]}";
    const uint32_t size = (uint32_t)(sizeof answer - 1);
    unsigned char frame[4 + sizeof answer];
    for (int i = 0; i < 4; ++i) {
        frame[i] = (unsigned char)(size >> (8 * i) & 0xFF);
    }
    for (uint32_t i = 0; i < size; ++i) {
        frame[4 + i] = (unsigned char)answer[i];
    }
    return write(STDOUT_FILENO, frame, 4 + size) == (ssize_t)(4 + size) ? 0 : 1;
}
