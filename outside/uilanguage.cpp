#include "uilanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include <vector>

QString UiLanguageSetting::normalised(const QString &stored)
{
    const QString value = stored.trimmed().toLower();
    if (value == Japanese || value == English)
        return value;
    return Auto;
}

UiLanguage chooseUiLanguage(const QString &setting, const QString &localeName)
{
    const QString chosen = UiLanguageSetting::normalised(setting);
    if (chosen == UiLanguageSetting::Japanese)
        return UiLanguage::Japanese;
    if (chosen == UiLanguageSetting::English)
        return UiLanguage::English;
    // "ja", "ja_JP", "ja-JP": the language part alone decides.
    return localeName.section(QLatin1Char('_'), 0, 0).section(QLatin1Char('-'), 0, 0).compare(
               QLatin1String("ja"), Qt::CaseInsensitive) == 0
        ? UiLanguage::Japanese
        : UiLanguage::English;
}

namespace {
std::vector<QPointer<QTranslator>> &installed()
{
    static std::vector<QPointer<QTranslator>> translators;
    return translators;
}

bool install(const QString &name, const QString &folder)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(name, folder)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed().emplace_back(translator);
    return true;
}
} // namespace

bool installUiLanguage(UiLanguage language)
{
    for (const QPointer<QTranslator> &translator : installed()) {
        if (translator) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }
    installed().clear();

    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (language == UiLanguage::Japanese)
        return install(QStringLiteral("qtbase_ja"), qtFolder);
    // Built into the program, so no installed file can go missing or stale. Qt's own
    // texts are English already; its catalogue adds only the plural forms.
    install(QStringLiteral("qtbase_en"), qtFolder);
    return install(QStringLiteral("lumo_en"), QStringLiteral(":/i18n"));
}
