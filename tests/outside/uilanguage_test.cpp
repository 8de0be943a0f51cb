// Which language the windows speak, from the setting and the desktop's locale.

#include "outside/uilanguage.h"

#include <gtest/gtest.h>

namespace {
struct Case
{
    const char *setting;
    const char *locale;
    UiLanguage expected;
};

const Case Cases[] = {
    // The desktop decides while the setting is automatic.
    {"auto", "ja_JP", UiLanguage::Japanese},
    {"auto", "ja", UiLanguage::Japanese},
    {"auto", "ja-JP", UiLanguage::Japanese},
    {"auto", "JA_jp", UiLanguage::Japanese},
    {"auto", "en_US", UiLanguage::English},
    {"auto", "en_GB", UiLanguage::English},
    {"auto", "de_DE", UiLanguage::English},
    {"auto", "zh_CN", UiLanguage::English},
    {"auto", "C", UiLanguage::English},
    {"auto", "", UiLanguage::English},
    // A language that merely starts with "ja" is another one.
    {"auto", "jam_JM", UiLanguage::English},
    {"auto", "jv_ID", UiLanguage::English},
    // The setting overrides the desktop, both ways.
    {"ja", "en_US", UiLanguage::Japanese},
    {"ja", "ja_JP", UiLanguage::Japanese},
    {"en", "ja_JP", UiLanguage::English},
    {"en", "fr_FR", UiLanguage::English},
    {"EN", "ja_JP", UiLanguage::English},
    {" ja ", "en_US", UiLanguage::Japanese},
    // Missing, empty or hand-edited nonsense counts as automatic.
    {"", "ja_JP", UiLanguage::Japanese},
    {"", "en_US", UiLanguage::English},
    {"english", "ja_JP", UiLanguage::Japanese},
    {"japanese", "en_US", UiLanguage::English},
    {"ja_JP", "en_US", UiLanguage::English},
};
} // namespace

TEST(UiLanguage, SettingAndLocaleChooseTheLanguage)
{
    for (const Case &c : Cases) {
        EXPECT_EQ(chooseUiLanguage(QString::fromUtf8(c.setting), QString::fromUtf8(c.locale)), c.expected)
            << "setting \"" << c.setting << "\", locale \"" << c.locale << "\"";
    }
}

TEST(UiLanguage, StoredValuesReadBackInTheirCanonicalForm)
{
    const std::pair<const char *, const char *> cases[] = {
        {"auto", "auto"}, {"ja", "ja"}, {"en", "en"}, {"Ja", "ja"}, {" EN", "en"},
        {"", "auto"},     {"fr", "auto"}, {"1", "auto"},
    };
    for (const auto &[stored, expected] : cases)
        EXPECT_EQ(UiLanguageSetting::normalised(QString::fromUtf8(stored)).toStdString(), expected) << stored;
}
