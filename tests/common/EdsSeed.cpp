#include "EdsSeed.h"

#include <libebook/libebook.h>

#include <chrono>
#include <fstream>
#include <memory>

namespace edsseed {

namespace {

struct GUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GRef = std::unique_ptr<T, GUnref>;

// A call made on a main context of its own, so that what EDS schedules for
// the caller's thread never lands in the test's event loop; the registry and
// clients go before it does.
class Session {
public:
    Session()
        : m_context(g_main_context_new())
    {
        g_main_context_push_thread_default(m_context);
        GError* error = nullptr;
        // Ending the test's bus must not end the test: GLib would.
        GRef<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
        if (bus)
            g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
        else
            fail(error);
        if (m_error.empty())
            m_registry.reset(e_source_registry_new_sync(nullptr, &error));
        if (m_error.empty() && !m_registry)
            fail(error);
    }
    ~Session()
    {
        m_registry.reset();
        while (g_main_context_iteration(m_context, FALSE)) { }
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }

    ESourceRegistry* registry() const { return m_registry.get(); }
    const std::string& error() const { return m_error; }

    // Records what went wrong first, and lets the error go.
    void fail(GError* error)
    {
        if (m_error.empty())
            m_error = error != nullptr ? error->message : "failed without saying why";
        if (error != nullptr)
            g_error_free(error);
    }

    GRef<EBookClient> personal(bool direct)
    {
        if (!m_error.empty())
            return nullptr;
        GRef<ESource> source(e_source_registry_ref_builtin_address_book(registry()));
        GError* error = nullptr;
        EClient* client = direct
            ? e_book_client_connect_direct_sync(registry(), source.get(), static_cast<guint32>(-1), nullptr, &error)
            : e_book_client_connect_sync(source.get(), static_cast<guint32>(-1), nullptr, &error);
        if (client == nullptr)
            fail(error);
        return GRef<EBookClient>(client != nullptr ? E_BOOK_CLIENT(client) : nullptr);
    }

private:
    GMainContext* m_context;
    GRef<ESourceRegistry> m_registry;
    std::string m_error;
};

} // namespace

std::string addPeople(const std::vector<Person>& people)
{
    Session session;
    GRef<EBookClient> book = session.personal(false);
    if (!book)
        return session.error();
    GSList* contacts = nullptr;
    for (const Person& p : people) {
        EContact* contact = e_contact_new();
        if (!p.uid.empty())
            e_contact_set(contact, E_CONTACT_UID, p.uid.c_str());
        e_contact_set(contact, E_CONTACT_FULL_NAME, p.fullName.c_str());
        EContactName* name = e_contact_name_new();
        name->family = g_strdup(p.family.c_str());
        name->given = g_strdup(p.given.c_str());
        e_contact_set(contact, E_CONTACT_NAME, name);
        e_contact_name_free(name);
        for (const auto& [field, number] : { std::pair(E_CONTACT_PHONE_MOBILE, &p.mobile),
                 std::pair(E_CONTACT_PHONE_HOME, &p.home), std::pair(E_CONTACT_PHONE_BUSINESS, &p.work) })
            if (!number->empty())
                e_contact_set(contact, field, number->c_str());
        contacts = g_slist_prepend(contacts, contact);
    }
    contacts = g_slist_reverse(contacts);
    GError* error = nullptr;
    const bool added
        = e_book_client_add_contacts_sync(book.get(), contacts, E_BOOK_OPERATION_FLAG_NONE, nullptr, nullptr, &error);
    g_slist_free_full(contacts, g_object_unref);
    if (!added)
        session.fail(error);
    return session.error();
}

std::string addDamagedBook(const std::string& name, const std::string& dataHome)
{
    Session session;
    if (!session.error().empty())
        return session.error();
    GError* error = nullptr;
    GRef<ESource> source(e_source_new(nullptr, nullptr, &error));
    if (!source) {
        session.fail(error);
        return session.error();
    }
    e_source_set_parent(source.get(), "local-stub");
    e_source_set_display_name(source.get(), name.c_str());
    auto* book = static_cast<ESourceBackend*>(e_source_get_extension(source.get(), E_SOURCE_EXTENSION_ADDRESS_BOOK));
    e_source_backend_set_backend_name(book, "local");
    // The local backend keeps the book in a folder named for its UID: a file
    // there that is no database stops it from opening.
    const std::string folder = dataHome + "/evolution/addressbook/" + e_source_get_uid(source.get());
    if (g_mkdir_with_parents(folder.c_str(), 0700) != 0)
        return "cannot make " + folder;
    std::ofstream(folder + "/contacts.db") << "not a database, as a disk error might leave it\n";
    if (!e_source_registry_commit_source_sync(session.registry(), source.get(), nullptr, &error))
        session.fail(error);
    return session.error();
}

std::string timeListing(double& milliseconds, std::size_t& cards)
{
    Session session;
    GRef<EBookClient> book = session.personal(true);
    if (!book)
        return session.error();
    GSList* contacts = nullptr;
    GError* error = nullptr;
    const auto start = std::chrono::steady_clock::now();
    const bool listed = e_book_client_get_contacts_sync(book.get(), "(exists \"tel\")", &contacts, nullptr, &error);
    milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    cards = g_slist_length(contacts);
    g_slist_free_full(contacts, g_object_unref);
    if (!listed)
        session.fail(error);
    return session.error();
}

} // namespace edsseed
