#include "EdsSeed.h"

#include <libebook/libebook.h>

namespace edsseed {

std::string addPeople(const std::vector<Person>& people)
{
    // EDS's news for this thread go to a context of their own, not the test's event loop.
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus != nullptr) // ending the test's bus must not end the test, as GLib would
        g_dbus_connection_set_exit_on_close(bus, FALSE);
    // Kept, as the dialer keeps its own: EDS's registry made again too soon after
    // its last reference went can come back without its sources.
    static ESourceRegistry* registry = nullptr;
    if (registry == nullptr && error == nullptr)
        registry = e_source_registry_new_sync(nullptr, &error);
    ESource* source = registry != nullptr ? e_source_registry_ref_builtin_address_book(registry) : nullptr;
    EClient* book
        = source != nullptr ? e_book_client_connect_sync(source, static_cast<guint32>(-1), nullptr, &error) : nullptr;
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
    if (book != nullptr)
        e_book_client_add_contacts_sync(
            E_BOOK_CLIENT(book), contacts, E_BOOK_OPERATION_FLAG_NONE, nullptr, nullptr, &error);
    const std::string failed = error != nullptr ? error->message : "";
    g_clear_error(&error);
    g_slist_free_full(contacts, g_object_unref);
    for (gpointer object : { gpointer(book), gpointer(source), gpointer(bus) })
        if (object != nullptr)
            g_object_unref(object);
    while (g_main_context_iteration(context, FALSE)) { }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return failed;
}

} // namespace edsseed
