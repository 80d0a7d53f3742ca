// The drawing-state stack ("ss", "sr", per macro depth) and the helpers
// that command handlers share: colour texts, text-mode names, tokens and
// escaped text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/KM_macros.h"
#include "app/command.h"
#include "graphics/GUI.h"
#include "support/host.h"

namespace {

using fwtest::command;
using fwtest::visible;

const std::string OK = ">\r";

struct Context {
    int penSize, lineStyle, drawMode, textAlign, textMode, x, y;
    const char* modeName;
};

Context context()
{
    Context c{};
    fwtest::on_firmware([&c] {
        c.penSize = GUI_GetPenSize();
        c.lineStyle = GUI_GetLineStyle();
        c.drawMode = GUI_GetDrawMode();
        c.textAlign = GUI_GetTextAlign();
        c.textMode = GUI_GetTextMode();
        c.x = GUI_GetDispPosX();
        c.y = GUI_GetDispPosY();
        c.modeName = curTextMode;
    });
    return c;
}

void send(const std::vector<std::string>& lines)
{
    for (const std::string& l : lines)
        ASSERT_EQ(visible(command(l)), visible(OK)) << "\"" << l << "\"";
}

TEST(DrawingState, SaveAndRestoreGiveEverythingBack)
{
    fwtest::boot_to_prompt();
    send({"s 2 3", "p 4", "d x", "o 100 50", "sc 10 20", "f 20B"});
    fwtest::on_firmware([] {
        GUI_SetLineStyle(2);
        GUI_SetTextAlign(5);
        setTextMode("TR");
    });
    send({"ss", "s 1 0", "p 1", "d n", "o 0 0", "f 12"});
    fwtest::on_firmware([] {
        GUI_SetLineStyle(0);
        GUI_SetTextAlign(0);
        setTextMode("N");
    });
    send({"sr"});
    EXPECT_EQ(visible(command("S")), visible("FF0000 (001F) 00FF00 (07E0)\r>\r")) << "colours after sr";
    EXPECT_EQ(visible(command("p")), visible("4\r>\r")) << "pen after sr";
    EXPECT_EQ(visible(command("o")), visible("100 50\r>\r")) << "origin after sr";
    EXPECT_EQ(visible(command("f")), visible("20B\r>\r")) << "font after sr";
    Context c = context();
    EXPECT_EQ(c.drawMode, GUI_DRAWMODE_XOR) << "draw mode after sr";
    EXPECT_EQ(c.lineStyle, 2) << "line style after sr";
    EXPECT_EQ(c.textAlign, 5) << "alignment after sr";
    EXPECT_EQ(c.textMode, 6) << "text mode after sr";
    EXPECT_STREQ(c.modeName, "TR") << "text-mode name after sr";
    EXPECT_EQ(c.x, 110) << "text position after sr";
    EXPECT_EQ(c.y, 70) << "text position after sr";
}

TEST(DrawingState, EachMacroDepthHasItsOwnRecord)
{
    fwtest::boot_to_prompt();
    send({"s 2 3", "ss"});
    fwtest::on_firmware([] { macroDepth = 1; });
    send({"s 5 1", "ss", "s 0 0", "sr"});
    EXPECT_EQ(visible(command("S")), visible("0000FF (F800) FFFFFF (FFFF)\r>\r")) << "depth 1 restores its own record";
    fwtest::on_firmware([] { macroDepth = 0; });
    send({"sr"});
    EXPECT_EQ(visible(command("S")), visible("FF0000 (001F) 00FF00 (07E0)\r>\r"))
        << "a save at depth 1 overwrote the host's record";
    fwtest::on_firmware([] { macroDepth = 2; });
    EXPECT_EQ(visible(command("sr")), visible("!\r"))
        << "a record never saved must not be restored";
    fwtest::on_firmware([] { macroDepth = 7; });
    EXPECT_EQ(visible(command("ss")), visible("!\r"));
    fwtest::on_firmware([] { macroDepth = 0; });
}

TEST(DrawingState, StartUpFillsTheHostsRecord)
{
    fwtest::boot_to_prompt();
    send({"s 2 3", "p 6", "sr"});
    EXPECT_EQ(visible(command("S")), visible("000000 (0000) FFFFFF (FFFF)\r>\r"))
        << "start-up leaves black on white in record 0";
    EXPECT_EQ(visible(command("p")), visible("1\r>\r"));
    EXPECT_EQ(visible(command("ss x")), visible("!\r")) << "ss takes no arguments";
}

TEST(CommandHelpers, ColourTexts)
{
    EXPECT_EQ(atoRGB(" 0F0"), 0x00FF00);
    EXPECT_EQ(atoRGB("F80"), 0xFF8800);
    EXPECT_EQ(atoRGB("12345"), -1);
    EXPECT_EQ(atoRGB("1234567"), -1);
    EXPECT_EQ(atoRGB("12G456"), 0x12) << "a character that is no digit ends a six-digit number";
    EXPECT_EQ(atoRGB("0x00FF"), 0x0000FF) << "six characters are read as \"%x\" reads them, 0x and all";
    EXPECT_EQ(atoRGB("0X0F0F"), 0x000F0F);
    EXPECT_EQ(atoRGB("-00001"), -1) << "\"%x\" takes a sign too";
    EXPECT_EQ(atoRGB("0x0"), 0x000000) << "three characters are three digits, x counting as 0";
    EXPECT_EQ(atoBGR("0000FF"), 0xFF0000u);
    EXPECT_EQ(atoBGR("xy"), 0xFFFFFFu) << "a refused text is white";
    uint32_t c = 0;
    EXPECT_TRUE(readColorWord("F00", &c));
    EXPECT_EQ(c, 0x0000FFu);
    EXPECT_TRUE(readColorWord(" 00ff00", &c));
    EXPECT_EQ(c, 0x00FF00u);
    for (const char* bad : {"", "F0", "F000", "12G456", "red", "0x00FF"})
        EXPECT_FALSE(readColorWord(bad, &c)) << "\"" << bad << "\" read as a colour";
    EXPECT_EQ(atoh('7'), 7);
    EXPECT_EQ(atoh('c'), 12);
    EXPECT_EQ(atoh('F'), 15);
    EXPECT_EQ(atoh('g'), 0);
    char digit = 'b';
    toHex(&digit);
    EXPECT_EQ(digit, 11);
    EXPECT_EQ(shtoU8("4a"), 0x4A);
    EXPECT_EQ(shtoU8("A0"), 0xA0);
    EXPECT_EQ(color_map[5], 0x0000FFu) << "entry 5 is red";
    EXPECT_EQ(color_map[19], 0xFF0000u) << "entry 19 is blue";
}

TEST(CommandHelpers, TextModeNames)
{
    fwtest::boot_to_prompt();
    struct Case {
        const char* name;
        int result, mode;
        const char* kept;
    };
    const std::vector<Case> cases = {
        {"N", 1, 0, "N"}, {"X", 1, 1, "X"}, {"T", 1, 2, "T"}, {"R", 1, 4, "R"},
        {"TR", 1, 6, "TR"}, {"TRX", 1, 6, "TR"}, {"Q", 0, 6, "TR"}, {"", 0, 6, "TR"},
    };
    for (const Case& c : cases) {
        int result = 0, mode = 0, last = 0;
        const char* kept = 0;
        fwtest::on_firmware([&] {
            result = setTextMode(c.name);
            mode = GUI_GetTextMode();
            last = getTextMode();
            kept = curTextMode;
        });
        EXPECT_EQ(result, c.result) << "setTextMode(\"" << c.name << "\")";
        EXPECT_EQ(mode, c.mode) << "text mode after \"" << c.name << "\"";
        EXPECT_EQ(last, c.mode) << "last text mode after \"" << c.name << "\"";
        EXPECT_STREQ(kept, c.kept) << "text-mode name after \"" << c.name << "\"";
    }
}

// What escstrl makes of a line: the bytes, where rest points, the length.
struct Escaped {
    bool found;
    std::string bytes, rest;
};

Escaped escape(const std::string& line)
{
    // Text after the terminating NUL would be read by a decoder that runs on.
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back(0);
    const std::string tail = "\"LEAK\\";
    buf.insert(buf.end(), tail.begin(), tail.end());
    buf.push_back(0);
    char* rest = reinterpret_cast<char*>(1);
    int length = -1;
    char* s = escstrl(buf.data(), '"', &rest, &length);
    if (!s) {
        EXPECT_EQ(rest, nullptr) << "rest after \"" << line << "\"";
        return {false, "", ""};
    }
    EXPECT_LE(rest, buf.data() + line.size()) << "\"" << line << "\": rest points past the end of the line";
    return {true, std::string(s, static_cast<size_t>(length)), std::string(rest)};
}

TEST(CommandHelpers, EscapedText)
{
    struct Case {
        std::string line;
        bool found;
        std::string bytes, rest;
    };
    const std::vector<Case> cases = {
        {"t \"A\\x41\\n\" 10 20", true, "AA\n", " 10 20"},
        {"\"a\\rb\\0c\"", true, std::string("a\rb\0c", 5), ""},
        {"\"back\\\\slash \\\"quoted\\\"\" x", true, "back\\slash \"quoted\"", " x"},
        {"\"\\X4a\\q\"", true, "Jq", ""},
        {"\"unclosed", true, "unclosed", ""},
        {"\"ends in a backslash\\", true, "ends in a backslash", ""},
        {"\"short \\x4", true, "short x4", ""},
        {"\"short \\x", true, "short x", ""},
        {"\"not hex \\xg1\"", true, "not hex xg1", ""},
        {"\"\\x4\" 1 2", true, "x4", " 1 2"},
        {"no quote", false, "", ""},
        {"", false, "", ""},
    };
    for (const Case& c : cases) {
        Escaped e = escape(c.line);
        EXPECT_EQ(e.found, c.found) << "\"" << c.line << "\"";
        EXPECT_EQ(visible(e.bytes), visible(c.bytes)) << "decoding \"" << c.line << "\"";
        EXPECT_EQ(e.rest, c.rest) << "rest of \"" << c.line << "\"";
    }
    char line[] = "say \"hi\" now";
    char* rest = 0;
    EXPECT_STREQ(escstr(line, '"', &rest), "hi");
    EXPECT_STREQ(rest, " now");
}

TEST(CommandHelpers, TokensBlanksAndComments)
{
    struct Tok {
        std::string s;
        std::string token, rest;
        bool null;
    };
    const std::vector<Tok> toks = {
        {"abc<def>ghi", "abc", "def>ghi", false},
        {"<<abc<<def", "<<abc", "def", false},
        {"abc", "abc", "", false},
        {"", "", "", true},
    };
    for (const Tok& t : toks) {
        std::vector<char> buf(t.s.begin(), t.s.end());
        buf.push_back(0);
        char* rest = reinterpret_cast<char*>(1);
        char* got = strtokr(buf.data(), '<', &rest);
        if (t.null) {
            EXPECT_EQ(got, nullptr) << "strtokr(\"" << t.s << "\")";
            EXPECT_EQ(rest, nullptr) << "strtokr(\"" << t.s << "\") rest";
            continue;
        }
        EXPECT_EQ(std::string(got), t.token) << "strtokr(\"" << t.s << "\")";
        EXPECT_EQ(std::string(rest), t.rest) << "strtokr(\"" << t.s << "\") rest";
    }
    char* none = reinterpret_cast<char*>(1);
    EXPECT_EQ(strtokr(nullptr, '<', &none), nullptr);
    EXPECT_EQ(none, nullptr);

    struct Cut {
        std::string line, kept;
        int left;
    };
    const std::vector<Cut> cuts = {
        {"t \"a // b\" 1 2", "t \"a // b\" 1 2", 1},
        {"l 1 2 3 4   // a line", "l 1 2 3 4", 1},
        {"l 1 2 3 4 ///", "l 1 2 3 4", 1},
        {"// only", "", 0},
        {"\"quoted // start\" // cut", "\"quoted // start\"", 1},
        {"t \"a \\\" // b\"", "t \"a \\\" // b\"", 1},
        {"vers  ", "vers  ", 1},
    };
    for (const Cut& c : cuts) {
        std::vector<char> buf(c.line.begin(), c.line.end());
        buf.push_back(0);
        EXPECT_EQ(killTrailingComment(buf.data()), c.left) << "\"" << c.line << "\"";
        EXPECT_EQ(std::string(buf.data()), c.kept) << "comment cut from \"" << c.line << "\"";
    }
    char blanks[] = " \t x";
    EXPECT_STREQ(skipLeadingWhitespace(blanks), "x");
    char only[] = "   ";
    EXPECT_STREQ(skipLeadingWhitespace(only), "");
    EXPECT_EQ(skipLeadingWhitespace(nullptr), nullptr);
}

}  // namespace
