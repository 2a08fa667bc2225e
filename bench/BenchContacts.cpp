// How long a pick takes to start and to answer a keystroke, with address
// books of 1,000, 10,000 and 100,000 cards, stored one card per file (as
// sync tools do) and all in one exported file. Goals: 10,000 contacts open
// and shown in well under 100 ms; every keystroke under 16 ms at 100,000.

#include "ContactChooser.h"
#include "ContactStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <vector>

namespace {

const char* const kGiven[] = { "María", "Mario", "Marianne", "Anna", "Ben", "Chen", "Zoë", "Jürgen", "Olga", "Sam",
    "Marta", "Tomás", "Ingrid", "Kofi", "Priya", "Lena" };
const char* const kFamily[] = { "Ortega", "Rossi", "Weber", "Marx", "Becker", "Wei", "Müller", "Smith", "Ivanova",
    "Lee", "García", "Nakamura", "Okafor", "Patel", "Novak", "Dubois" };

QByteArray quotedPrintable(const QByteArray& utf8)
{
    QByteArray out;
    for (const char c : utf8)
        out += QByteArray("=") + QByteArray::number(static_cast<unsigned char>(c), 16).toUpper().rightJustified(2, '0');
    return out;
}

// Three shapes of card in turn: an Android 2.1 export, an iPhone 3.0 export
// and a CardDAV 4.0 card.
QByteArray makeCard(int i)
{
    const QByteArray given = kGiven[i % 16];
    const QByteArray family = QByteArray(kFamily[(i / 16) % 16]) + QByteArray::number(i / 256);
    const QByteArray number = "+1 555 " + QByteArray::number(1000000 + i).right(7);
    switch (i % 3) {
    case 0:
        return "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + quotedPrintable(family)
            + ";" + quotedPrintable(given)
            + ";;;\r\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + quotedPrintable(given + " " + family)
            + "\r\nTEL;HOME:+1 555 0100\r\nTEL;CELL:" + number + "\r\nEND:VCARD\r\n";
    case 1:
        return "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Apple Inc.//iPhone OS 17.1//EN\r\nN:" + family + ";" + given
            + ";;;\r\nFN:" + given + " " + family + "\r\nitem1.TEL:" + number
            + "\r\nitem1.X-ABLabel:_$!<Mobile>!$_\r\nTEL;type=WORK;type=VOICE:(555) 010-2003\r\n"
              "item2.EMAIL;type=INTERNET:someone@example.com\r\nEND:VCARD\r\n";
    default:
        return "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:urn:uuid:" + QByteArray::number(i) + "-4fbe-8971\r\nFN:" + given + " "
            + family + "\r\nN;SORT-AS=\"" + family + "," + given + "\":" + family + ";" + given
            + ";;;\r\nTEL;VALUE=uri;TYPE=\"cell,voice\":tel:" + number + "\r\nREV:20231104T101010Z\r\nEND:VCARD\r\n";
    }
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

// Wall time, and CPU time that a busy machine does not inflate: the
// process's for the (threaded) open, the GUI thread's for the rest.
struct Clock {
    QElapsedTimer wall;
    double cpuStart = 0;
    clockid_t id = CLOCK_THREAD_CPUTIME_ID;

    static double cpuNow(clockid_t id)
    {
        timespec ts {};
        clock_gettime(id, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    }
    void restart(clockid_t which = CLOCK_THREAD_CPUTIME_ID)
    {
        id = which;
        cpuStart = cpuNow(id);
        wall.start();
    }
    double wallMs() const { return static_cast<double>(wall.nsecsElapsed()) / 1e6; }
    double cpuMs() const { return cpuNow(id) - cpuStart; }
};

struct Timing {
    double wall = 0;
    double cpu = 0;
};

struct Row {
    int size;
    const char* layout;
    Timing open;
    Timing show;
    Timing keyAvg;
    Timing keyWorst;
};

Row measure(int size, const char* layout, const QString& folder)
{
    Row row { size, layout, {}, {}, {}, {} };
    Clock t;
    t.restart(CLOCK_PROCESS_CPUTIME_ID);
    const auto store = ContactStore::open({ folder });
    row.open = { t.wallMs(), t.cpuMs() };
    if (store->contacts().size() != static_cast<std::size_t>(size))
        qFatal("read %zu of %d contacts", store->contacts().size(), size);

    t.restart();
    ContactChooser chooser(*store);
    chooser.show();
    QCoreApplication::processEvents();
    auto* list = chooser.findChild<QListView*>();
    list->viewport()->repaint();
    row.show = { t.wallMs(), t.cpuMs() };

    // One keystroke: the search, the list laid out again and its visible rows
    // painted.
    auto* search = chooser.findChild<QLineEdit*>();
    const char* const typed[] = { "m", "ma", "mar", "mari", "maria", "mari", "mar", "555 12", "555 123", "" };
    for (const char* text : typed) {
        t.restart();
        search->setText(QString::fromUtf8(text));
        QCoreApplication::processEvents();
        list->viewport()->repaint();
        const Timing one { t.wallMs(), t.cpuMs() };
        row.keyAvg.wall += one.wall / std::size(typed);
        row.keyAvg.cpu += one.cpu / std::size(typed);
        row.keyWorst.wall = std::max(row.keyWorst.wall, one.wall);
        row.keyWorst.cpu = std::max(row.keyWorst.cpu, one.cpu);
    }
    return row;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::vector<Row> rows;
    for (const int size : { 1000, 10000, 100000 }) {
        QTemporaryDir dir;
        const QString perCard = dir.path() + "/per-card";
        const QString oneFile = dir.path() + "/one-file";
        QDir().mkpath(perCard);
        QDir().mkpath(oneFile);
        QByteArray all;
        for (int i = 0; i < size; ++i) {
            const QByteArray c = makeCard(i);
            writeFile(perCard + QStringLiteral("/%1.vcf").arg(i), c);
            all += c;
        }
        writeFile(oneFile + "/contacts.vcf", all);
        rows.push_back(measure(size, "file per card", perCard));
        rows.push_back(measure(size, "one file", oneFile));
    }

    std::printf("milliseconds, wall / cpu\n");
    std::printf(
        "%9s  %-13s  %17s  %15s  %13s  %13s\n", "contacts", "layout", "open", "chooser shown", "key avg", "key worst");
    for (const Row& r : rows) {
        std::printf("%9d  %-13s  %8.1f / %6.1f  %7.1f / %5.1f  %5.2f / %5.2f  %5.2f / %5.2f\n", r.size, r.layout,
            r.open.wall, r.open.cpu, r.show.wall, r.show.cpu, r.keyAvg.wall, r.keyAvg.cpu, r.keyWorst.wall,
            r.keyWorst.cpu);
    }
    std::printf("keystrokes: m, ma, mar, mari, maria, backspace, backspace, \"555 12\", \"555 123\", cleared\n");
    return 0;
}
