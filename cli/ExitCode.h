#ifndef KORVEX_EXITCODE_H
#define KORVEX_EXITCODE_H

// The exit codes of every korvexctl command (and of korvex-ymodem, whose
// numbers they share), so that scripts can tell outcomes apart.
namespace ExitCode {

constexpr int Done = 0;          // the device did it / the command completed
constexpr int BadArguments = 2;  // unusable command line; nothing was sent
constexpr int Aborted = 3;       // cancelled (Ctrl-C) or aborted by the peer
constexpr int NoReply = 4;       // no valid reply (after the retries) or timed out
constexpr int Failed = 5;        // refused by the device, or failed
constexpr int PortNotOpened = 6; // the serial port could not be opened

} // namespace ExitCode

#endif
