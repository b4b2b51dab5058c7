// corvane-unit: serves the emulated Corvane unit on a pseudo-terminal. The first line on stdout is
// the terminal's path, the port text to give the program; it serves until SIGINT or SIGTERM.
#include "unit/catalog.h"
#include "unit/unit.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace {

using corvane::Fault;
using corvane::Micros;

constexpr std::size_t kChunk = 4096;
constexpr Micros kBurstMicros = 10000; // output may catch up this much after a late wake-up
// Paced output is written in batches of about this much line time: short ones while a reply
// starts, longer ones (as a USB serial adapter packs a stream) once the output has gone on without
// a break for kLongStreamMicros (a dump, a save, noise), so that neither the server nor the
// program reading the terminal wakes every few milliseconds. Neither batch exceeds kBurstMicros,
// so the first byte after a pause goes out at once.
constexpr Micros kBatchMicros = 2000;
constexpr Micros kLongBatchMicros = 10000;
constexpr Micros kLongStreamMicros = 50000;
constexpr Micros kHangupRetryMicros = 100'000; // nobody on the line: look again after this
// The unit's longest work, programming a whole device, takes this long a byte before the time
// scale. Scaled, it must leave the unit's microsecond clocks room for the time they already show
// and for sums of such times: at most kClockRoomMicros (about 146,000 years).
constexpr double kProgramMicrosPerByte = 34;
constexpr double kClockRoomMicros = 4.611686018427387904e18; // 2^62

volatile sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}

struct Options {
    long speed = 38400;
    double timeScale = 1.0;
    Fault fault = Fault::None;
};

void printUsage(std::FILE *to) {
    std::fputs(
        "Usage: corvane-unit [--speed N] [--time-scale X] [--fault NAME]\n"
        "\n"
        "Serves the emulated Corvane unit on a pseudo-terminal. The first line printed is\n"
        "the terminal's path: type it into the program's port box.\n"
        "\n"
        "  --speed N       pace the unit's output at N bit/s, 10 bits a byte (default 38400;\n"
        "                  0 sends as fast as the terminal takes it)\n"
        "  --time-scale X  factor on the time the device operations take (default 1;\n"
        "                  0 makes them instant; at most about 1e11)\n"
        "  --fault NAME    misbehave for trials: silent (answers nothing), cut-reply\n"
        "                  (replies without CR LF), slow-pieces (each reply in three pieces\n"
        "                  0.4 s apart), noise (answers with bytes without end), vanish\n"
        "                  (takes nothing, sends nothing)\n"
        "  --version       show the version\n"
        "  --help          show this text\n",
        to);
}

std::optional<Fault> faultByName(std::string_view name) {
    if (name == "none")
        return Fault::None;
    if (name == "silent")
        return Fault::Silent;
    if (name == "cut-reply")
        return Fault::CutReply;
    if (name == "slow-pieces")
        return Fault::SlowPieces;
    if (name == "noise")
        return Fault::Noise;
    if (name == "vanish")
        return Fault::Vanish;
    return std::nullopt;
}

// The largest time scale whose longest work still fits the unit's clocks.
double largestTimeScale() {
    std::uint32_t largest = 1;
    for (const corvane::DeviceType &type : corvane::standardCatalog())
        largest = std::max(largest, corvane::deviceBytes(type));
    return kClockRoomMicros / (kProgramMicrosPerByte * double(largest));
}

// Takes the value of the option `name` ("--speed", "--time-scale", "--fault"); false with a
// message on standard error when it is bad.
bool takeOptionValue(std::string_view name, const std::string &value, Options &options) {
    char *end = nullptr;
    if (name == "--speed") {
        errno = 0;
        options.speed = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || errno != 0 || options.speed < 0) {
            std::fprintf(stderr, "corvane-unit: bad speed: %s\n", value.c_str());
            return false;
        }
    } else if (name == "--time-scale") {
        options.timeScale = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(options.timeScale) ||
            options.timeScale < 0) {
            std::fprintf(stderr, "corvane-unit: bad time scale: %s\n", value.c_str());
            return false;
        }
        if (options.timeScale > largestTimeScale()) {
            std::fprintf(stderr,
                         "corvane-unit: time scale too large: %s (at most %g; beyond it the "
                         "unit's microsecond clocks overflow)\n",
                         value.c_str(), largestTimeScale());
            return false;
        }
    } else {
        const auto fault = faultByName(value);
        if (!fault) {
            std::fprintf(stderr, "corvane-unit: unknown fault: %s\n", value.c_str());
            return false;
        }
        options.fault = *fault;
    }
    return true;
}

// Returns the exit code to end with at once, or -1 to go on serving.
int parseArguments(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string value;
        const auto takeValue = [&](std::string_view name) {
            if (arg.substr(0, name.size()) != name)
                return false;
            if (arg.size() == name.size()) {
                if (i + 1 >= argc)
                    return false;
                value = argv[++i];
                return true;
            }
            if (arg[name.size()] != '=')
                return false;
            value = std::string(arg.substr(name.size() + 1));
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("corvane-unit %s\n", CORVANE_VERSION_TEXT);
            return 0;
        }
        bool taken = false;
        for (std::string_view name : {"--speed", "--time-scale", "--fault"}) {
            if (taken || !takeValue(name))
                continue;
            if (!takeOptionValue(name, value, options))
                return 2;
            taken = true;
        }
        if (!taken) {
            std::fprintf(stderr, "corvane-unit: unknown argument: %s\n", argv[i]);
            printUsage(stderr);
            return 2;
        }
    }
    return -1;
}

Micros monotonicMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return Micros(ts.tv_sec) * 1'000'000 + Micros(ts.tv_nsec) / 1000;
}

timespec toTimespec(Micros micros) {
    return {time_t(micros / 1'000'000), long(micros % 1'000'000) * 1000};
}

// The pseudo-terminal: the master side for the server, the slave side kept open by the server too,
// so that the line stays usable while the program closes and reopens it.
struct Terminal {
    int master = -1;
    int slave = -1;
    std::string path;
};

bool openTerminal(Terminal &terminal) {
    terminal.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal.master < 0 || grantpt(terminal.master) != 0 || unlockpt(terminal.master) != 0) {
        std::perror("corvane-unit: pseudo-terminal");
        return false;
    }
    const char *name = ptsname(terminal.master);
    if (!name) {
        std::perror("corvane-unit: ptsname");
        return false;
    }
    terminal.path = name;
    terminal.slave = open(name, O_RDWR | O_NOCTTY);
    if (terminal.slave < 0) {
        std::perror("corvane-unit: opening the terminal");
        return false;
    }
    termios settings{};
    if (tcgetattr(terminal.slave, &settings) == 0) {
        cfmakeraw(&settings); // CR and LF pass untouched, nothing is echoed
        tcsetattr(terminal.slave, TCSANOW, &settings);
    }
    const int flags = fcntl(terminal.master, F_GETFL);
    fcntl(terminal.master, F_SETFL, flags | O_NONBLOCK);
    return true;
}

// Serves the unit on the terminal's master side, pacing its output like the line would.
class Server {
public:
    Server(const Options &options, Terminal &terminal)
        : m_terminal(terminal)
        , m_unit(unitOptions(options))
        , m_byteMicros(options.speed > 0 ? Micros(10'000'000 / options.speed) : 0)
        , m_shortBatch(batchOf(kBatchMicros))
        , m_longBatch(batchOf(kLongBatchMicros)) {
        m_unit.setFault(options.fault);
    }

    // Until SIGINT or SIGTERM; the exit status.
    int run(const sigset_t &waitMask) {
        while (!g_stop) {
            const Micros now = monotonicMicros();
            m_unit.poll(now);
            std::optional<Micros> sendAt = takeOutput(now);
            if (!m_pending.empty()) {
                const ssize_t written =
                    write(m_terminal.master, m_pending.data(), m_pending.size());
                if (written > 0)
                    m_pending.erase(0, std::size_t(written));
            }
            if (!waitAndRead(now, wakeTime(now, sendAt), waitMask))
                return 1;
        }
        return 0;
    }

private:
    static corvane::UnitOptions unitOptions(const Options &options) {
        corvane::UnitOptions unitOptions;
        unitOptions.timeScale = options.timeScale;
        return unitOptions;
    }

    // Line time a batch of about `goal` waits for: a whole number of bytes, less the first one,
    // which is due at once.
    [[nodiscard]] Micros batchOf(Micros goal) const {
        return m_byteMicros > 0 ? (std::max<Micros>(1, goal / m_byteMicros) - 1) * m_byteMicros : 0;
    }

    // Takes what the line may carry now from the unit; otherwise the time it may.
    std::optional<Micros> takeOutput(Micros now) {
        if (!m_pending.empty() || m_unit.hasOutput()) {
            if (!m_outputSince)
                m_outputSince = now;
        } else {
            m_outputSince.reset();
        }
        m_batchMicros =
            m_outputSince && now - *m_outputSince >= kLongStreamMicros ? m_longBatch : m_shortBatch;
        if (!m_pending.empty() || !m_unit.hasOutput())
            return std::nullopt;
        std::size_t allowed = m_chunk.size();
        Micros base = now;
        if (m_byteMicros > 0) {
            base = std::max(m_nextSend, now > kBurstMicros ? now - kBurstMicros : 0);
            allowed = base + m_batchMicros <= now
                          ? std::min<std::size_t>(m_chunk.size(), (now - base) / m_byteMicros + 1)
                          : 0;
        }
        if (allowed == 0)
            return base + m_batchMicros;
        const std::size_t count = m_unit.transmit(m_chunk.data(), allowed, now);
        m_pending.assign(reinterpret_cast<const char *>(m_chunk.data()), count);
        m_nextSend = base + count * m_byteMicros;
        return std::nullopt;
    }

    // Input, room on the line, the next paced byte or the unit's next deadline.
    std::optional<Micros> wakeTime(Micros now, std::optional<Micros> sendAt) {
        std::optional<Micros> wakeAt = m_unit.nextDeadline();
        if (m_pending.empty() && m_unit.hasOutput())
            sendAt = std::max(now, sendAt.value_or(m_nextSend + m_batchMicros));
        if (sendAt && (!wakeAt || *sendAt < *wakeAt))
            wakeAt = sendAt;
        if (m_hungUp && (!wakeAt || *wakeAt > now + kHangupRetryMicros))
            wakeAt = now + kHangupRetryMicros;
        if (!wakeAt && m_unit.busy())
            wakeAt = now + 10'000;
        return wakeAt;
    }

    // Sleeps until `wakeAt` or the terminal has news, and hands what came to the unit; false on a
    // failure of the wait itself.
    bool waitAndRead(Micros now, std::optional<Micros> wakeAt, const sigset_t &waitMask) {
        pollfd fd{m_terminal.master, short(m_hungUp ? 0 : POLLIN), 0};
        if (!m_pending.empty() && !m_hungUp)
            fd.events |= POLLOUT;
        timespec timeout{};
        if (wakeAt)
            timeout = toTimespec(*wakeAt > now ? *wakeAt - now : 0);
        const int ready = ppoll(&fd, 1, wakeAt ? &timeout : nullptr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR)
                return true;
            std::perror("corvane-unit: poll");
            return false;
        }
        m_hungUp = false;
        if (fd.revents & POLLIN) {
            const ssize_t count = read(m_terminal.master, m_chunk.data(), m_chunk.size());
            const Micros at = monotonicMicros();
            for (ssize_t i = 0; i < count; ++i)
                m_unit.receive(m_chunk[std::size_t(i)], at);
            if (count < 0 && errno != EAGAIN && errno != EINTR)
                m_hungUp = true; // EIO: no one holds the line; look again shortly
        } else if (fd.revents & (POLLHUP | POLLERR)) {
            m_hungUp = true;
        }
        return true;
    }

    Terminal &m_terminal;
    corvane::Unit m_unit;
    const Micros m_byteMicros;
    const Micros m_shortBatch;
    const Micros m_longBatch;
    Micros m_batchMicros = 0;
    std::optional<Micros> m_outputSince; // start of the output that has gone on without a break
    Micros m_nextSend = 0;
    std::string m_pending; // taken from the unit, not yet written to the terminal
    std::array<std::uint8_t, kChunk> m_chunk{};
    bool m_hungUp = false;
};

} // namespace

int main(int argc, char **argv) {
    Options options;
    const int early = parseArguments(argc, argv, options);
    if (early >= 0)
        return early;

    sigset_t blocked;
    sigset_t waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask); // delivered only inside ppoll: no lost wake-up
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    Terminal terminal;
    if (!openTerminal(terminal))
        return 1;
    std::printf("%s\n", terminal.path.c_str());
    std::fflush(stdout);

    Server server(options, terminal);
    const int status = server.run(waitMask);
    close(terminal.slave);
    close(terminal.master);
    return status;
}
