#pragma once

#include <QString>

// Port 800 is a privileged port on Linux. The installed program holds one
// capability for it, cap_net_bind_service, as a file capability that the
// package sets. It needs it only to bind; afterwards it gives up every
// capability it has.
//
// That also matters to the watchdog: the kernel marks a process that gained
// capabilities at exec as not dumpable, which hands its /proc entries to
// root and hides its executable from a process look-up of its own user. With
// nothing privileged left, the program makes itself dumpable again, and the
// watchdog can tell "running but not answering" from "not running".
class PortPrivilege
{
public:
    // Drops every capability and makes the process dumpable again; does
    // nothing when none is held beyond the user's (root keeps what it has).
    // False, with the reason in `why`, when the kernel refused.
    static bool giveUp(QString &why);
};
