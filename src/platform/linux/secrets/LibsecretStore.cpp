#include "platform/linux/secrets/LibsecretStore.h"

#include <libsecret/secret.h>
#include <sys/stat.h>

#include <cstdlib>

namespace sayvo {

namespace {

const char* const kAttribute = "name";
const char* const kAttributeValue = "AliyunASRAPIKey";

const SecretSchema* schema() {
    static const SecretSchema value = [] {
        SecretSchema s{};
        s.name = LibsecretStore::schemaName.c_str();
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {kAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &value;
}

GHashTable* attributes() {
    return secret_attributes_build(schema(), kAttribute, kAttributeValue, nullptr);
}

// Without an address GLib would start a bus of its own (X11 autolaunch).
bool sessionBusKnown() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    return runtime && ::stat((std::string(runtime) + "/bus").c_str(), &info) == 0 &&
           S_ISSOCK(info.st_mode);
}

SecretOutcome outcomeOf(const GError* error) {
    if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_IS_LOCKED)) return SecretOutcome::locked;
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_AUTH_FAILED) ||
        g_error_matches(error, G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED) ||
        g_error_matches(error, SECRET_ERROR, SECRET_ERROR_PROTOCOL) ||
        g_error_matches(error, SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT))
        return SecretOutcome::refused;
    return SecretOutcome::unavailable;
}

}  // namespace

struct LibsecretStore::Cancellable {
    GCancellable* object = g_cancellable_new();
    ~Cancellable() {
        g_cancellable_cancel(object);
        g_object_unref(object);
    }
};

struct LibsecretStore::Call {
    enum class Kind { read, write, erase } kind;
    std::string secret;  // to write
    ReadAnswer readAnswer;
    Answer answer;
    GCancellable* cancellable = nullptr;
    SecretService* service = nullptr;

    Call(Kind k, GCancellable* c) : kind(k), cancellable(G_CANCELLABLE(g_object_ref(c))) {}
    ~Call() {
        if (service) g_object_unref(service);
        g_object_unref(cancellable);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    void finish(SecretOutcome outcome, const std::string& found = {}) {
        if (g_cancellable_is_cancelled(cancellable)) return;
        if (readAnswer) readAnswer(outcome, found);
        if (answer) answer(outcome);
    }
    // Takes the error. A cancelled call belongs to a store that is gone.
    void fail(GError* error) {
        const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        const SecretOutcome outcome = outcomeOf(error);
        g_error_free(error);
        if (!cancelled) finish(outcome);
    }

    static void busReady(GObject*, GAsyncResult* result, gpointer data);
    static void ownerKnown(GObject* source, GAsyncResult* result, gpointer data);
    static void serviceReady(GObject*, GAsyncResult* result, gpointer data);
    static void searched(GObject*, GAsyncResult* result, gpointer data);
    static void stored(GObject*, GAsyncResult* result, gpointer data);
    static void cleared(GObject*, GAsyncResult* result, gpointer data);
};

void LibsecretStore::Call::busReady(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_finish(result, &error);
    if (!bus) return call->fail(error);
    // GLib would end the whole process when the session bus goes; the
    // keyring going with it is one more outcome.
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    GCancellable* cancellable = call->cancellable;
    g_dbus_connection_call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner",
                           g_variant_new("(s)", "org.freedesktop.secrets"), G_VARIANT_TYPE("(b)"),
                           G_DBUS_CALL_FLAGS_NONE, -1, cancellable, ownerKnown, call.release());
    g_object_unref(bus);
}

void LibsecretStore::Call::ownerKnown(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!reply) return call->fail(error);
    gboolean running = FALSE;
    g_variant_get(reply, "(b)", &running);
    g_variant_unref(reply);
    if (!running) return call->finish(SecretOutcome::unavailable);
    GCancellable* cancellable = call->cancellable;
    // A fresh proxy each time: libsecret's shared one outlives a keyring that
    // restarts, and its session with it.
    secret_service_open(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION, cancellable,
                        serviceReady, call.release());
}

void LibsecretStore::Call::serviceReady(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    GError* error = nullptr;
    call->service = secret_service_open_finish(result, &error);
    if (!call->service) return call->fail(error);
    SecretService* service = call->service;
    GCancellable* cancellable = call->cancellable;
    GHashTable* attrs = attributes();
    switch (call->kind) {
        case Kind::read:
        case Kind::erase: {
            // Unlocked first: libsecret's clear skips a locked item and calls it done.
            const int flags = call->kind == Kind::read
                                  ? SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS
                                  : SECRET_SEARCH_UNLOCK | SECRET_SEARCH_ALL;
            secret_service_search(service, schema(), attrs, static_cast<SecretSearchFlags>(flags),
                                  cancellable, searched, call.release());
            break;
        }
        case Kind::write: {
            SecretValue* value = secret_value_new(call->secret.c_str(), -1, "text/plain");
            secret_service_store(service, schema(), attrs, SECRET_COLLECTION_DEFAULT,
                                 LibsecretStore::label.c_str(), value, cancellable, stored,
                                 call.release());
            secret_value_unref(value);
            break;
        }
    }
    g_hash_table_unref(attrs);
}

void LibsecretStore::Call::searched(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    GError* error = nullptr;
    GList* items = secret_service_search_finish(call->service, result, &error);
    if (error) return call->fail(error);
    if (call->kind == Kind::erase) {
        bool locked = false;
        for (GList* it = items; it; it = it->next)
            locked |= secret_item_get_locked(SECRET_ITEM(it->data));
        g_list_free_full(items, g_object_unref);
        if (locked) return call->finish(SecretOutcome::locked);
        SecretService* service = call->service;
        GCancellable* cancellable = call->cancellable;
        GHashTable* attrs = attributes();
        secret_service_clear(service, schema(), attrs, cancellable, cleared, call.release());
        g_hash_table_unref(attrs);
        return;
    }
    // An unlocked copy answers; a locked one means the user left it locked.
    SecretOutcome outcome = items ? SecretOutcome::locked : SecretOutcome::notFound;
    std::string found;
    for (GList* it = items; it && outcome != SecretOutcome::done; it = it->next) {
        SecretItem* item = SECRET_ITEM(it->data);
        if (secret_item_get_locked(item)) continue;
        SecretValue* value = secret_item_get_secret(item);
        if (!value) {
            outcome = SecretOutcome::refused;
            continue;
        }
        gsize length = 0;
        const gchar* text = secret_value_get(value, &length);
        found.assign(text, length);
        secret_value_unref(value);
        outcome = SecretOutcome::done;
    }
    g_list_free_full(items, g_object_unref);
    call->finish(outcome, found);
}

void LibsecretStore::Call::stored(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    GError* error = nullptr;
    if (!secret_service_store_finish(call->service, result, &error)) return call->fail(error);
    call->finish(SecretOutcome::done);
}

void LibsecretStore::Call::cleared(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Call> call(static_cast<Call*>(data));
    GError* error = nullptr;
    // False without an error: there was nothing to remove.
    secret_service_clear_finish(call->service, result, &error);
    if (error) return call->fail(error);
    call->finish(SecretOutcome::done);
}

LibsecretStore::LibsecretStore(Scheduler& scheduler, bool mainLoopRunsGLib)
    : scheduler_(scheduler),
      usable_(mainLoopRunsGLib),
      cancellable_(std::make_unique<Cancellable>()) {}

LibsecretStore::~LibsecretStore() = default;

void LibsecretStore::read(ReadAnswer answer) {
    auto call = std::make_unique<Call>(Call::Kind::read, cancellable_->object);
    call->readAnswer = std::move(answer);
    start(std::move(call));
}

void LibsecretStore::write(const std::string& secret, Answer answer) {
    auto call = std::make_unique<Call>(Call::Kind::write, cancellable_->object);
    call->secret = secret;
    call->answer = std::move(answer);
    start(std::move(call));
}

void LibsecretStore::erase(Answer answer) {
    auto call = std::make_unique<Call>(Call::Kind::erase, cancellable_->object);
    call->answer = std::move(answer);
    start(std::move(call));
}

void LibsecretStore::start(std::unique_ptr<Call> call) {
    if (!usable_ || !sessionBusKnown()) {
        scheduler_.post([call = std::shared_ptr<Call>(std::move(call))] {
            call->finish(SecretOutcome::unavailable);
        });
        return;
    }
    GCancellable* cancellable = call->cancellable;
    g_bus_get(G_BUS_TYPE_SESSION, cancellable, Call::busReady, call.release());
}

}  // namespace sayvo
