#include "platform/secrets/SecretServiceStore.h"

#include <memory>

#include <libsecret/secret.h>

#include "core/CancelledError.h"
#include "core/Text.h"

namespace nudgerly {
namespace {

const SecretSchema schema = {
    SecretServiceStore::schemaName,
    SECRET_SCHEMA_NONE,
    {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {"account", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, {}}},
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

constexpr const char* contentType = "application/octet-stream";

template <typename T, auto free>
struct Releaser {
    void operator()(T* pointer) const { free(pointer); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, Releaser<T, g_object_unref>>;
using AttributesPtr = std::unique_ptr<GHashTable, Releaser<GHashTable, g_hash_table_unref>>;
using ValuePtr = std::unique_ptr<SecretValue, Releaser<SecretValue, secret_value_unref>>;
using ErrorPtr = std::unique_ptr<GError, Releaser<GError, g_error_free>>;

struct ItemListRelease {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using ItemListPtr = std::unique_ptr<GList, ItemListRelease>;

// A GCancellable that is cancelled when the caller's stop is requested, from whichever thread asks.
class CancelOnStop {
public:
    explicit CancelOnStop(std::stop_token stop)
        : stop_(stop), cancellable_(g_cancellable_new()), callback_(std::move(stop), Cancel{cancellable_.get()}) {}

    GCancellable* get() const { return cancellable_.get(); }

    // Turns a failed call's error into what the caller sees: CancelledError when the stop caused it,
    // KeyringError otherwise.
    [[noreturn]] void fail(GError* rawError, const char* what) const {
        const ErrorPtr error(rawError);
        if (stop_.stop_requested() || (error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED))) {
            throw CancelledError();
        }
        std::string sentence = std::string("The desktop keyring couldn't ") + what;
        if (error && error->message != nullptr && *error->message != '\0') {
            sentence += ": " + text::makeValidUtf8(error->message);
        }
        throw KeyringError(sentence + ".");
    }

    void throwIfStopped() const {
        if (stop_.stop_requested()) {
            throw CancelledError();
        }
    }

private:
    struct Cancel {
        GCancellable* cancellable;
        void operator()() const noexcept { g_cancellable_cancel(cancellable); }
    };

    std::stop_token stop_;
    GObjectPtr<GCancellable> cancellable_;
    std::stop_callback<Cancel> callback_;
};

// One operation's session with the Secret Service: the cancellable, the service proxy and the
// attributes naming the item.
class Session {
public:
    Session(const std::function<bool()>& sessionBusConfigured, const std::string& service, std::string_view account,
            std::stop_token stop)
        : cancel_(std::move(stop)) {
        cancel_.throwIfStopped();
        // D-Bus strings are UTF-8 without NUL; anything else could not name an item.
        if (!text::isValidUtf8(service) || !text::isValidUtf8(account) || service.find('\0') != std::string::npos ||
            account.find('\0') != std::string_view::npos) {
            throw KeyringError("The desktop keyring can't hold a secret under this name.");
        }
        if (!sessionBusConfigured()) {
            throw KeyringError("No desktop keyring is running in this session.");
        }
        GError* error = nullptr;
        bus_.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, cancel_.get(), &error));
        if (!bus_) {
            cancel_.fail(error, "be reached");
        }
        // The shared connection would otherwise end the whole program when the bus goes away.
        g_dbus_connection_set_exit_on_close(bus_.get(), FALSE);
        // A service of our own rather than the shared one, so its session follows the keyring's restarts.
        service_.reset(
            secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, cancel_.get(), &error));
        if (!service_) {
            cancel_.fail(error, "be reached");
        }
        const std::string accountName(account);
        attributes_.reset(
            secret_attributes_build(&schema, "service", service.c_str(), "account", accountName.c_str(), nullptr));
    }

    SecretService* service() const { return service_.get(); }
    GHashTable* attributes() const { return attributes_.get(); }
    GCancellable* cancellable() const { return cancel_.get(); }
    const CancelOnStop& cancel() const { return cancel_; }

private:
    CancelOnStop cancel_;
    GObjectPtr<GDBusConnection> bus_;
    GObjectPtr<SecretService> service_;
    AttributesPtr attributes_;
};

// The default collection, unlocked through the desktop's prompt when it is locked. Without a default
// collection the store call itself decides (the service may offer to create one).
void unlockDefaultCollection(const Session& session) {
    GError* error = nullptr;
    const GObjectPtr<SecretCollection> collection(secret_collection_for_alias_sync(
        session.service(), SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, session.cancellable(), &error));
    if (!collection) {
        if (error != nullptr) {
            session.cancel().fail(error, "open its default collection");
        }
        return;
    }
    if (!secret_collection_get_locked(collection.get())) {
        return;
    }
    GList objects{};
    objects.data = collection.get();
    GList* unlockedRaw = nullptr;
    secret_service_unlock_sync(session.service(), &objects, session.cancellable(), &unlockedRaw, &error);
    const ItemListPtr unlocked(unlockedRaw);
    if (error != nullptr) {
        session.cancel().fail(error, "be unlocked");
    }
    if (unlocked == nullptr) {
        session.cancel().throwIfStopped();
        throw KeyringError("The desktop keyring is locked.");
    }
}

}  // namespace

SecretServiceStore::SecretServiceStore(std::string service, std::function<bool()> sessionBusConfigured)
    : service_(std::move(service)), sessionBusConfigured_(std::move(sessionBusConfigured)) {}

std::optional<std::string> SecretServiceStore::load(std::string_view account, std::stop_token stop) const {
    const Session session(sessionBusConfigured_, service_, account, std::move(stop));
    GError* error = nullptr;
    const ValuePtr value(
        secret_service_lookup_sync(session.service(), &schema, session.attributes(), session.cancellable(), &error));
    if (!value) {
        if (error != nullptr) {
            session.cancel().fail(error, "read the secret");
        }
        session.cancel().throwIfStopped();
        return std::nullopt;
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return std::string(bytes, length);
}

void SecretServiceStore::save(std::string_view bytes, std::string_view account, std::stop_token stop) const {
    const Session session(sessionBusConfigured_, service_, account, std::move(stop));
    unlockDefaultCollection(session);
    const ValuePtr value(secret_value_new(bytes.data(), static_cast<gssize>(bytes.size()), contentType));
    const std::string label = "Nudgerly: " + std::string(account);
    GError* error = nullptr;
    // The service replaces an item with the same attributes in place, so there is no moment without one.
    if (!secret_service_store_sync(session.service(), &schema, session.attributes(), SECRET_COLLECTION_DEFAULT,
                                   label.c_str(), value.get(), session.cancellable(), &error)) {
        session.cancel().fail(error, "store the secret");
    }
}

void SecretServiceStore::remove(std::string_view account, std::stop_token stop) const {
    const Session session(sessionBusConfigured_, service_, account, std::move(stop));
    GError* error = nullptr;
    // Locked items are found too and unlocked through the prompt; one that stays locked cannot be
    // deleted, which is reported rather than passed over.
    const ItemListPtr items(secret_service_search_sync(
        session.service(), &schema, session.attributes(),
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK), session.cancellable(), &error));
    if (error != nullptr) {
        session.cancel().fail(error, "look for the secret");
    }
    for (GList* entry = items.get(); entry != nullptr; entry = entry->next) {
        auto* item = static_cast<SecretItem*>(entry->data);
        if (secret_item_get_locked(item)) {
            session.cancel().throwIfStopped();
            throw KeyringError("The desktop keyring is locked.");
        }
        if (!secret_item_delete_sync(item, session.cancellable(), &error)) {
            session.cancel().fail(error, "delete the secret");
        }
    }
}

}  // namespace nudgerly
