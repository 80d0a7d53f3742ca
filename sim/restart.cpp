#include "restart.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace sim {

namespace {

const char* const kVariable = "VELM_SIM_HANDOVER";

// Every descriptor above standard error closes on exec, except those kept.
void close_on_exec_all_but(const std::vector<int>& keep)
{
    DIR* d = opendir("/proc/self/fd");
    if (!d)
        return;
    const int own = dirfd(d);
    while (dirent* e = readdir(d)) {
        char* end;
        long fd = std::strtol(e->d_name, &end, 10);
        if (*end || end == e->d_name || fd <= 2 || fd == own)
            continue;
        int flags = fcntl(static_cast<int>(fd), F_GETFD);
        if (flags < 0)
            continue;
        const bool kept = std::find(keep.begin(), keep.end(), static_cast<int>(fd)) != keep.end();
        fcntl(static_cast<int>(fd), F_SETFD, kept ? (flags & ~FD_CLOEXEC) : (flags | FD_CLOEXEC));
    }
    closedir(d);
}

}  // namespace

bool take_handover(Handover* out)
{
    const char* v = std::getenv(kVariable);
    if (!v)
        return false;
    // One far end a line: uart1, uart2, then the page's socket.
    std::string text = v;
    unsetenv(kVariable);
    size_t a = text.find('\n');
    size_t b = a == std::string::npos ? a : text.find('\n', a + 1);
    if (b == std::string::npos)
        return false;
    out->uart1 = text.substr(0, a);
    out->uart2 = text.substr(a + 1, b - a - 1);
    out->http_fd = std::atoi(text.c_str() + b + 1);
    return true;
}

void restart_program(char** argv, const Handover& handover, const std::vector<int>& keep)
{
    std::string text = handover.uart1 + "\n" + handover.uart2 + "\n" + std::to_string(handover.http_fd);
    setenv(kVariable, text.c_str(), 1);
    close_on_exec_all_but(keep);
    std::fflush(stdout);
    std::fflush(stderr);
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        execv(self, argv);
    }
    std::fprintf(stderr, "cannot start the board again: %s\n", std::strerror(errno));
}

}  // namespace sim
