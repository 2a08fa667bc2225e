#include "EdsListing.h"

// libebook alone, with no Qt header: GLib's `signals` is Qt's keyword.
#include <libebook/libebook.h>

#include <chrono>

std::string timeEdsListing(double& milliseconds, std::size_t& cards)
{
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GError* error = nullptr;
    // The registry made first by the bench's seeding, which keeps it.
    ESourceRegistry* registry = e_source_registry_new_sync(nullptr, &error);
    ESource* source = registry != nullptr ? e_source_registry_ref_builtin_address_book(registry) : nullptr;
    EClient* book = source != nullptr
        ? e_book_client_connect_direct_sync(registry, source, static_cast<guint32>(-1), nullptr, &error)
        : nullptr;
    GSList* contacts = nullptr;
    const auto start = std::chrono::steady_clock::now();
    if (book != nullptr)
        e_book_client_get_contacts_sync(E_BOOK_CLIENT(book), "(exists \"tel\")", &contacts, nullptr, &error);
    milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    cards = g_slist_length(contacts);
    g_slist_free_full(contacts, g_object_unref);
    const std::string failed = error != nullptr ? error->message : "";
    g_clear_error(&error);
    for (gpointer object : { gpointer(book), gpointer(source), gpointer(registry) })
        if (object != nullptr)
            g_object_unref(object);
    while (g_main_context_iteration(context, FALSE)) { }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return failed;
}
