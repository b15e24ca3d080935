// The floor for the lateness benchmark: the least a program can do to reach
// the device on each second. It sleeps to the start of each second with an
// absolute sleep on the wall clock and writes the row's request at once, with
// the same priority the program's device thread asks for, then reads the
// answer as the program would. Rows as the benchmark's schedule has them: one
// a second from --first (seconds since the epoch), outputs 2 to 16 in turn.
//   cantrel-bench-floor --link PATH --first SECONDS --rows N

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

namespace {

unsigned char checksum(const unsigned char* bytes) {
    return static_cast<unsigned char>(((bytes[0] + bytes[1] + bytes[2]) ^ 0x7B) & 0x7F);
}

// Reads what answers within 100 ms, as the program's read does.
void drainAnswer(int fd) {
    unsigned char buffer[64];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 100) > 0 && read(fd, buffer, sizeof buffer) > 0) {
        p.revents = 0;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string link;
    long long first = 0;
    int rows = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--link")
            link = argv[i + 1];
        else if (arg == "--first")
            first = std::atoll(argv[i + 1]);
        else if (arg == "--rows")
            rows = std::atoi(argv[i + 1]);
    }
    if (link.empty() || first <= 0 || rows <= 0) {
        std::fprintf(stderr, "usage: cantrel-bench-floor --link PATH --first SECONDS --rows N\n");
        return 2;
    }
    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (fd < 0 || tcgetattr(fd, &raw) != 0) {
        std::perror("cantrel-bench-floor: open");
        return 1;
    }
    cfmakeraw(&raw);
    cfsetspeed(&raw, B38400); // a pseudo-terminal takes any rate; the bytes are what count
    tcsetattr(fd, TCSANOW, &raw);
    sched_param param{};
    param.sched_priority = 1;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param); // as the program asks; fine without

    for (int i = 0; i < rows; ++i) {
        const timespec at{static_cast<time_t>(first + i), 0};
        while (clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &at, nullptr) == EINTR) {
        }
        unsigned char request[4] = {0xFD, 0x00, static_cast<unsigned char>(i % 15 + 2), 0};
        request[3] = checksum(request);
        if (write(fd, request, sizeof request) != sizeof request) {
            std::perror("cantrel-bench-floor: write");
            return 1;
        }
        drainAnswer(fd);
    }
    close(fd);
    return 0;
}
