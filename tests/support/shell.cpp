#include "support/shell.h"

#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>

namespace fwtest {

Outcome run(const std::string& cmd)
{
    std::string full = "MTOOLS_SKIP_CHECK=1 " + cmd + " 2>&1";
    FILE* p = popen(full.c_str(), "r");
    if (!p)
        return {-1, ""};
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int st = pclose(p);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

void must(const std::string& cmd)
{
    Outcome r = run(cmd);
    if (r.status != 0)
        throw std::runtime_error("fixture command failed: " + cmd + "\n" + r.out);
}

void make_card(const std::string& path)
{
    std::remove(path.c_str());
    must("mkfs.fat -C -F 16 -s 2 -n VELMCARD " + path + " 16384 >/dev/null");
}

void put_on_card(const std::string& card, const std::string& src, const std::string& name)
{
    must("mcopy -o -i " + card + " " + src + " '::" + name + "'");
}

uint64_t free_on_card(const std::string& card)
{
    const std::string out = run("mdir -i " + card + " ::").out;
    const size_t end = out.find("bytes free");
    if (end == std::string::npos)
        throw std::runtime_error("mdir tells no free space of " + card + ": " + out);
    std::string digits;  // "16 694 272 bytes free"
    for (size_t i = out.rfind('\n', end) + 1; i < end; ++i)
        if (out[i] >= '0' && out[i] <= '9')
            digits += out[i];
    return std::stoull(digits);
}

}  // namespace fwtest
