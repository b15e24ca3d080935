// Port I/O for Linux. A write goes to the parallel-port driver (ppdev) when the
// address belongs to a port that this machine has, and to a trace file when
// CANTREL_PORT_TRACE names one; both may be active. Without either the write is
// dropped; PortProblem tells the program so, and why, and the program says it
// only where that port is the connection in force.
//
// Address mapping (base, base + 1 status, base + 2 control):
//   0x378 -> /dev/parport0, override with CANTREL_PARPORT_378=/dev/parportN
//   0x278 -> /dev/parport1, override with CANTREL_PARPORT_278=/dev/parportN
// Any other address has no device; its writes reach only the trace.
//
// Trace line, appended and flushed per write, local time:
//   2026-12-10 06:55:01.123 0378 FE

#include "inpout32.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/parport.h>
#include <linux/ppdev.h>
#define INPOUT32_HAVE_PPDEV 1
#endif

namespace {

struct ParallelPort {
    ParallelPort(unsigned short b, const char* device, const char* variable)
        : base(b), defaultDevice(device), overrideVariable(variable) {}

    unsigned short base;
    const char* defaultDevice;
    const char* overrideVariable;
    int fd = -1;
    std::string problem; // why there is no device
};

struct State {
    std::mutex mutex;
    ParallelPort ports[2] = {{0x378, "/dev/parport0", "CANTREL_PARPORT_378"},
                             {0x278, "/dev/parport1", "CANTREL_PARPORT_278"}};
    // Without a device the data register still reads back what was written.
    std::map<unsigned short, unsigned char> latch;
    bool toldTraceFailure = false;

    ~State() {
        for (ParallelPort& port : ports) {
            if (port.fd >= 0) {
#ifdef INPOUT32_HAVE_PPDEV
                ioctl(port.fd, PPRELEASE);
#endif
                close(port.fd);
            }
        }
    }
};

State& state() {
    static State s;
    return s;
}

ParallelPort* portFor(State& s, unsigned short address, int* offset) {
    for (ParallelPort& port : s.ports) {
        if (address >= port.base && address <= port.base + 2) {
            *offset = address - port.base;
            return &port;
        }
    }
    return nullptr;
}

// Opened on first use and kept claimed: claiming per write would let another
// driver grab the port between the two writes of a pulse. A port that is not
// there is tried again at each use, so one that comes later is taken up.
int deviceOf(ParallelPort& port) {
    if (port.fd >= 0) {
        return port.fd;
    }
    const char* chosen = std::getenv(port.overrideVariable);
    const std::string path = chosen && *chosen ? chosen : port.defaultDevice;
#ifdef INPOUT32_HAVE_PPDEV
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        port.problem = path + ": " + std::strerror(errno);
        return -1;
    }
    if (ioctl(fd, PPCLAIM) < 0) {
        port.problem = path + ": cannot claim the port: " + std::strerror(errno);
        close(fd);
        return -1;
    }
    port.fd = fd;
#else
    port.problem = path + ": no parallel-port driver on this system";
#endif
    return port.fd;
}

bool writeDevice(ParallelPort& port, int offset, unsigned char value) {
    const int fd = deviceOf(port);
    if (fd < 0) {
        return false;
    }
#ifdef INPOUT32_HAVE_PPDEV
    if (offset == 0) {
        return ioctl(fd, PPWDATA, &value) == 0;
    }
    if (offset == 2) {
        return ioctl(fd, PPWCONTROL, &value) == 0;
    }
#endif
    // The status register is read-only; the hardware ignores such a write too.
    (void)value;
    return offset == 1;
}

bool readDevice(ParallelPort& port, int offset, unsigned char* value) {
    const int fd = deviceOf(port);
    if (fd < 0) {
        return false;
    }
#ifdef INPOUT32_HAVE_PPDEV
    const unsigned long requests[3] = {PPRDATA, PPRSTATUS, PPRCONTROL};
    return ioctl(fd, requests[offset], value) == 0;
#else
    (void)offset;
    (void)value;
    return false;
#endif
}

int openTrace(const char* path) {
    return open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

bool writeTrace(State& s, unsigned short address, unsigned char value) {
    const char* path = std::getenv("CANTREL_PORT_TRACE");
    if (!path || !*path) {
        return false;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char line[64];
    size_t length = std::strftime(line, sizeof line, "%Y-%m-%d %H:%M:%S", &local);
    length += std::snprintf(line + length, sizeof line - length, ".%03ld %04X %02X\n",
                            now.tv_nsec / 1000000L, static_cast<unsigned>(address),
                            static_cast<unsigned>(value));

    // Opened per write so that a trace file removed or replaced between runs
    // of a test is created again; one write() per line keeps lines whole.
    const int fd = openTrace(path);
    if (fd < 0) {
        if (!s.toldTraceFailure) {
            s.toldTraceFailure = true;
            std::fprintf(stderr, "inpout32: cannot open the trace %s: %s\n", path,
                         std::strerror(errno));
        }
        return false;
    }
    const bool written = write(fd, line, length) == static_cast<ssize_t>(length);
    close(fd);
    return written;
}

} // namespace

extern "C" short Inp32(short portAddress) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const auto address = static_cast<unsigned short>(portAddress);
    int offset = 0;
    unsigned char value = 0xFF;
    if (ParallelPort* port = portFor(s, address, &offset);
        port && readDevice(*port, offset, &value)) {
        return value;
    }
    const auto latched = s.latch.find(address);
    return latched != s.latch.end() ? latched->second : 0xFF;
}

extern "C" void Out32(short portAddress, short data) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const auto address = static_cast<unsigned short>(portAddress);
    const auto value = static_cast<unsigned char>(data & 0xFF);
    s.latch[address] = value;

    int offset = 0;
    ParallelPort* port = portFor(s, address, &offset);
    if (port) {
        writeDevice(*port, offset, value);
    }
    writeTrace(s, address, value);
}

extern "C" int PortProblem(short portAddress, char* why, int size) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const auto address = static_cast<unsigned short>(portAddress);
    int offset = 0;
    ParallelPort* port = portFor(s, address, &offset);
    if (port && deviceOf(*port) >= 0) {
        return 0;
    }
    if (const char* trace = std::getenv("CANTREL_PORT_TRACE"); trace && *trace) {
        const int fd = openTrace(trace);
        if (fd >= 0) {
            close(fd);
            return 0;
        }
    }
    if (why && size > 0) {
        std::snprintf(why, static_cast<size_t>(size), "%s",
                      port ? port->problem.c_str() : "no parallel port is known at this address");
    }
    return 1;
}
