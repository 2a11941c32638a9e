#pragma once

#include "app/AccountEntry.h"

#include <QtGlobal>

// An enabled account "taro" / "secret" on a loopback POP3 port, as the
// scripted dialogues expect it.
AccountEntry TestAccount(quint16 port, qint32 checkInterval = 5);
