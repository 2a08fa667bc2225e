#include "EdsContacts.h"

// GLib names a struct member `signals`, which Qt would take for its keyword:
// this file includes no Qt header.
#include <libebook/libebook.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <sys/stat.h>

namespace {

using Clock = std::chrono::steady_clock;

// The registry's name on the bus, as EDS 3.46 owns it.
constexpr const char* kRegistryName = "org.gnome.evolution.dataserver.Sources5";
// Only a card with a number can be picked.
constexpr const char* kWithNumber = "(exists \"tel\")";

// A GLib object or error, let go when it goes out of scope.
struct GUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GRef = std::unique_ptr<T, GUnref>;
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

std::string xdgFolder(const char* variable, const char* underHome)
{
    const char* set = std::getenv(variable);
    if (set != nullptr && set[0] == '/')
        return set;
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + underHome;
}

// Whether `folder` lists an entry whose name ends in `suffix`.
bool listsEntry(const std::string& folder, std::string_view suffix)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return false;
    bool found = false;
    while (const dirent* entry = found ? nullptr : ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        found = name != "." && name != ".." && name.size() >= suffix.size()
            && name.substr(name.size() - suffix.size()) == suffix;
    }
    ::closedir(dir);
    return found;
}

// EDS's registry writes a source file for each book and account it knows of,
// and each local book keeps its own folder.
bool usedBefore()
{
    return listsEntry(xdgFolder("XDG_CONFIG_HOME", "/.config") + "/evolution/sources", ".source")
        || listsEntry(xdgFolder("XDG_DATA_HOME", "/.local/share") + "/evolution/addressbook", "");
}

// Where GLib would find the session bus without starting one: an address
// given, or the bus socket in $XDG_RUNTIME_DIR. Past those GLib would launch
// a bus of its own, which a pick must not.
bool hasSessionBus()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && address[0] != '\0')
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st { };
    return runtime != nullptr && runtime[0] == '/' && ::stat((std::string(runtime) + "/bus").c_str(), &st) == 0
        && S_ISSOCK(st.st_mode);
}

// The main context EDS's registry tells its news to: its own, drained by
// each reading, never the GUI thread's.
GMainContext* registryContext()
{
    static GMainContext* const context = g_main_context_new();
    return context;
}

// EDS's registry is one object per process. Made again just after its last
// reference went, it can come back without its sources (EDS 3.46), and a pick
// would list no book at all: so one is made on first use and kept for the
// life of the process, as EDS's own programs keep theirs. It follows the
// registry daemon by itself, on a thread of its own.
GRef<ESourceRegistry> sharedRegistry(GCancellable* cancellable, GError** error)
{
    static std::mutex mutex;
    static ESourceRegistry* registry = nullptr;
    std::lock_guard lock(mutex);
    if (registry == nullptr) {
        g_main_context_push_thread_default(registryContext());
        registry = e_source_registry_new_sync(cancellable, error);
        g_main_context_pop_thread_default(registryContext());
    }
    return GRef<ESourceRegistry>(registry != nullptr ? E_SOURCE_REGISTRY(g_object_ref(registry)) : nullptr);
}

} // namespace

struct EdsReading::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    EdsDeadlines deadlines;

    // Written by the reading thread.
    bool done = false; // and its GLib objects let go
    bool complete = false; // every book is in `books`
    bool inUse = true;
    std::vector<std::string> names; // of the books to read, once listed
    std::vector<EdsBook> books; // those read or given up so far
    std::size_t found = 0;
    bool stepping = false; // a step is under way
    std::string step; // the book it is for; empty for EDS itself
    Clock::time_point deadline;
    GCancellable* cancellable = nullptr; // the step's, while it is under way

    // Written by the waiter.
    bool timedOut = false; // the step under way was cancelled for its deadline
    bool leftBehind = false; // nobody waits any more

    ~Shared()
    {
        if (cancellable != nullptr)
            g_object_unref(cancellable);
    }
};

namespace {

using Shared = EdsReading::Shared;

// Starts a step that the waiter cancels at its deadline; its cancellable.
GRef<GCancellable> beginStep(Shared& s, const std::string& book, std::chrono::milliseconds budget)
{
    GRef<GCancellable> cancellable(g_cancellable_new());
    std::lock_guard lock(s.mutex);
    s.stepping = true;
    s.step = book;
    s.deadline = Clock::now() + budget;
    s.timedOut = false;
    s.cancellable = G_CANCELLABLE(g_object_ref(cancellable.get()));
    s.changed.notify_all();
    return cancellable;
}

// Ends the step under way: with `book` when it gave one up.
void endStep(Shared& s, EdsBook* book, const GErrorPtr& error)
{
    std::lock_guard lock(s.mutex);
    if (book != nullptr && error) {
        const bool cancelled = g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_CANCELLED);
        book->status = cancelled && s.timedOut ? EdsBook::Status::TimedOut : EdsBook::Status::Failed;
        book->detail = error->message;
    }
    s.stepping = false;
    g_clear_object(&s.cancellable);
}

// Hands a book over; after the last one the waiter need wait no more.
void publish(Shared& s, EdsBook book, bool last = false)
{
    std::lock_guard lock(s.mutex);
    s.found += book.cards.size();
    s.books.push_back(std::move(book));
    s.complete = last;
    s.changed.notify_all();
}

bool leftBehind(Shared& s)
{
    std::lock_guard lock(s.mutex);
    return s.leftBehind;
}

// The vCards of the book's cards that have a number. EDS hands its cards over
// unparsed: their text is taken as it is stored, and read by our own reader
// like any other card.
void readBook(Shared& s, ESourceRegistry* registry, ESource* source, bool first, EdsBook& book)
{
    GError* error = nullptr;
    GRef<GCancellable> cancellable = beginStep(s, book.name, first ? s.deadlines.firstBook : s.deadlines.book);
    // Reads the book's own file in this process where its backend allows it,
    // else over D-Bus. A book of a remote account is not waited for to
    // connect: its cached cards are listed.
    GRef<EClient> client(
        e_book_client_connect_direct_sync(registry, source, static_cast<guint32>(-1), cancellable.get(), &error));
    endStep(s, &book, GErrorPtr(error));
    if (!client || leftBehind(s))
        return;

    cancellable = beginStep(s, book.name, s.deadlines.cards);
    GSList* contacts = nullptr;
    error = nullptr;
    e_book_client_get_contacts_sync(E_BOOK_CLIENT(client.get()), kWithNumber, &contacts, cancellable.get(), &error);
    book.cards.reserve(g_slist_length(contacts));
    for (GSList* item = contacts; item != nullptr; item = item->next) {
        gchar* vcard = e_vcard_to_string(E_VCARD(item->data), EVC_FORMAT_VCARD_30);
        book.cards.emplace_back(vcard != nullptr ? vcard : "");
        g_free(vcard);
    }
    book.made.reset(contacts, [](void* list) { g_slist_free_full(static_cast<GSList*>(list), g_object_unref); });
    endStep(s, &book, GErrorPtr(error));
}

// The enabled address books: the built-in one first, then by name.
std::vector<GRef<ESource>> addressBooks(ESourceRegistry* registry)
{
    std::vector<GRef<ESource>> books;
    GList* enabled = e_source_registry_list_enabled(registry, E_SOURCE_EXTENSION_ADDRESS_BOOK);
    for (GList* item = enabled; item != nullptr; item = item->next)
        books.emplace_back(E_SOURCE(item->data)); // takes the list's reference
    g_list_free(enabled);
    GRef<ESource> builtin(e_source_registry_ref_builtin_address_book(registry));
    const auto rank = [&](const GRef<ESource>& s) { return builtin && e_source_equal(s.get(), builtin.get()) ? 0 : 1; };
    std::stable_sort(books.begin(), books.end(), [&](const GRef<ESource>& a, const GRef<ESource>& b) {
        if (rank(a) != rank(b))
            return rank(a) < rank(b);
        return g_utf8_collate(e_source_get_display_name(a.get()), e_source_get_display_name(b.get())) < 0;
    });
    return books;
}

void read(Shared& s)
{
    // Whether EDS is in use is asked of the bus, which starts nothing.
    GError* error = nullptr;
    GRef<GCancellable> cancellable = beginStep(s, {}, s.deadlines.registry);
    GRef<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, cancellable.get(), &error));
    GErrorPtr failed(error);
    // The bus ending is no reason for the program to end with it, which is
    // what GLib does by default to a process on the session bus.
    if (bus)
        g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
    bool inUse = usedBefore();
    if (bus && !inUse) {
        error = nullptr;
        GVariant* owned = g_dbus_connection_call_sync(bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
            "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", kRegistryName), G_VARIANT_TYPE("(b)"),
            G_DBUS_CALL_FLAGS_NONE, -1, cancellable.get(), &error);
        failed.reset(error);
        if (owned != nullptr) {
            gboolean answer = FALSE;
            g_variant_get(owned, "(b)", &answer);
            inUse = answer;
            g_variant_unref(owned);
        }
    }
    if (!inUse) {
        endStep(s, nullptr, failed);
        std::lock_guard lock(s.mutex);
        s.inUse = false;
        return;
    }

    error = nullptr;
    GRef<ESourceRegistry> registry = failed ? nullptr : sharedRegistry(cancellable.get(), &error);
    if (!failed)
        failed.reset(error);
    EdsBook eds;
    endStep(s, &eds, failed);
    if (!registry) {
        publish(s, std::move(eds));
        return;
    }
    const std::vector<GRef<ESource>> sources = addressBooks(registry.get());
    {
        std::lock_guard lock(s.mutex);
        for (const GRef<ESource>& source : sources)
            s.names.emplace_back(e_source_get_display_name(source.get()));
    }
    for (std::size_t i = 0; i < sources.size() && !leftBehind(s); ++i) {
        EdsBook book;
        book.name = e_source_get_display_name(sources[i].get());
        readBook(s, registry.get(), sources[i].get(), i == 0, book);
        publish(s, std::move(book), i + 1 == sources.size());
    }
}

} // namespace

std::unique_ptr<EdsReading> EdsReading::start(const EdsDeadlines& deadlines)
{
    if (!hasSessionBus())
        return nullptr;
    auto shared = std::make_shared<Shared>();
    shared->deadlines = deadlines;
    try {
        std::thread([shared] {
            // EDS hands its signals to the thread-default context of the
            // thread that makes its objects: this thread's own, never the GUI
            // thread's, and what is left in it goes with it.
            GMainContext* context = g_main_context_new();
            g_main_context_push_thread_default(context);
            read(*shared);
            for (GMainContext* news : { context, registryContext() }) {
                if (g_main_context_acquire(news)) {
                    while (g_main_context_iteration(news, FALSE)) { }
                    g_main_context_release(news);
                }
            }
            g_main_context_pop_thread_default(context);
            g_main_context_unref(context);
            std::lock_guard lock(shared->mutex);
            shared->done = true;
            shared->changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    return std::unique_ptr<EdsReading>(new EdsReading(std::move(shared)));
}

EdsReading::EdsReading(std::shared_ptr<Shared> shared)
    : m_shared(std::move(shared))
{
}

// A reading nobody waits for ends by itself: its step is cancelled, and the
// thread stops before the next.
EdsReading::~EdsReading()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->leftBehind = true;
    if (m_shared->cancellable != nullptr)
        g_cancellable_cancel(m_shared->cancellable);
}

std::vector<EdsBook> EdsReading::wait(
    const std::atomic<bool>& cancel, const std::function<void(int, std::size_t)>& progress)
{
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    for (;;) {
        if (cancel) {
            s.leftBehind = true;
            if (s.cancellable != nullptr)
                g_cancellable_cancel(s.cancellable);
            return {};
        }
        if (s.done || s.complete)
            return s.inUse ? std::move(s.books) : std::vector<EdsBook> {};
        const Clock::time_point now = Clock::now();
        if (s.stepping && now >= s.deadline && !s.timedOut && s.cancellable != nullptr) {
            s.timedOut = true;
            g_cancellable_cancel(s.cancellable);
        }
        if (s.stepping && now >= s.deadline + s.deadlines.grace) {
            // A step that ignores its cancellation: its book, and those after
            // it, are given up, and the thread is left to end by itself.
            s.leftBehind = true;
            std::vector<EdsBook> books = std::move(s.books);
            books.push_back({ s.step, EdsBook::Status::TimedOut, {}, {}, {} });
            for (std::size_t i = books.size(); i < s.names.size(); ++i)
                books.push_back({ s.names[i], EdsBook::Status::NotReached, {}, {}, {} });
            return books;
        }
        const std::size_t listed = s.names.size();
        const int permille = listed == 0 ? 0 : static_cast<int>(1000 * s.books.size() / listed);
        const std::size_t found = s.found;
        lock.unlock();
        if (progress)
            progress(permille, found);
        lock.lock();
        // Woken by the thread, or a few times a second for the caller's
        // cancel and the deadline.
        const Clock::time_point next = !s.stepping ? Clock::time_point::max()
            : s.timedOut                           ? s.deadline + s.deadlines.grace
                                                   : s.deadline;
        s.changed.wait_until(lock, std::min(Clock::now() + std::chrono::milliseconds(50), next));
    }
}
