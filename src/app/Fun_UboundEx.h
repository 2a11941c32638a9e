#pragma once

#include <QtGlobal>

namespace Fun_UboundEx {

// Upper bound of a list: its last index, or -1 when it has no element.
template <class List> qint32 UboundEx(const List& list) { return static_cast<qint32>(list.size()) - 1; }

} // namespace Fun_UboundEx
