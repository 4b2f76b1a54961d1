// korvex-pacer: a serial line between two endpoints, paced at a baud rate
// (10 bits per byte, as 8N1 on a real line), for benchmarks and slow-line
// tests. (A noisy line for tests is tests/hardening/NoisyRelay.h.)
//
//   korvex-pacer --baud N ENDPOINT ENDPOINT
//   ENDPOINT:  pty:PATH      a new pty; PATH becomes a link to its port name
//              exec:COMMAND  COMMAND (run by /bin/sh) with stdin/stdout on the line
//
// The pacer ends when an exec endpoint's command ends (after delivering what
// that command wrote), with the command's exit status, or on SIGINT/SIGTERM. Its own codes are
// the programs' (ExitCode): 2 a bad command line, 1 an endpoint not opened.

#include "ExitCode.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

using Clock = std::chrono::steady_clock;

struct Endpoint {
    int fd = -1;
    int keeper = -1; // pty slave kept open so the master never sees a hang-up
    pid_t child = -1;
    int exitStatus = -1;
    std::string link;
    bool closed = false;
};

// One direction of the line: bytes written at one end wait here and leave
// at the line rate.
struct Direction {
    std::deque<unsigned char> queue;
    double credit = 0;       // bytes the line may deliver now
    bool wasEmpty = true;    // nothing was on its way at the last turn
};

bool setRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool openEndpoint(const std::string &endpoint, Endpoint &e)
{
    if (endpoint.rfind("pty:", 0) == 0) {
        int master = -1, slave = -1;
        char name[256] = {0};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        setRaw(master);
        setRaw(slave);
        e.fd = master;
        e.keeper = slave;
        e.link = endpoint.substr(4);
        unlink(e.link.c_str());
        if (symlink(name, e.link.c_str()) != 0)
            return false;
    } else if (endpoint.rfind("exec:", 0) == 0) {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0)
            return false;
        const pid_t pid = fork();
        if (pid < 0)
            return false;
        if (pid == 0) {
            dup2(sv[1], 0);
            dup2(sv[1], 1);
            close(sv[0]);
            close(sv[1]);
            execl("/bin/sh", "sh", "-c", endpoint.c_str() + 5, static_cast<char *>(nullptr));
            _exit(127);
        }
        close(sv[1]);
        e.fd = sv[0];
        e.child = pid;
    } else {
        return false;
    }
    fcntl(e.fd, F_SETFL, fcntl(e.fd, F_GETFL) | O_NONBLOCK);
    return true;
}

void usage()
{
    std::fputs("usage: korvex-pacer --baud N ENDPOINT ENDPOINT\n"
               "ENDPOINT: pty:LINKPATH | exec:COMMAND\n",
               stderr);
}

} // namespace

int main(int argc, char **argv)
{
    long baud = 0;
    std::string endpoints[2];
    int nendpoints = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char *flag) -> const char * {
            if (a != flag)
                return nullptr;
            if (i + 1 >= argc) {
                usage();
                std::exit(ExitCode::BadArguments);
            }
            return argv[++i];
        };
        if (const char *v = value("--baud")) baud = std::atol(v);
        else if (a == "--help" || a == "-h") { usage(); return ExitCode::Done; }
        else if (nendpoints < 2) endpoints[nendpoints++] = a;
        else { usage(); return ExitCode::BadArguments; }
    }
    if (baud <= 0 || nendpoints != 2) {
        usage();
        return ExitCode::BadArguments;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    Endpoint ends[2];
    for (int k = 0; k < 2; ++k) {
        if (!openEndpoint(endpoints[k], ends[k])) {
            std::fprintf(stderr, "korvex-pacer: cannot open endpoint %s: %s\n", endpoints[k].c_str(), std::strerror(errno));
            return ExitCode::LineNotOpened;
        }
    }
    Direction dirs[2]; // dirs[k]: bytes from ends[k] to ends[1-k]
    const double bytesPerSecond = double(baud) / 10.0;
    auto last = Clock::now();
    int exitCode = ExitCode::Done;
    bool ending = false;
    Clock::time_point endBy{};

    while (!g_stop) {
        // Commands that ended: deliver what they wrote, then stop.
        for (auto &e : ends) {
            if (e.child > 0 && e.exitStatus < 0) {
                int status = 0;
                if (waitpid(e.child, &status, WNOHANG) == e.child) {
                    e.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
                    exitCode = e.exitStatus;
                    if (!ending) {
                        ending = true;
                        endBy = Clock::now() + std::chrono::seconds(3);
                    }
                }
            }
        }
        if (ending && (Clock::now() > endBy || (dirs[0].queue.empty() && dirs[1].queue.empty()))) {
            usleep(300000); // the far side reads the last bytes before the line goes away
            break;
        }

        pollfd p[2];
        for (int k = 0; k < 2; ++k) {
            p[k].fd = ends[k].closed ? -1 : ends[k].fd;
            p[k].events = dirs[k].queue.size() < 65536 ? POLLIN : 0;
            p[k].revents = 0;
        }
        // While bytes are on their way the line is looked at every 0.2 ms,
        // so that what it delivers arrives close to when it would.
        const bool busy = !dirs[0].queue.empty() || !dirs[1].queue.empty();
        const timespec wait{0, busy ? 200000 : 1000000};
        ppoll(p, 2, &wait, nullptr);

        for (int k = 0; k < 2; ++k) {
            if (!(p[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            unsigned char buf[4096];
            const ssize_t n = read(ends[k].fd, buf, sizeof buf);
            if (n > 0) {
                dirs[k].queue.insert(dirs[k].queue.end(), buf, buf + n);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR && ends[k].child > 0)) {
                ends[k].closed = ends[k].child > 0; // a pty master reads EIO between opens: keep it
            }
        }

        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - last).count();
        last = now;
        for (int k = 0; k < 2; ++k) {
            Direction &d = dirs[k];
            // An idle line banks no time: bytes that find it free start at
            // once (the first byte goes now), and from then on leave at the
            // line rate, with a slack of 1 ms for the pacer's own delays.
            // Without that, the pause between a block and its answer would
            // let the next block through faster than the line carries it.
            if (d.queue.empty()) {
                d.wasEmpty = true;
                d.credit = 0;
                continue;
            }
            if (d.wasEmpty) {
                d.wasEmpty = false;
                d.credit = 1.0;
            } else {
                d.credit = std::min(d.credit + elapsed * bytesPerSecond, std::max(2.0, bytesPerSecond * 0.001));
            }
            const size_t allowed = std::min(size_t(d.credit), d.queue.size());
            if (allowed == 0)
                continue;
            unsigned char out[65536];
            std::copy(d.queue.begin(), d.queue.begin() + long(allowed), out);
            const ssize_t w = write(ends[1 - k].fd, out, allowed);
            if (w > 0) {
                d.queue.erase(d.queue.begin(), d.queue.begin() + w);
                d.credit -= double(w);
            }
        }
    }

    for (auto &e : ends) {
        if (e.child > 0 && e.exitStatus < 0)
            kill(e.child, SIGTERM);
        if (!e.link.empty())
            unlink(e.link.c_str());
        close(e.fd);
        if (e.keeper >= 0)
            close(e.keeper);
    }
    return exitCode;
}
