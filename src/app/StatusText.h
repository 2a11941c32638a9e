#pragma once

#include <QString>

// The account's STATUS after a failed check: the step or reason in the one
// bracketed form the list and the tray tooltip show.
namespace StatusText {

inline QString Error(const QString& what) { return QStringLiteral("ｴﾗｰ(") + what + u')'; }

} // namespace StatusText
