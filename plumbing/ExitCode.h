#ifndef KORVEX_EXITCODE_H
#define KORVEX_EXITCODE_H

// The exit codes of every Korvex program (korvex, korvex-demo, korvex-sim,
// korvex-ymodem, korvexctl), so that scripts can tell outcomes apart. The
// numbers are documented in the programs' help texts and manual pages:
// a row may be added, a number never changes.
namespace ExitCode {

constexpr int Done = 0;          // the device did it / the command or transfer completed
// korvex-sim: its line (the pty or the serial port), its log file or its
// firmware folder could not be opened or created; korvex-pacer: an endpoint.
constexpr int LineNotOpened = 1;
// korvex-demo: the simulator did not start, factory mode stayed locked, or
// no picture was taken (no live data in time, the file not written).
constexpr int DemoFailed = 1;
constexpr int BadArguments = 2;  // unusable command line; nothing was sent
constexpr int Aborted = 3;       // cancelled (SIGINT, SIGTERM) or aborted by the peer
constexpr int NoReply = 4;       // no valid reply (after the retries) or timed out
constexpr int Failed = 5;        // refused by the device, failed, a --verify mismatch, or the results could not be written
constexpr int PortNotOpened = 6; // the serial port could not be opened
// watch --mqtt: the broker refused the login or its certificate at start (or
// the client could not be set up). Shares 6 with the port: the place the
// data was to go could not be opened.
constexpr int BrokerRefused = 6;
// watch --metrics: the HTTP endpoint cannot listen on its address (taken,
// or not this machine's). Also 6: the data's destination could not be opened.
constexpr int EndpointNotOpened = 6;
constexpr int AlarmSet = 7;      // status --check: the unit reports an alarm

} // namespace ExitCode

#endif
