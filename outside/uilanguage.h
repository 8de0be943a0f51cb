#pragma once
// The language the windows speak. The program is written in Japanese; a desktop in any
// other language gets English. The setting "Language" overrides the desktop's choice; it
// is read once at start, so a change applies from the next start.

#include <QString>

enum class UiLanguage { Japanese, English };

namespace UiLanguageSetting {
// The key in the per-user settings and its three values.
inline const QString Key = QStringLiteral("Language");
inline const QString Auto = QStringLiteral("auto");
inline const QString Japanese = QStringLiteral("ja");
inline const QString English = QStringLiteral("en");
// The stored value in its canonical form: "ja" or "en" in any letter case, else "auto".
QString normalised(const QString &stored);
} // namespace UiLanguageSetting

// setting: the stored "Language" value; localeName: a locale's name as QLocale::name()
// gives it ("ja_JP", "en_GB", "C").
UiLanguage chooseUiLanguage(const QString &setting, const QString &localeName);

// Makes the running application speak the language: the program's own texts and Qt's
// (button boxes, file dialogs). Replaces what an earlier call installed. Returns false
// when a translation the language needs could not be loaded; the texts then stay Japanese
// where the program's own is missing.
bool installUiLanguage(UiLanguage language);
