// The macro-file compiler: every message it gives, the files it accepts, and
// the pieces the builder relies on (tokens, back-quoted tokens, stored lines).
#include "core/macro_compiler.h"
#include "loader_support.h"

#include <gtest/gtest.h>

namespace {

const QString kEscapedQuote = "\\\"";

QByteArray Defines(int count)
{
    QByteArray text;
    for (int k = 1; k <= count; k++)
        text += "#define m_" + QByteArray::number(k) + "\nt " + QByteArray::number(k) + "\n#end\n";
    return text;
}

struct Outcome {
    bool compiled;
    std::vector<RecordedBox> boxes;
};

Outcome Compile(const QByteArray& text, CMacroCompiler* into = nullptr)
{
    Workdir dir;
    RecordingUi ui;
    CMacroCompiler local;
    CMacroCompiler& c = into ? *into : local;
    const bool ok = c.Compile(dir.Write("macros.mac", text), ui);
    return {ok, ui.boxes};
}

std::string Show(const QByteArray& text) { return text.left(200).toStdString(); }

}  // namespace

TEST(MacroCompiler, ReportsEachFaultOfAMacroFile)
{
    struct Case {
        const char* what;
        QByteArray file;
        QString message;
    };
    const QString mismatch = "Error on line: %1\n\n#Define/#End mismatch";
    const std::vector<Case> cases = {
        {"a line of 129 characters", "#define a\nt " + QByteArray(127, 'x') + "\n#end\n",
         "Error on line 2\n\nEach line must be 128 ASCII characters or less"},
        {"a version-1 define in a version-2 file", "#define a\n#end\n#define b 2\n#end\n",
         "Error on line 3\n#define has incorrect number of valid arguments\n#define on line 3 has 2 arguments.\n"
         "You have inputed a version 2 macro file according to the first define.\n\n"
         "Version 1 defines need two arguments.\nVersion 2 defines need one argument."},
        {"a version-2 define in a version-1 file", "#define a 1\r\n#end\r\n#define b\r\n#end\r\n",
         "Error on line 3\n#define has incorrect number of valid arguments\n#define on line 3 has 1 arguments.\n"
         "You have inputed a version 1 macro file according to the first define.\n\n"
         "Version 1 defines need two arguments.\nVersion 2 defines need one argument."},
        {"a name starting with a digit", "#define 9lives\n#end\n",
         "Error on line 1\nProblem with: \"9lives\"\n\nInvalid macro name\nMacro names must start with a letter "
         "or an underscore but thereafter can also include digits\nThey must also be no longer than 63 characters"},
        {"a name of 64 characters", "#define " + QByteArray(64, 'n') + "\n#end\n",
         "Error on line 1\nProblem with: \"" + QString(64, 'n') +
             "\"\n\nInvalid macro name\nMacro names must start with a letter or an underscore but thereafter can "
             "also include digits\nThey must also be no longer than 63 characters"},
        {"a name with a dash", "#define a\n#end\n#define bad-name\n#end\n",
         "Error on line 3\nProblem with: \"bad-name\"\n\nInvalid macro name\nMacro names must start with a letter "
         "or an underscore but thereafter can also include digits\nThey must also be no longer than 63 characters"},
        {"a number written 01", "#define a 01\n#end\n",
         "Error on line 1\nProblem with: \"01\"\n\nInvalid macro number\nMacro numbers must only contain digits\n"},
        {"a number with a sign", "#define a +1\n#end\n",
         "Error on line 1\nProblem with: \"+1\"\n\nInvalid macro number\nMacro numbers must only contain digits\n"},
        {"numbers 1 then 3", "#define a 1\n#end\n#define b 3\n#end\n",
         "Error on line 3\n\nInvalid macro number\nMacro numbers must be incremented by 1 starting at 1"},
        {"a 256th macro", Defines(256), "Too many macros. Max supported is 255"},
        {"a name defined twice", "#define a\n#end\n#define a\n#end\n",
         "Error on line 3\nProblem with: \"a\"\n\nDuplicate macro found"},
        {"a define inside a define", "#define a\n#define b\n#end\n#end\n", mismatch.arg(2)},
        {"an #end without a define", "\n#end\n", mismatch.arg(2)},
        {"a define never ended", "#define a\nt 1\n", "Error on line 2\n\n#Define/#End mismatch"},
        {"an xa call with two arguments", "#define a\nxa 1 2\n#end\n",
         "Error on line 2\n\nUndeclared macro identifier\nIf you are trying to print a quotation you must use an "
         "escaped quote: " + kEscapedQuote + "\nAll arguments must be seperated with spaces"},
        {"a call of an undeclared name", "#define a\r\nm nothere\r\n#end\r\n",
         "Error on line 2\n\nUndeclared macro identifier\nIf you are trying to print a quotation you must use an "
         "escaped quote: " + kEscapedQuote + "\nAll arguments must be seperated with spaces"},
        {"m7 with six macros", Defines(5) + "#define f\nm7\n#end\n",
         "Error on line 17\n\nUndeclared macro identifier\nIf you are trying to print a quotation you must use an "
         "escaped quote: " + kEscapedQuote + "\nAll arguments must be seperated with spaces"},
        {"*DEMOMAC with two arguments", "#define a\n*DEMOMAC a a\n#end\n",
         "Error on line 2\n\nUndeclared macro identifier\nIf you are trying to print a quotation you must use an "
         "escaped quote: " + kEscapedQuote + "\nAll arguments must be seperated with spaces"},
        {"a file without macros", "// nothing here\n\nt 1\n", "No macro numbers found inside macro file"},
    };
    for (const Case& c : cases) {
        const Outcome o = Compile(c.file);
        EXPECT_FALSE(o.compiled) << c.what << " compiled:\n" << Show(c.file);
        ASSERT_EQ(o.boxes.size(), 1u) << c.what;
        EXPECT_EQ(o.boxes[0].text, c.message) << c.what;
        EXPECT_EQ(o.boxes[0].title, "Macro format error") << c.what;
        EXPECT_EQ(o.boxes[0].icon, UserInterface::Icon::Error) << c.what;
    }
}

TEST(MacroCompiler, ReportsAMacroFileThatCannotBeRead)
{
    Workdir dir;
    RecordingUi ui;
    CMacroCompiler c;
    EXPECT_FALSE(c.Compile(dir.Path("gone.mac"), ui)) << "a missing macro file was taken as compiled";
    ASSERT_EQ(ui.boxes.size(), 1u) << "a missing macro file was passed over without a word";
    EXPECT_EQ(ui.boxes[0].text, "Access denied!\nFile cannot be opened for Read");
    EXPECT_EQ(ui.boxes[0].title, dir.Path("gone.mac"));
}

TEST(MacroCompiler, WarnsOfAnOpenQuoteAndGoesOn)
{
    const Outcome o = Compile("#define a\nt \"unterminated\n#end\n");
    EXPECT_TRUE(o.compiled) << "an open quote stopped the file";
    ASSERT_EQ(o.boxes.size(), 1u);
    EXPECT_EQ(o.boxes[0].text, "Warning on line: 2\n\nParenthesis mismatch\nThis may cause the macro to malfunction\n"
                               "If you are trying to print a quotation you must use an escaped quote: " +
                                   kEscapedQuote);
    EXPECT_EQ(o.boxes[0].title, "Macro format warning");
    EXPECT_EQ(o.boxes[0].icon, UserInterface::Icon::Exclamation);
}

TEST(MacroCompiler, AcceptsWellFormedFiles)
{
    struct Case {
        const char* what;
        QByteArray file;
        int macros;
    };
    const std::vector<Case> cases = {
        {"255 macros", Defines(255), 255},
        {"a version-1 file written on Windows", "\xEF\xBB\xBF#define a 1\r\nt 1\r\n#end\r\n#define b 2\r\nm a\r\n#end\r\n", 2},
        {"m5 calling macro 5", Defines(5) + "#define f\nm5\n#end\n", 6},
        {"xa whose third argument is a name", "#define a\n#end\n#define b\nxa 10 20 a\n#end\n", 2},
        {"xm with a label and a third argument", "#define a\n#end\n#define b\nxm 1 a:x1 `ab`\n#end\n", 2},
        {"back-quoted arguments", "#define a\nm `v`\n*PONMAC `abc` 1\n#end\n", 1},
        {"a line of 128 characters", "#define a\nt " + QByteArray(126, 'x') + "\n#end\n", 1},
        {"a long comment line", "#define a\n//" + QByteArray(200, '-') + "\n#end\n", 1},
        {"escaped quotes", "#define a\nt \"say \\\"hi\\\"\"\n#end\n", 1},
    };
    for (const Case& c : cases) {
        CMacroCompiler compiler;
        const Outcome o = Compile(c.file, &compiler);
        EXPECT_TRUE(o.compiled) << c.what << " was refused";
        EXPECT_TRUE(o.boxes.empty()) << c.what << ": " << (o.boxes.empty() ? "" : o.boxes[0].text.toStdString());
        EXPECT_EQ(compiler.MacroCount(), c.macros) << c.what;
    }
}

TEST(MacroCompiler, KeepsNamesAndNumbersBySlot)
{
    CMacroCompiler c;
    ASSERT_TRUE(Compile("#define first 1\n#end\n#define second 2\nt 2\n\nt 3\n#end\n", &c).compiled);
    EXPECT_EQ(c.g_macroFileVersion, 1);
    EXPECT_EQ(c.g_macroNames, (std::vector<std::string>{"", "first", "second"}));
    EXPECT_EQ(c.g_macroNumbers, (std::vector<std::string>{"", "1", "2"}));
    ASSERT_EQ(c.Bodies().size(), 2u);
    ASSERT_EQ(c.Bodies()[1].lines.size(), 2u) << "the body of second holds its two lines";
    EXPECT_EQ(c.Bodies()[1].lines[1].lineNumber, 6);
    EXPECT_EQ(c.Bodies()[1].lines[1].text, "t 3");
}

TEST(MacroCompiler, SplitsLinesIntoTokens)
{
    struct Case {
        std::string line;
        std::vector<std::string> tokens;
        bool quoteOpen;
    };
    const std::vector<Case> cases = {
        {"m5", {"m", "5"}, false},
        {"xm12 3", {"xm", "12", "3"}, false},
        {"55 a", {"55", "a"}, false},
        {"  xa  1\t2 ", {"xa", "1", "2"}, false},
        {"t \"a b\" c", {"t", "\"a b\"", "c"}, false},
        {"t \"q\"r", {"t", "\"q\"", "r"}, false},
        {"t \"a/b\"", {"t", "\"a/b\""}, false},
        {"t 1 // note", {"t", "1"}, false},
        {"t 1/2", {"t", "1"}, false},
        {"t a*/b", {"t", "a"}, false},
        {"t \\\"x", {"t", "\\\"x"}, false},
        {"t \"say \\\"hi\\\"\"", {"t", "\"say \\\"hi\\\"\""}, false},
        {"t \"open", {"t", "\"open"}, true},
        {"// all comment", {}, false},
        {"", {}, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> tokens;
        bool open = false;
        EXPECT_EQ(CMacroCompiler::TokenizeMacroLine(c.line, tokens, &open), int(c.tokens.size())) << c.line;
        EXPECT_EQ(tokens, c.tokens) << c.line;
        EXPECT_EQ(open, c.quoteOpen) << c.line;
    }
}

TEST(MacroCompiler, RecognisesBackQuotedTokens)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"`a`", true},    {"`7`", true},    {"`_`", false},    {"`ab`", true},    {"`a1`", true},
        {"`1a`", false},  {"`abc`", true},  {"`1-@`", true},   {"``a``", false},  {"`a", false},
        {"`a\\`", false}, {"x`ab`y", true}, {"abc", false},    {"``", false},
    };
    for (const auto& [token, quoted] : cases)
        EXPECT_EQ(CMacroCompiler::CheckQuotedMacroToken(token), quoted) << token;
}

TEST(MacroCompiler, GivesTheTextsTheImageStores)
{
    CMacroCompiler c;
    ASSERT_TRUE(Compile("#define blink\n#end\n#define show\n#end\n#define third\n#end\n", &c).compiled);
    const std::string longArgs = std::string(100, 'q');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"m blink", "m 1 //blink"},
        {"  m   blink  // go", "m 1 //blink"},
        {"xm 1 show:x1", "xm 1 2:x1 //1, show:x1"},
        {"xa 10 20 `v` third", "xa 10 20 `v` 3 //third"},
        {"m \"two  blanks\" blink", "m \"two  blanks\" 1 //blink"},
        {"m nothere", "m nothere"},
        {"fc FF0000   // red", "fc FF0000"},
        {"\tt \"a // b\" // c", "t \"a // b\""},
        {"t \\\"x // c", "t \\\"x"},
        {"m " + longArgs + " show", "m " + longArgs + " 2 //show"},
        {"m " + longArgs + " show blink third", "m " + longArgs + " 2 1 3"},
    };
    for (const auto& [line, stored] : cases) {
        std::string text;
        EXPECT_TRUE(c.MacroLineForImage(line, text)) << "'" << line << "' was not stored";
        EXPECT_EQ(text, stored) << "stored text of '" << line << "'";
        EXPECT_LE(text.size(), 128u) << "'" << line << "' is stored longer than the controller runs";
    }
    std::string text;
    EXPECT_FALSE(c.MacroLineForImage("   // only a comment", text)) << "a line without tokens was stored";
    EXPECT_FALSE(c.MacroLineForImage("", text)) << "an empty line was stored";
}
