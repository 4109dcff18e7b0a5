#include "keyring.h"

#include <libsecret/secret.h>

namespace Keyring {

namespace {

// The schema `secret-tool` uses, matched by attributes only, so that items stored by either
// tool are the same items to both.
const SecretSchema genericSchema = {
    .name = "org.freedesktop.Secret.Generic",
    .flags = SECRET_SCHEMA_DONT_MATCH_NAME,
    .attributes = { { "service", SECRET_SCHEMA_ATTRIBUTE_STRING },
        { "account", SECRET_SCHEMA_ATTRIBUTE_STRING }, { nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING } },
    .reserved = 0,
    .reserved1 = nullptr,
    .reserved2 = nullptr,
    .reserved3 = nullptr,
    .reserved4 = nullptr,
    .reserved5 = nullptr,
    .reserved6 = nullptr,
    .reserved7 = nullptr,
};

struct ErrorDeleter
{
    void operator()(GError *error) const { g_error_free(error); }
};
struct TableDeleter
{
    void operator()(GHashTable *table) const { g_hash_table_unref(table); }
};
struct ValueDeleter
{
    void operator()(SecretValue *value) const { secret_value_unref(value); }
};
struct ItemsDeleter
{
    void operator()(GList *items) const { g_list_free_full(items, g_object_unref); }
};
struct TextDeleter
{
    void operator()(gchar *text) const { g_free(text); }
};

using ErrorPtr = std::unique_ptr<GError, ErrorDeleter>;
using TablePtr = std::unique_ptr<GHashTable, TableDeleter>;
using ValuePtr = std::unique_ptr<SecretValue, ValueDeleter>;
using ItemsPtr = std::unique_ptr<GList, ItemsDeleter>;
using TextPtr = std::unique_ptr<gchar, TextDeleter>;

// Throws the GError, if any, as the given kind.
void check(GError *raw, Error::Kind kind = Error::Kind::failed)
{
    const ErrorPtr error(raw);
    if (error)
        throw Error(kind, error->message);
}

// The table points into `query`, which must outlive it.
TablePtr attributes(const Query &query)
{
    TablePtr table(g_hash_table_new(g_str_hash, g_str_equal));
    if (query.service)
        g_hash_table_insert(
            table.get(), const_cast<char *>("service"), const_cast<char *>(query.service->c_str()));
    if (query.account)
        g_hash_table_insert(
            table.get(), const_cast<char *>("account"), const_cast<char *>(query.account->c_str()));
    return table;
}

std::string attribute(GHashTable *table, const char *name)
{
    const auto *value = static_cast<const char *>(g_hash_table_lookup(table, name));
    return value ? value : "";
}

ValuePtr textValue(const std::string &secret)
{
    return ValuePtr(secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain"));
}

} // namespace

struct Session::Private
{
    SecretService *service = nullptr;

    ItemsPtr search(const Query &query, int flags)
    {
        GError *error = nullptr;
        const TablePtr table = attributes(query);
        ItemsPtr items(secret_service_search_sync(service, &genericSchema, table.get(),
            static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | flags), nullptr, &error));
        check(error);
        return items;
    }
};

Session::Session()
    : d(std::make_unique<Private>())
{
    GError *error = nullptr;
    d->service = secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &error);
    check(error, Error::Kind::unavailable);
    if (!d->service)
        throw Error(Error::Kind::unavailable, "no service");
}

Session::~Session()
{
    if (d->service)
        g_object_unref(d->service);
}

std::optional<Item> Session::find(const Query &query)
{
    const ItemsPtr items = d->search(query, SECRET_SEARCH_NONE);
    if (!items)
        return std::nullopt;
    auto *found = static_cast<SecretItem *>(items->data);
    const TablePtr table(secret_item_get_attributes(found));
    const TextPtr label(secret_item_get_label(found));
    Item item;
    item.label = label ? label.get() : "";
    item.service = attribute(table.get(), "service");
    item.account = attribute(table.get(), "account");
    item.created = secret_item_get_created(found);
    item.modified = secret_item_get_modified(found);
    // The item's object path is the collection's followed by "/<item id>".
    const std::string path = g_dbus_proxy_get_object_path(G_DBUS_PROXY(found));
    item.collection = path.substr(0, path.rfind('/'));
    return item;
}

std::string Session::secret(const Query &query)
{
    const ItemsPtr items = d->search(query, SECRET_SEARCH_LOAD_SECRETS);
    if (!items)
        throw Error(Error::Kind::failed, "The specified item could not be found in the keychain.");
    const ValuePtr value(secret_item_get_secret(static_cast<SecretItem *>(items->data)));
    if (!value)
        throw Error(Error::Kind::failed, "The secret of the item could not be read.");
    gsize length = 0;
    const gchar *bytes = secret_value_get(value.get(), &length);
    return std::string(bytes, length);
}

void Session::create(const std::string &service, const std::string &account, const std::string &secret)
{
    GError *error = nullptr;
    const Query query { service, account }; // the table points into it
    const TablePtr table = attributes(query);
    const ValuePtr value = textValue(secret);
    const bool stored = secret_service_store_sync(d->service, &genericSchema, table.get(),
        SECRET_COLLECTION_DEFAULT, service.c_str(), value.get(), nullptr, &error);
    check(error);
    if (!stored)
        throw Error(Error::Kind::failed, "The item could not be stored.");
}

bool Session::update(const Query &query, const std::string &secret)
{
    const ItemsPtr items = d->search(query, SECRET_SEARCH_NONE);
    if (!items)
        return false;
    GError *error = nullptr;
    const ValuePtr value = textValue(secret);
    const bool updated
        = secret_item_set_secret_sync(static_cast<SecretItem *>(items->data), value.get(), nullptr, &error);
    check(error);
    if (!updated)
        throw Error(Error::Kind::failed, "The item could not be updated.");
    return true;
}

bool Session::remove(const Query &query)
{
    const ItemsPtr items = d->search(query, SECRET_SEARCH_NONE);
    if (!items)
        return false;
    GError *error = nullptr;
    const bool deleted = secret_item_delete_sync(static_cast<SecretItem *>(items->data), nullptr, &error);
    check(error);
    if (!deleted)
        throw Error(Error::Kind::failed, "The item could not be deleted.");
    return true;
}

} // namespace Keyring
