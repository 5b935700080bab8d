#pragma once

// The texts of --help and of the "help" command; tools/README.md says the same.
namespace ViewerHelp {

inline constexpr const char *commandSummary =
    "commands: request <code> [state] | response <code> [state] | raw <hex> | half [code] | close | connect"
    " | exit | silent on|off | status | help | quit";

inline constexpr const char *usage = R"(Usage: tessel [options]

A stand-in for the viewer: connects to the watchdog's viewer channel (the
user's own socket $XDG_RUNTIME_DIR/tessel/viewer.sock, or TCP port 1933 with
--port or TESSEL_LOOPBACK_TCP=1), prints
every 2616-byte record it receives, answers requests, and sends whatever it is
told to, well-formed or not.

Options (also read from the environment variable TESSEL_OPTIONS, before the
command line, for a copy that the watchdog starts without arguments):
  --socket PATH           connect to this Unix socket instead of viewer.sock
  --host ADDRESS          connect over TCP to this address (default 127.0.0.1)
  --port N                connect over TCP to this port (default 1933)
  --connect-timeout MS    keep trying every 100 ms for this long (default 3000);
                          exit code 1 if the first connection never succeeds
  --requests LIST         requests to send right after connecting, e.g. 563,564
  --exit-after N          exit (code 0) once N records have been received
  --stay-on               answer a VIEWER_ON_OFF request but keep running
  --silent                start with answering switched off
  --exit-wait MS          how long "exit" waits for the watchdog's answer (default 1000)
  --control PATH          also read commands from this FIFO (created if missing,
                          reopened whenever a writer closes it)
  --keep-running          do not exit when standard input ends
  --output FILE           append the event lines to FILE instead of standard output
  --help                  this text

Commands, one a line, from standard input and from the control FIFO:
  request <code> [state]  send a record with request=1 (state default 0)
  response <code> [state] send a record with request=0
  raw <hex>               send these bytes as they are ("01 00 00 00 5d ...")
  half [code]             send the first 1308 bytes of a request record (code
                          default 563) and close the connection
  close                   close the connection
  connect                 connect again (same retry and timeout)
  exit                    close the way a viewer does: send a VIEWER_ON_OFF
                          request, wait for the answer (--exit-wait), close, exit 0
  silent on|off           stop or resume answering the watchdog's requests
  status                  print the state
  help                    print the command list
  quit                    exit 0
Commands wait while a connection attempt or "exit" is in progress.

Behaviour: every record with request=1 from the watchdog is answered with a
record request=0, the same command, state 0 (unless silent). A VIEWER_ON_OFF
(93) request is answered, then the stand-in exits 0 (unless --stay-on).
Exit: on quit, SIGTERM, SIGINT, and the end of standard input (unless
--keep-running); code 0, or 1 when it never connected, 2 for bad options.

Output, one event a line on standard output, every line starting "tessel: ":
  connecting to=HOST:PORT timeout=MSms
  connected to=HOST:PORT
  connect-failed to=HOST:PORT error="TEXT"
  connect-refused to=HOST:PORT reason="TEXT"   (the listener is not the user's own)
  received request=R command=C NAME state=S deviceCount=N
  device slot=I index=X name="TEXT"        (one per entry that deviceCount covers)
  warning deviceCount=N outside 0..10
  sent request=R command=C NAME state=S
  sent-raw bytes=N
  sent-half request=1 command=C NAME state=0 bytes=1308 of=2616
  unanswered command=C NAME reason=silent
  no-answer command=93 waited=MSms
  disconnected reason=peer-closed|closed-by-us|error error="TEXT" partial=BYTES
  silent on|off
  status connected=yes|no silent=on|off stayOn=yes|no received=N partial=BYTES
  input stdin-closed keep-running=yes
  error TEXT
  exiting code=N reason=REASON
NAME is the command's name (VIEWER_ON_OFF, AUTO_FOCUS, LIGHT, ROTATE,
CAMERA_READY, EXIT_DOC_CAM_APPLICATION, LED_STATUS, VIDEO_DEVICE_LIST,
FOCUS_BY_WATCHDOG_ON, FOCUS_BY_WATCHDOG_OFF) or "-" for a code without one.
partial is the number of bytes of an unfinished record that were dropped.
)";

} // namespace ViewerHelp
