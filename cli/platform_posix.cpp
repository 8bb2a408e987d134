// POSIX: names are bytes, passed through as they are.
#include "platform.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::atomic<bool>* interruptFlag = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// The first SIGINT or SIGTERM asks the run to stop; the next one of either kind ends the
// process at once, as it would have without the handler.
void onInterrupt(int) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    interruptFlag->store(true);
}

#ifdef MAP_POPULATE
constexpr int populate = MAP_POPULATE;
#else
constexpr int populate = 0;
#endif

} // namespace

bool occupyClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number: fd itself, since the ones below it are open by now.
        const int null = open("/dev/null", O_RDONLY);
        if (null < 0)
            return false;
        if (null != fd) {
            const bool moved = dup2(null, fd) == fd;
            close(null);
            if (!moved)
                return false;
        }
    }
    return true;
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path pathFromUtf8(const std::string& name) {
    return std::filesystem::path(name);
}

std::string utf8Name(const std::filesystem::path& path) {
    return path.string();
}

std::FILE* openFile(const std::string& name, const char* mode) {
    return std::fopen(name.c_str(), mode);
}

bool isTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

int terminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// The handler takes itself off both signals, so a second Ctrl-C or SIGTERM (or one of each)
// ends the process at once. Each signal is blocked while the handler runs for the other.
void stopOnInterrupt(std::atomic<bool>& stop) {
    interruptFlag = &stop;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void ignoreBrokenPipes() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

// The pass's first touch of thousands of fresh pages one fault at a time costs a noticeable
// share of a whole run; MAP_POPULATE maps them all in one call.
void* allocateFrameMemory(size_t bytes) {
    void* memory =
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | populate, -1, 0);
    return memory == MAP_FAILED ? nullptr : memory;
}

void releaseFrameMemory(void* memory, size_t bytes) {
    if (memory != nullptr)
        munmap(memory, bytes);
}
