// cantrel-devsim: a switching device with 16 outputs on a pseudo-terminal, for
// tests and for dry runs without hardware. See README.md beside this file.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr int ReplySize = 51;
constexpr auto RequestGapLimit = std::chrono::milliseconds(100);

const char* const Usage =
    "usage: cantrel-devsim [options]\n"
    "  --link PATH      make PATH a symlink to the terminal (CANTREL_COM1=PATH)\n"
    "  --log FILE       append the request log to FILE (default: stderr)\n"
    "  --fault MODE     answer mode at start (default normal)\n"
    "  --control FILE   read the mode from FILE before each answer; missing or\n"
    "                   empty means the --fault mode; several modes are taken\n"
    "                   one per answer, and the last one stays\n"
    "  --selected N     output selected at start, 1..16 (default 1)\n"
    "  --late-ms MS     delay of a late answer (default 150)\n"
    "  --down-ms MS     how long a hang-up lasts (default 300)\n"
    "  --micro          stamp log lines to the microsecond\n"
    "modes: normal, f9, silent, late, short, gap, wrong, echo, garbage, hangup\n";

volatile std::sig_atomic_t stopRequested = 0;
// Stamps to the microsecond: how late a request came, finer than a millisecond.
bool microStamps = false;

void requestStop(int) {
    stopRequested = 1;
}

struct Options {
    std::string link;
    std::string log;
    std::string fault = "normal";
    std::string control;
    int selected = 1;
    int lateMs = 150;
    int downMs = 300;
};

struct Terminal {
    int master = -1;
    int slave = -1; // kept open so the line stays up while the program has it closed
    std::string path;
};

struct PendingWrite {
    Clock::time_point due;
    int delayMs;
    Bytes bytes;
};

std::string timeStamp() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[40];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    if (microStamps)
        std::snprintf(text + length, sizeof text - length, ".%06ld", now.tv_nsec / 1000L);
    else
        std::snprintf(text + length, sizeof text - length, ".%03ld", now.tv_nsec / 1000000L);
    return text;
}

std::string hex(const Bytes& bytes) {
    std::string text;
    char part[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(part, sizeof part, text.empty() ? "%02X" : " %02X", b);
        text += part;
    }
    return text;
}

class Log {
  public:
    explicit Log(const std::string& path) {
        if (!path.empty()) {
            file_ = std::fopen(path.c_str(), "a");
            if (!file_) {
                std::fprintf(stderr, "cantrel-devsim: cannot open log %s: %s\n", path.c_str(),
                             std::strerror(errno));
                std::exit(2);
            }
        }
    }
    ~Log() {
        if (file_) {
            std::fclose(file_);
        }
    }
    void line(const std::string& text) {
        FILE* out = file_ ? file_ : stderr;
        std::fprintf(out, "%s %s\n", timeStamp().c_str(), text.c_str());
        std::fflush(out);
    }

  private:
    FILE* file_ = nullptr;
};

// The device's own checksum, written apart from the program's on purpose.
std::uint8_t checksum(const Bytes& bytes, size_t count) {
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum += bytes[i];
    }
    return static_cast<std::uint8_t>((sum ^ 0x7B) & 0x7F);
}

Terminal openTerminal() {
    Terminal t;
    t.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (t.master < 0 || grantpt(t.master) != 0 || unlockpt(t.master) != 0) {
        std::perror("cantrel-devsim: posix_openpt");
        std::exit(2);
    }
    t.path = ptsname(t.master);
    t.slave = open(t.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (t.slave < 0 || tcgetattr(t.slave, &raw) != 0) {
        std::perror("cantrel-devsim: terminal");
        std::exit(2);
    }
    // No echo, no line editing, no CR/LF translation: bytes pass as they are.
    cfmakeraw(&raw);
    tcsetattr(t.slave, TCSANOW, &raw);
    tcsetattr(t.master, TCSANOW, &raw);
    return t;
}

void closeTerminal(Terminal& t) {
    if (t.slave >= 0) {
        close(t.slave);
    }
    if (t.master >= 0) {
        close(t.master);
    }
    t = Terminal{};
}

// Removes the link when it still names this terminal; a link that another
// device has taken over is left alone.
void unlinkTerminal(const Terminal& t, const Options& options) {
    if (options.link.empty()) {
        return;
    }
    char target[4096];
    const ssize_t n = readlink(options.link.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == t.path) {
        unlink(options.link.c_str());
    }
}

void announce(const Terminal& t, const Options& options, Log& log) {
    if (!options.link.empty()) {
        // Made beside the link and renamed over it, so the link never goes
        // missing for a moment while a program opens it.
        const std::string fresh = options.link + ".new";
        unlink(fresh.c_str());
        if (symlink(t.path.c_str(), fresh.c_str()) != 0 ||
            rename(fresh.c_str(), options.link.c_str()) != 0) {
            std::fprintf(stderr, "cantrel-devsim: cannot link %s: %s\n", options.link.c_str(),
                         std::strerror(errno));
            std::exit(2);
        }
    }
    std::printf("%s\n", t.path.c_str());
    std::fflush(stdout);
    log.line("terminal " + t.path + (options.link.empty() ? "" : " linked at " + options.link));
}

std::vector<std::string> controlModes(const Options& options) {
    std::vector<std::string> modes;
    if (!options.control.empty()) {
        std::ifstream file(options.control);
        std::string word;
        while (file >> word) {
            modes.push_back(word);
        }
    }
    return modes;
}

// The mode in force, without taking it.
std::string currentMode(const Options& options) {
    const std::vector<std::string> modes = controlModes(options);
    return modes.empty() ? options.fault : modes.front();
}

// The mode for the next answer. Several modes in the control file are taken
// one per answer ("normal hangup": answer, then hang up on the next request);
// the last one stays in force.
std::string takeMode(const Options& options) {
    const std::vector<std::string> modes = controlModes(options);
    if (modes.empty()) {
        return options.fault;
    }
    if (modes.size() > 1) {
        std::ofstream file(options.control, std::ios::trunc);
        for (size_t i = 1; i < modes.size(); ++i) {
            file << modes[i] << (i + 1 < modes.size() ? " " : "\n");
        }
    }
    return modes.front();
}

bool knownMode(const std::string& mode) {
    static const char* const modes[] = {"normal", "f9",    "silent", "late",    "short",
                                        "gap",    "wrong", "echo",   "garbage", "hangup"};
    return std::any_of(std::begin(modes), std::end(modes),
                       [&](const char* m) { return mode == m; });
}

class Device {
  public:
    explicit Device(Options options) : options_(std::move(options)), log_(options_.log) {
        selected_ = options_.selected;
    }

    int run() {
        terminal_ = openTerminal();
        announce(terminal_, options_, log_);
        while (!stopRequested) {
            pollOnce();
        }
        unlinkTerminal(terminal_, options_);
        closeTerminal(terminal_);
        return 0;
    }

  private:
    int msUntil(Clock::time_point when) const {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, 1000));
    }

    void pollOnce() {
        int timeout = 1000;
        for (const PendingWrite& w : pending_) {
            timeout = std::min(timeout, msUntil(w.due));
        }
        if (!received_.empty()) {
            timeout = std::min(timeout, msUntil(lastByteAt_ + RequestGapLimit));
        }
        if (terminal_.master < 0) {
            timeout = std::min(timeout, msUntil(backAt_));
        }
        pollfd fd{terminal_.master, POLLIN, 0};
        const int ready =
            poll(terminal_.master >= 0 ? &fd : nullptr, terminal_.master >= 0 ? 1 : 0, timeout);
        if (ready < 0 && errno != EINTR) {
            std::perror("cantrel-devsim: poll");
            stopRequested = 1;
            return;
        }
        const auto now = Clock::now();
        if (terminal_.master < 0) {
            if (now >= backAt_) {
                terminal_ = openTerminal();
                announce(terminal_, options_, log_);
            }
            return;
        }
        if (ready > 0 && (fd.revents & POLLIN)) {
            std::uint8_t buffer[256];
            const ssize_t n = read(terminal_.master, buffer, sizeof buffer);
            if (n > 0) {
                received_.insert(received_.end(), buffer, buffer + n);
                lastByteAt_ = now;
                takeRequests();
            }
        }
        if (!received_.empty() && now - lastByteAt_ >= RequestGapLimit) {
            log_.line(hex(received_) + " incomplete request dropped");
            received_.clear();
        }
        flushDue();
    }

    void flushDue() {
        const auto now = Clock::now();
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->due <= now) {
                send(it->bytes);
                // A held-back part is logged once it is on the line, so a test
                // can tell that nothing more of that answer is on its way.
                if (it->delayMs > 0) {
                    log_.line(std::to_string(it->bytes.size()) + " bytes sent after " +
                              std::to_string(it->delayMs) + " ms");
                }
                it = pending_.erase(it);
            } else {
                ++it;
            }
        }
    }

    void send(const Bytes& bytes) {
        if (terminal_.master >= 0 && !bytes.empty()) {
            const ssize_t n = write(terminal_.master, bytes.data(), bytes.size());
            (void)n; // a full terminal buffer loses the reply, as a real line would
        }
    }

    // Queued even without a delay: the answer goes out after its log line, so
    // whoever reads the reply finds the request already logged.
    void later(int ms, Bytes bytes) {
        pending_.push_back({Clock::now() + std::chrono::milliseconds(ms), ms, std::move(bytes)});
    }

    void takeRequests() {
        while (!received_.empty()) {
            // A request starts with FD; anything before it is line noise.
            const auto start = std::find(received_.begin(), received_.end(), 0xFD);
            if (start != received_.begin()) {
                log_.line(hex(Bytes(received_.begin(), start)) + " skipped, no request code");
                received_.erase(received_.begin(), start);
                continue;
            }
            if (received_.size() < 4) {
                return;
            }
            Bytes request(received_.begin(), received_.begin() + 4);
            received_.erase(received_.begin(), received_.begin() + 4);
            answer(request);
        }
    }

    Bytes reply(std::uint8_t code) const {
        Bytes bytes(ReplySize, ' ');
        bytes[0] = code;
        const char ident[] = "CANTREL-DEVSIM 16";
        std::copy(ident, ident + sizeof ident - 1, bytes.begin() + 2);
        bytes[25] = static_cast<std::uint8_t>('0' + selected_ / 10);
        bytes[26] = static_cast<std::uint8_t>('0' + selected_ % 10);
        return bytes;
    }

    Bytes garbage() {
        Bytes bytes(80);
        for (std::uint8_t& b : bytes) {
            noise_ = noise_ * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(noise_ >> 16);
        }
        // Noise that happens to start like a reply would read as one.
        if (bytes[0] == 0xFE || bytes[0] == 0xF9) {
            bytes[0] = 0x3C;
        }
        return bytes;
    }

    void answer(const Bytes& request) {
        std::string text = hex(request);
        if (checksum(request, 3) != request[3]) {
            // A device ignores a corrupted request; the program reads "No link".
            log_.line(text + " bad checksum, no answer");
            return;
        }
        std::string mode = takeMode(options_);
        if (!knownMode(mode)) {
            log_.line("unknown mode " + mode + ", answering normally");
            mode = "normal";
        }
        const int output = request[2];
        if (output >= 1 && output <= 16 && mode != "silent" && mode != "hangup") {
            selected_ = output;
        }
        text += " " + mode;

        if (mode == "normal" || mode == "late" || mode == "f9") {
            const Bytes bytes = reply(mode == "f9" ? 0xF9 : 0xFE);
            later(mode == "late" ? options_.lateMs : 0, bytes);
            text += " -> " + std::to_string(bytes.size()) + " bytes, output " +
                    std::to_string(selected_);
        } else if (mode == "short") {
            Bytes bytes = reply(0xFE);
            bytes.resize(20);
            later(0, bytes);
            text += " -> 20 bytes";
        } else if (mode == "gap") {
            // A pause longer than the reader's 20 ms gap in the middle of a reply.
            const Bytes bytes = reply(0xFE);
            later(0, Bytes(bytes.begin(), bytes.begin() + 10));
            later(60, Bytes(bytes.begin() + 10, bytes.end()));
            text += " -> 10 bytes, 60 ms pause, 41 bytes";
        } else if (mode == "wrong") {
            Bytes bytes = reply(0xFA);
            later(0, bytes);
            text += " -> reply code FA";
        } else if (mode == "echo") {
            later(0, request);
            text += " -> echo";
        } else if (mode == "garbage") {
            const Bytes bytes = garbage();
            later(0, bytes);
            text += " -> " + hex(bytes);
        } else if (mode == "hangup") {
            // Logged first: the program learns of the hang-up at once and may
            // look at the log straight away.
            log_.line(text + " -> hung up for " + std::to_string(options_.downMs) + " ms");
            hangUp();
            return;
        } else {
            text += " -> no answer";
        }
        log_.line(text);
        flushDue();
    }

    void hangUp() {
        // The device node goes away with the device, as a pulled USB adapter's
        // does: while it is down, opening the link fails instead of finding a
        // stale terminal, which the system may already have handed to another
        // program.
        unlinkTerminal(terminal_, options_);
        closeTerminal(terminal_);
        pending_.clear();
        received_.clear();
        backAt_ = Clock::now() + std::chrono::milliseconds(options_.downMs);
        // One hang-up per request for it: the device comes back answering.
        if (!options_.control.empty() && currentMode(options_) == "hangup") {
            std::ofstream(options_.control, std::ios::trunc) << "normal\n";
        }
        if (options_.fault == "hangup") {
            options_.fault = "normal";
        }
    }

    Options options_;
    Log log_;
    Terminal terminal_;
    Bytes received_;
    Clock::time_point lastByteAt_;
    Clock::time_point backAt_;
    std::vector<PendingWrite> pending_;
    int selected_ = 1;
    std::uint32_t noise_ = 20261210;
};

bool parseInt(const char* text, int low, int high, int* value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) {
        return false;
    }
    *value = static_cast<int>(v);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--micro") {
            microStamps = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "cantrel-devsim: %s needs a value\n%s", arg.c_str(), Usage);
            return 2;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (arg == "--link") {
            options.link = value;
        } else if (arg == "--log") {
            options.log = value;
        } else if (arg == "--fault") {
            options.fault = value;
            ok = knownMode(options.fault);
        } else if (arg == "--control") {
            options.control = value;
        } else if (arg == "--selected") {
            ok = parseInt(value, 1, 16, &options.selected);
        } else if (arg == "--late-ms") {
            ok = parseInt(value, 0, 60000, &options.lateMs);
        } else if (arg == "--down-ms") {
            ok = parseInt(value, 0, 600000, &options.downMs);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "cantrel-devsim: bad option %s %s\n%s", arg.c_str(), value, Usage);
            return 2;
        }
    }

    struct sigaction stop {};
    stop.sa_handler = requestStop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGHUP, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    return Device(options).run();
}
