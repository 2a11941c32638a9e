#include "platform/ExecutableInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ExecutableInfo {

QString Folder()
{
    QString folder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    // A drive or file-system root keeps its separator; any other folder has none.
    while (folder.size() > 1 && (folder.endsWith(u'/') || folder.endsWith(u'\\')) && !folder.endsWith(u":\\"))
        folder.chop(1);
    return folder;
}

QString BaseName() { return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(); }

QString Version() { return QStringLiteral(TANDREL_VERSION); }

} // namespace ExecutableInfo
