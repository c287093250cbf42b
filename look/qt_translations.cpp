#include "look/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace rd {

namespace {

// "de_DE.UTF-8" -> "de".
QString LanguageCode(const std::string& locale) {
    const std::string code = locale.substr(0, locale.find_first_of("_.@"));
    return code == "C" || code == "POSIX" ? QString() : QString::fromStdString(code);
}

}  // namespace

bool InstallQtTranslations(const LanguageFacts& facts) {
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    const QString code = LanguageCode(facts.locale);
    if (code.isEmpty())
        return false;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load("qtbase_" + code, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    installed = translator.release();
    QCoreApplication::installTranslator(installed);
    return true;
}

}  // namespace rd
