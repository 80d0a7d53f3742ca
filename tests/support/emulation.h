// Whether this machine runs 32-bit x86 programs through user-mode emulation:
// an enabled binfmt_misc handler for i386 ELF programs, which the kernel
// tries before its own ELF loader (scripts/deps.sh registers one where the
// kernel does not run them itself).  Benchmarks say so beside their figures.
#pragma once

#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <string>

namespace fwtest {

// The name of the enabled i386 handler, empty when 32-bit programs run natively.
inline std::string i386_emulation_handler()
{
    const std::string dir = "/proc/sys/fs/binfmt_misc/";
    DIR* d = opendir(dir.c_str());
    if (!d)
        return "";
    std::string found;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || name == "register" || name == "status")
            continue;
        std::ifstream f(dir + name);
        std::string line, state;
        bool i386 = false;
        std::getline(f, state);
        while (std::getline(f, line))
            // ELF class 1, data 1 (bytes 4 and 5) and machine 3 (bytes 18 and 19).
            if (line.rfind("magic 7f454c460101", 0) == 0 && line.size() >= 6 + 40 && line.compare(6 + 36, 4, "0300") == 0)
                i386 = true;
        if (i386 && state == "enabled") {
            found = name;
            break;
        }
    }
    closedir(d);
    return found;
}

// One line for a benchmark's output when its 32-bit programs are emulated.
inline void print_emulation_note(std::FILE* out = stdout)
{
    std::string h = i386_emulation_handler();
    if (!h.empty())
        std::fprintf(out,
                     "note: 32-bit programs run through user-mode emulation on this machine (binfmt_misc %s): "
                     "ratios between figures hold, absolute times do not\n",
                     h.c_str());
}

}  // namespace fwtest
