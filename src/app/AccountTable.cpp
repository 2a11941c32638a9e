#include "app/AccountTable.h"

AccountTable Accounts;

bool IsAccountIndex(qint64 index) { return index >= 0 && index < qint64(Accounts.size()); }
