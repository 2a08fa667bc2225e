#include "EdsSeed.h"

#include <libebook/libebook.h>

#include <chrono>

namespace edsseed {
namespace {

// The built-in "Personal" book, with EDS's news for this thread on a context
// of its own, not the caller's event loop.
class PersonalBook {
public:
    explicit PersonalBook(bool direct)
    {
        g_main_context_push_thread_default(m_context);
        m_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &m_error);
        if (m_bus != nullptr) // ending the test's bus must not end the test, as GLib would
            g_dbus_connection_set_exit_on_close(m_bus, FALSE);
        // Kept, as the dialer keeps its own: EDS's registry made again too soon after
        // its last reference went can come back without its sources.
        static ESourceRegistry* registry = nullptr;
        if (registry == nullptr && m_error == nullptr)
            registry = e_source_registry_new_sync(nullptr, &m_error);
        m_source = registry != nullptr ? e_source_registry_ref_builtin_address_book(registry) : nullptr;
        if (m_source != nullptr)
            m_book = direct ? e_book_client_connect_direct_sync(registry, m_source, guint32(-1), nullptr, &m_error)
                            : e_book_client_connect_sync(m_source, guint32(-1), nullptr, &m_error);
    }
    PersonalBook(const PersonalBook&) = delete;
    PersonalBook& operator=(const PersonalBook&) = delete;
    ~PersonalBook()
    {
        g_clear_error(&m_error);
        for (gpointer object : { gpointer(m_book), gpointer(m_source), gpointer(m_bus) })
            if (object != nullptr)
                g_object_unref(object);
        while (g_main_context_iteration(m_context, FALSE)) { }
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }

    EBookClient* book() const { return m_book != nullptr ? E_BOOK_CLIENT(m_book) : nullptr; }
    GError** error() { return &m_error; }
    // Empty, or what went wrong.
    std::string failed() const { return m_error != nullptr ? m_error->message : ""; }

private:
    GMainContext* m_context = g_main_context_new();
    GError* m_error = nullptr;
    GDBusConnection* m_bus = nullptr;
    ESource* m_source = nullptr;
    EClient* m_book = nullptr;
};

} // namespace

std::string addPeople(const std::vector<Person>& people)
{
    PersonalBook personal(false);
    GSList* contacts = nullptr;
    for (const Person& p : people) {
        EContact* contact = e_contact_new();
        for (const auto& [field, value] : { std::pair(E_CONTACT_UID, &p.uid), { E_CONTACT_FULL_NAME, &p.fullName },
                 { E_CONTACT_FAMILY_NAME, &p.family }, { E_CONTACT_GIVEN_NAME, &p.given },
                 { E_CONTACT_PHONE_MOBILE, &p.mobile }, { E_CONTACT_PHONE_HOME, &p.home },
                 { E_CONTACT_PHONE_BUSINESS, &p.work } })
            if (!value->empty())
                e_contact_set(contact, field, value->c_str());
        contacts = g_slist_prepend(contacts, contact);
    }
    contacts = g_slist_reverse(contacts);
    if (personal.book() != nullptr)
        e_book_client_add_contacts_sync(
            personal.book(), contacts, E_BOOK_OPERATION_FLAG_NONE, nullptr, nullptr, personal.error());
    g_slist_free_full(contacts, g_object_unref);
    return personal.failed();
}

std::string timeListing(double& milliseconds, std::size_t& cards)
{
    PersonalBook personal(true);
    GSList* contacts = nullptr;
    const auto start = std::chrono::steady_clock::now();
    if (personal.book() != nullptr)
        e_book_client_get_contacts_sync(personal.book(), "(exists \"tel\")", &contacts, nullptr, personal.error());
    milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    cards = g_slist_length(contacts);
    g_slist_free_full(contacts, g_object_unref);
    return personal.failed();
}

} // namespace edsseed
