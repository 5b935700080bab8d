#pragma once

#include <QString>

#include <cstdint>

// The driver's TCP port 800 is a privileged port on Linux. By default the
// tray program serves a Unix socket in the user's runtime folder and needs
// no privilege at all; only for the TCP port, and only when an administrator
// gave the program the capability cap_net_bind_service by hand, may it bind
// that port.
//
// A capability that lives on past the bind belongs to whatever code the
// process runs later: Qt's platform plugin (chosen by the user through
// -platformpluginpath or QT_PLUGIN_PATH), every thread Qt starts. So the
// program binds first thing in main(), while it has one thread and has
// loaded nothing of the user's choosing, and then drops every capability
// set of the process before QApplication exists. Threads started later
// inherit the empty sets.
class PortPrivilege
{
public:
    struct Outcome
    {
        int descriptor = -1; // a listening socket, or -1
        int bindError = 0;   // errno of a failed socket, bind or listen
        QString dropError;   // why the capabilities could not all go; empty when they went
    };

    // True when the process holds capabilities that its user does not have
    // (a file capability at exec); never for root, who has them anyway.
    static bool isHeld();

    // Binds and listens on 127.0.0.1:port with the capability, then gives up
    // every capability. Only while the process has one thread; with more it
    // binds nothing (the drop would miss them) and says so in dropError.
    static Outcome bindThenGiveUp(std::uint16_t port);

    // giveUpAll() for the whole process: only while it has one thread (with
    // more, the others would keep theirs, and it says so in `why`).
    static bool giveUpInOnlyThread(QString &why);

    // Empties the effective, permitted, inheritable and ambient sets of the
    // calling thread (and of the threads it starts later), and the bounding set as far as the kernel allows (that
    // takes cap_setpcap); with no_new_privs no later exec can gain any. The
    // process is then made dumpable again: with nothing privileged left, its
    // /proc entries can be its user's, and the watchdog's process look-up
    // can read its executable. False, with the reason, when a step failed.
    static bool giveUpAll(QString &why);
};
