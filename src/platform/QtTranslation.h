#pragma once

#include <QString>

// Qt's own texts (standard buttons, the context menu of a text box, socket and
// TLS error descriptions) in Japanese, as the rest of the interface is,
// whatever locale the user runs under.
namespace QtTranslation {

// Where the system keeps Qt's catalogues.
QString SystemFolder();

// Loads qtbase_ja from the folder and makes it Qt's catalogue; a folder
// without it leaves Qt's texts in English. Loading again replaces what an
// earlier load brought. True when the Japanese catalogue is in use.
bool LoadJapanese(const QString& folder = SystemFolder());

} // namespace QtTranslation
