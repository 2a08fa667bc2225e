#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <array>
#include <memory>

// The .qm files are built from translations/*.ts and embedded, so the program
// finds them from the build tree and when installed alike.
static void initTranslationResources()
{
    Q_INIT_RESOURCE(i18n);
}

void installTranslations(const QLocale& locale)
{
    static std::array<std::unique_ptr<QTranslator>, 2> installed;
    for (std::unique_ptr<QTranslator>& t : installed)
        if (t) {
            QCoreApplication::removeTranslator(t.get());
            t.reset();
        }
    // The texts are English as written: an English or C locale, the usual
    // one, needs no file read at start.
    const QStringList languages = locale.uiLanguages();
    if (languages.isEmpty() || languages.front() == u'C' || QLocale(languages.front()).language() == QLocale::English)
        return;
    initTranslationResources();
    const std::array<std::pair<QString, QString>, 2> sources { {
        { QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath) },
        { QStringLiteral("dialer"), QStringLiteral(":/i18n") },
    } };
    for (std::size_t i = 0; i < sources.size(); ++i) {
        auto translator = std::make_unique<QTranslator>();
        // Tries every language of the locale's list (LANGUAGE, then LC_ALL,
        // LC_MESSAGES, LANG as Qt reads them), each as es_ES, then es.
        if (translator->load(locale, sources[i].first, QStringLiteral("_"), sources[i].second)) {
            QCoreApplication::installTranslator(translator.get());
            installed[i] = std::move(translator);
        }
    }
}

QString templateText(const QString& text)
{
    return QCoreApplication::translate("DialogTemplates", text.toUtf8().constData());
}
