#include "platform/system_error_text.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cerrno>
#include <cstdlib>

namespace rd {
namespace {

bool LocaleInstalled(const char* name) {
    locale_t locale = newlocale(LC_MESSAGES_MASK, name, nullptr);
    if (locale)
        freelocale(locale);
    return locale != nullptr;
}

class SystemErrorTextTest : public ::testing::Test {
protected:
    // The C library lets LANGUAGE pick the catalogue over the locale's own language.
    void SetUp() override { ::unsetenv("LANGUAGE"); }
};

TEST_F(SystemErrorTextTest, GermanFromTheCLibrarysCatalogue) {
    if (!LocaleInstalled("de_DE.UTF-8"))
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (scripts/setup.sh makes it)";
    const struct {
        int error;
        const char* text;
    } cases[] = {
        {EIO, "Eingabe-/Ausgabefehler"},
        {ENOENT, "Datei oder Verzeichnis nicht gefunden"},
        {EACCES, "Keine Berechtigung"},
        {ENOSPC, "Auf dem Gerät ist kein Speicherplatz mehr verfügbar"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SystemErrorText(c.error, "de_DE.UTF-8"), c.text) << c.error;
}

TEST_F(SystemErrorTextTest, EnglishWithoutALocaleOrWhenItIsMissing) {
    for (const char* locale : {"", "xx_XX.UTF-8", "C"}) {
        EXPECT_EQ(SystemErrorText(EIO, locale), "Input/output error") << locale;
        EXPECT_EQ(SystemErrorText(ENOENT, locale), "No such file or directory") << locale;
    }
}

}  // namespace
}  // namespace rd
