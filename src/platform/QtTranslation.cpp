#include "platform/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace QtTranslation {

QString SystemFolder() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

bool LoadJapanese(const QString& folder)
{
    // One translator for the run: a failed load empties it, so a second load
    // never leaves the catalogue of the first one behind.
    static QPointer<QTranslator> translator;
    if (!translator) {
        translator = new QTranslator(QCoreApplication::instance());
        QCoreApplication::installTranslator(translator);
    }
    return translator->load(QStringLiteral("qtbase_ja"), folder);
}

} // namespace QtTranslation
