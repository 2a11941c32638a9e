#pragma once

#include "ScriptedPop3Server.h"

// A dialogue for the scripted server over a mailbox of this many messages, all
// fetched: greeting, USER taro, PASS secret, STAT, UIDL and TOP of every
// message, QUIT. Benchmarks use it to time whole checks.
QList<ScriptedPop3Server::Step> ScriptedMailbox(int messages);

// The identifier ScriptedMailbox gives message j.
QByteArray ScriptedMailboxId(int j);

// CPU time of this process so far, in milliseconds.
double ProcessCpuMs();
