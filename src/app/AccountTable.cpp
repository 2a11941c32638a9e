#include "app/AccountTable.h"

AccountTable Accounts;
