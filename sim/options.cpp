#include "options.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace sim {

namespace {

bool valid_far_end(const std::string& v)
{
    if (v == "pty" || v == "stdio" || v == "none")
        return true;
    if (v.rfind("tcp:", 0) == 0) {
        std::string port = v.substr(4);
        if (port == "auto")
            return true;
        if (port.empty() || port.find_first_not_of("0123456789") != std::string::npos)
            return false;
        long p = std::strtol(port.c_str(), nullptr, 10);
        return p > 0 && p < 65536;
    }
    return false;
}

void make_folders(const std::string& path)
{
    for (size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
}

}  // namespace

std::string state_folder(const std::string& build)
{
    std::string base;
    if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x)
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = std::string(h) + "/.local/state";
    else
        base = "/tmp";
    std::string dir = base + "/velm5plus/" + build;
    make_folders(dir);
    return dir;
}

std::string usage(const ProgramKind& kind)
{
    const std::string build = kind.takes_image ? "<build>" : kind.name;
    std::string text = "usage: " + kind.name + (kind.takes_image ? " --image FILE" : "") + " [options]\n";
    if (kind.takes_image)
        text += "Runs a board image of the arm tree on the simulated board, under ARM926 emulation.\n"
                "\n"
                "  --image FILE      the board image, build/arm/bin/<build>.elf\n"
                "  --build NAME      the firmware build whose board it runs on [named in the image]\n";
    else
        text += "Runs the " + build + " controller firmware on the simulated board.\n\n";
    return text +
           "  --uart1 pty|tcp:PORT|tcp:auto|stdio|none  far end of UART1, the command port [pty]\n"
           "  --uart2 pty|tcp:PORT|tcp:auto|stdio|none  far end of UART2, the auxiliary port [pty]\n"
           "                    (tcp:auto: a port the system picks, printed on the uart line)\n"
           "  --flash FILE      NOR flash contents, 32 MiB (created erased when missing)\n"
           "                    [$XDG_STATE_HOME/velm5plus/" + build + "/flash.bin]\n"
           "  --eeprom FILE     EEPROM contents (created blank when missing)\n"
           "                    [$XDG_STATE_HOME/velm5plus/" + build + "/eeprom.bin]\n"
           "  --sd FILE         SD card disk image; without it the slot is empty\n"
           "  --straps plain|E|N|26  board straps [plain]\n"
           "  --http PORT|auto  panel page and endpoints on 127.0.0.1, 0 = off, auto = a port\n"
           "                    the system picks, printed on the http line [8077]\n"
           "  --speed realtime|max   [realtime]\n"
           "  --help            this text\n";
}

bool parse_options(int argc, char** argv, const ProgramKind& kind, ProgramOptions* o, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string value;
        if (a == "--help" || a == "-h") {
            o->help = true;
            continue;
        }
        static const char* const known[] = {"--uart1", "--uart2", "--flash", "--eeprom", "--sd",
                                            "--straps", "--http", "--speed", "--image", "--build"};
        std::string opt = a.substr(0, a.find('='));
        const bool image_option = opt == "--image" || opt == "--build";
        if (std::find(std::begin(known), std::end(known), opt) == std::end(known) ||
            (image_option && !kind.takes_image)) {
            *error = a.rfind("--", 0) == 0 ? "unknown option " + opt : "unexpected argument '" + a + "'";
            return false;
        }
        if (a.find('=') != std::string::npos) {
            value = a.substr(a.find('=') + 1);
            a = a.substr(0, a.find('='));
        } else {
            if (i + 1 >= argc) {
                *error = "option " + a + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (a == "--uart1" || a == "--uart2") {
            if (!valid_far_end(value)) {
                *error = a + " takes pty, tcp:PORT, tcp:auto, stdio or none, not '" + value + "'";
                return false;
            }
            (a == "--uart1" ? o->uart1 : o->uart2) = value;
        } else if (a == "--flash") {
            o->board.flash = value;
        } else if (a == "--eeprom") {
            o->board.eeprom = value;
        } else if (a == "--sd") {
            o->board.sd = value;
        } else if (a == "--image") {
            o->image = value;
        } else if (a == "--build") {
            o->build = value;
        } else if (a == "--straps") {
            if (!parse_straps(value, &o->board.straps)) {
                *error = "--straps takes plain, E, N or 26, not '" + value + "'";
                return false;
            }
        } else if (a == "--http") {
            o->http_named = true;
            char* end = nullptr;
            errno = 0;
            long p = value == "auto" ? kAnyPort : std::strtol(value.c_str(), &end, 10);
            if (value != "auto" && (value.empty() || *end || errno || p < 0 || p > 65535)) {
                *error = "--http takes a port number 0..65535 or auto, not '" + value + "'";
                return false;
            }
            o->http_port = static_cast<int>(p);
        } else if (a == "--speed") {
            if (value == "realtime")
                o->board.speed = Speed::Realtime;
            else if (value == "max")
                o->board.speed = Speed::Max;
            else {
                *error = "--speed takes realtime or max, not '" + value + "'";
                return false;
            }
        }
    }
    if (o->uart1 == "stdio" && o->uart2 == "stdio") {
        *error = "only one UART can use standard input and output";
        return false;
    }
    if (kind.takes_image && o->image.empty() && !o->help) {
        *error = "--image names the board image to run";
        return false;
    }
    return true;
}

bool read_command_line(int argc, char** argv, const ProgramKind& kind, ProgramOptions* out, int* exit_code)
{
    std::string error;
    if (!parse_options(argc, argv, kind, out, &error)) {
        std::fprintf(stderr, "%s: %s\n\n%s", kind.name.c_str(), error.c_str(), usage(kind).c_str());
        *exit_code = 2;
        return false;
    }
    if (out->help) {
        std::fputs(usage(kind).c_str(), stdout);
        *exit_code = 0;
        return false;
    }
    return true;
}

void default_files(const std::string& build, ProgramOptions* o)
{
    if (o->board.flash.empty() || o->board.eeprom.empty()) {
        std::string dir = state_folder(build);
        if (o->board.flash.empty())
            o->board.flash = dir + "/flash.bin";
        if (o->board.eeprom.empty())
            o->board.eeprom = dir + "/eeprom.bin";
    }
}

}  // namespace sim
