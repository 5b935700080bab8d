#pragma once

// The texts of --help and of the "help" command; tools/README.md says the same.
namespace DriverHelp {

inline constexpr const char *commandSummary =
    "commands: status | click [id] | oem <id> | exit | drop | mode normal|late <ms>|reject|silent"
    " | send <type> <value> [extra-length] | split | glue | raw <hex> | help | quit";

inline constexpr const char *usage = R"(Usage: brivaradriver [options]

A stand-in for the camera driver's tray program: a server that the watchdog
connects to (on the user's own socket $XDG_RUNTIME_DIR/tessel/driver.sock, or
on TCP port 800 with --port or TESSEL_LOOPBACK_TCP=1), answering ADD_OEM_BUTTON, ADD_MENU_ITEM and
REMOVE_MENU_ITEM, keeping what it was given, and sending MENU_ITEM_CLICKED,
OEM_BUTTON_PRESSED, DRIVER_EXIT or malformed messages on command.

Options (also read from the environment variable BRIVARADRIVER_OPTIONS, before
the command line):
  --socket PATH           listen on this Unix socket instead of driver.sock
  --host ADDRESS          listen on TCP at this address (default 127.0.0.1)
  --port N                listen on this TCP port (default 800, a privileged
                          port; 0 picks a free one, printed in the "listening"
                          line)
  --control PATH          also read commands from this FIFO (created if missing,
                          reopened whenever a writer closes it)
  --keep-running          do not exit when standard input ends
  --output FILE           append the event lines to FILE instead of standard output
  --help                  this text

Commands, one a line, from standard input and from the control FIFO:
  status                  print the connection, mode, held menu items and buttons
  click [id]              send MENU_ITEM_CLICKED with the newest held item's id (or id)
  oem <id>                send OEM_BUTTON_PRESSED with this button id
  exit                    send DRIVER_EXIT, close the connection, exit 0
  drop                    close the connection without a word (keeps listening)
  mode normal             answer every request at once (the default)
  mode late <ms>          answer each request after this delay
  mode reject             answer every request with -1 and keep nothing
  mode silent             take requests but never answer
  send <type> <value> [extra-length]
                          send a message with any header; extra-length bytes
                          (0, 1, 2, ... mod 256) follow; a negative length sends
                          the header alone
  split                   send the next write in pieces, 20 ms apart: 1, 4 and 7
                          header bytes, then the extra bytes in two halves
  glue                    hold the next message and send it in one write with
                          the message after it
  raw <hex>               send these bytes as they are, in one write
  help                    print the command list
  quit                    exit 0

Behaviour: one connection at a time; a newer one replaces the older. Answers
are REQUEST_RESULT: ADD_OEM_BUTTON -> the same id; ADD_MENU_ITEM -> a new item
id, 1, 2, 3, ... for the life of the process; REMOVE_MENU_ITEM -> the removed
id, or -1 when no such item is held. A request with too short a payload is
answered -1. Unknown request types are shown and their payload skipped,
unanswered. A negative length or one over 65536 closes the connection.
Held items and buttons belong to the connection and are forgotten when it ends.
Exit: on quit, exit, SIGTERM, SIGINT, and the end of standard input (unless
--keep-running); code 0, or 1 when it cannot listen, 2 for bad options.

Output, one event a line on standard output, every line starting "brivaradriver: ":
  listening on=HOST:PORT port=PORT    (or on=PATH for a Unix socket)
  accepted peer=HOST:PORT|local
  refused reason="TEXT"               (a program of another user)
  request ADD_OEM_BUTTON length=L buttonId=ID
  request ADD_MENU_ITEM length=L flag=F itemId=ID caption="TEXT"
  request REMOVE_MENU_ITEM length=L flag=F itemId=ID caption="TEXT"
  request UNKNOWN type=T length=L skipped
  request NAME length=L malformed need=N
      (a known request longer than its payload shows " extra=N" after length)
  protocol-error type=T length=L reason=negative-length|length-over-limit limit=65536
  sent type=T NAME value=V length=L [pieces=N] [glue=held|glue=joined bytes=N]
  sent-raw bytes=N
  answer-delayed value=V delay=MSms
  late-answer-dropped value=V reason=connection-gone
  unanswered value=V reason=silent
  disconnected reason=peer-closed|closed-by-us|dropped-by-us|replaced|protocol-error|error error="TEXT" partial=BYTES
  forgot menuItems=N buttons=N
  mode normal|late delay=MSms|reject|silent
  split armed
  glue armed
  glue released-alone [pieces=N]
  glue dropped bytes=N
  status connected=yes|no peer=HOST:PORT|- mode=MODE split=armed|off glue=armed|off menuItems=N buttons=N nextItemId=N
  status menuItem id=ID flag=F caption="TEXT"      (one per held item, oldest first)
  status buttons=ID,ID,...|-
  input stdin-closed keep-running=yes
  error TEXT
  exiting code=N reason=REASON
NAME is REQUEST_RESULT, DRIVER_EXIT, MENU_ITEM_CLICKED, OEM_BUTTON_PRESSED or
"-". Captions are decoded from UTF-16LE and shown as UTF-8. partial is the
number of bytes of an unfinished request that were dropped.
)";

} // namespace DriverHelp
