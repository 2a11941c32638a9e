#pragma once

#include <QtGlobal>

struct AccountEntry;
struct Pop3CheckOutcome;
class IMailCheckHost;

// Puts the outcome of one account's check where it belongs: the seen list,
// the row's STATUS and the arrival window. The seen list and STATUS are
// stored first, and a changed seen list reaches the settings file before
// anything is announced: showing the arrival window runs pending events, and
// whatever ends the program there must not make it announce this mail again.
void ApplyCheckOutcome(
    IMailCheckHost& host, qint32 rowTag, AccountEntry& account, const Pop3CheckOutcome& outcome);
