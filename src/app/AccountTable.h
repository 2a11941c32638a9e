#pragma once

#include "app/AccountEntry.h"

#include <deque>

// The accounts, addressed by index for the whole run. A deque never moves its
// elements when it grows, so a check may keep using its entry while the user
// registers another account.
using AccountTable = std::deque<AccountEntry>;

// The one account table of the program.
extern AccountTable Accounts;

// Whether the index names an entry of the table (deleted entries included:
// they keep their index for the rest of the run).
bool IsAccountIndex(qint64 index);
