#include "TelHandlers.h"

#include "ApplicationId.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace phone::telhandlers {

namespace {

const QString kMimeType = QStringLiteral("x-scheme-handler/tel");

// The values of the tel: key in each group of an ini-style file.
QMap<QString, QStringList> telEntries(const QByteArray& file)
{
    QMap<QString, QStringList> out;
    QString group;
    for (const QByteArray& raw : file.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']'))
            group = line.mid(1, line.size() - 2);
        else if (line.section(u'=', 0, 0).trimmed() == kMimeType)
            out[group] += line.section(u'=', 1).split(u';', Qt::SkipEmptyParts);
    }
    return out;
}

// The Desktop Entry string escapes (\s \n \t \r \\), then the Exec line's
// quoting: arguments split at spaces, "..." quotes with \" \` \$ \\ inside.
QStringList splitExec(const QString& value)
{
    QString exec;
    static const QMap<QChar, QChar> escapes { { u's', u' ' }, { u'n', u'\n' }, { u't', u'\t' }, { u'r', u'\r' },
        { u'\\', u'\\' } };
    for (qsizetype i = 0; i < value.size(); ++i)
        exec += value[i] == u'\\' && i + 1 < value.size() && escapes.contains(value[i + 1]) ? escapes[value[++i]]
                                                                                            : value[i];
    QStringList args;
    QString arg;
    bool inArg = false, quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted && c == u'\\' && i + 1 < exec.size() && QStringView(u"\"`$\\").contains(exec[i + 1]))
            arg += exec[++i];
        else if (quoted)
            c == u'"' ? void(quoted = false) : void(arg += c);
        else if (c == u' ' || c == u'\t') {
            if (inArg)
                args << std::exchange(arg, {});
            inArg = false;
        } else {
            inArg = true;
            c == u'"' ? void(quoted = true) : void(arg += c);
        }
    }
    if (quoted)
        return {};
    if (inArg)
        args << arg;
    return args;
}

QByteArray readSmallFile(const QString& path, qsizetype limit)
{
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || info.size() > limit || !file.open(QIODevice::ReadOnly))
        return {};
    return file.read(limit);
}

QStringList searchPath(const char* variable, const QString& fallback)
{
    QStringList dirs = qEnvironmentVariable(variable, fallback).split(u':', Qt::SkipEmptyParts);
    return dirs.mid(0, kMaxFolders);
}

} // namespace

bool isOwnDesktopId(const QString& id)
{
    return id.compare(QLatin1String(kApplicationId) + QLatin1String(".desktop"), Qt::CaseInsensitive) == 0
        || id.compare(QLatin1String("dialer.desktop"), Qt::CaseInsensitive) == 0;
}

QStringList candidates(const QList<QByteArray>& mimeappsLists, const QList<QByteArray>& caches)
{
    QStringList out;
    QSet<QString> removed;
    auto add = [&](const QStringList& ids) {
        for (const QString& id : ids)
            if (!removed.contains(id) && !out.contains(id) && out.size() < kMaxCandidates)
                out << id;
    };
    for (const QByteArray& list : mimeappsLists) {
        const auto entries = telEntries(list);
        add(entries.value(QStringLiteral("Default Applications")));
        add(entries.value(QStringLiteral("Added Associations")));
        for (const QString& id : entries.value(QStringLiteral("Removed Associations")))
            removed.insert(id);
    }
    for (const QByteArray& cache : caches)
        add(telEntries(cache).value(QStringLiteral("MIME Cache")));
    return out;
}

QStringList commandFor(const QByteArray& desktopEntry, const QString& url)
{
    QString group, exec;
    for (const QByteArray& raw : desktopEntry.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            group = line;
        else if (group == QLatin1String("[Desktop Entry]") && line.section(u'=', 0, 0).trimmed() == "Hidden"
            && line.section(u'=', 1).trimmed() == "true")
            return {};
        else if (group == QLatin1String("[Desktop Entry]") && line.section(u'=', 0, 0).trimmed() == "Exec")
            exec = line.section(u'=', 1).trimmed();
    }
    QStringList command;
    bool takesUrl = false;
    for (const QString& arg : splitExec(exec)) {
        if (arg == QLatin1String("%u") || arg == QLatin1String("%U")) {
            takesUrl = true;
            command << url;
        } else if (arg.size() != 2 || arg[0] != u'%') { // other field codes go
            command << QString(arg).replace(QLatin1String("%%"), QLatin1String("%"));
        }
    }
    return takesUrl && command.size() > 1 ? command : QStringList();
}

QStringList nextHandlerCommand(const QString& url)
{
    const QStringList config = QStringList { qEnvironmentVariable("XDG_CONFIG_HOME", QDir::homePath() + "/.config") }
        + searchPath("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    QStringList apps { qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + "/.local/share") };
    apps += searchPath("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    for (QString& dir : apps)
        dir += QLatin1String("/applications");
    QList<QByteArray> lists, caches;
    for (const QString& dir : config + apps)
        lists << readSmallFile(dir + "/mimeapps.list", kMaxListBytes);
    for (const QString& dir : apps)
        caches << readSmallFile(dir + "/mimeinfo.cache", kMaxListBytes);
    for (const QString& id : candidates(lists, caches)) {
        if (isOwnDesktopId(id) || id.contains(u'/'))
            continue;
        // The first folder that has the entry is the one that counts.
        for (const QString& dir : apps)
            if (QFileInfo::exists(dir + u'/' + id)) {
                if (QStringList command = commandFor(readSmallFile(dir + u'/' + id, kMaxEntryBytes), url);
                    !command.isEmpty())
                    return command;
                break;
            }
    }
    return {};
}

} // namespace phone::telhandlers
