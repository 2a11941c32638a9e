#pragma once

#include <QtGlobal>

struct AccountEntry;
struct Pop3CheckOutcome;
class IMailCheckHost;

// Puts the outcome of one account's check where it belongs: the seen list,
// the row's STATUS and the arrival window. The seen list and STATUS are
// stored first, because showing the arrival window runs pending events, and
// an end of the program that comes through them must save this check.
void ApplyCheckOutcome(
    IMailCheckHost& host, qint32 rowTag, AccountEntry& account, const Pop3CheckOutcome& outcome);
