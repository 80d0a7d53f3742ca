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

}  // namespace fwtest
