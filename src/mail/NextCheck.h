#pragma once

#include <QtGlobal>

#include <optional>

// The NEXT CHECK countdown of an account's row when the account list is built
// or rebuilt: a new row starts at the interval; a kept value that has run out
// (0 or below) or exceeds a shortened interval starts again at the interval.
qint32 NextCheckForRebuild(std::optional<qint32> current, qint32 interval);
