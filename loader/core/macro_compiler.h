// The macro file: named blocks of controller command lines,
//   #define name number   (version 1)   or   #define name   (version 2)
//   ...command lines...
//   #end
// The first "#define" fixes the version for the whole file.  Compiling checks
// the file in two passes, with the messages users know, and yields the table
// of macro names and numbers and each macro's body; the builder stores the
// bodies in the memory image with macro names in calls replaced by numbers.
#pragma once

#include "core/ui.h"

#include <QString>

#include <string>
#include <vector>

class CMacroCompiler {
public:
    static constexpr int kMaxLineLength = 128;  // characters, without the line end
    static constexpr int kMaxNameLength = 63;
    static constexpr int kMaxMacros = 255;      // the image stores the number in one byte
    static constexpr int kKeywordCount = 7;
    // The lines that call macros, by their first token; index 1..7 (0 unused).
    static const char* const g_macroKeywords[kKeywordCount + 1];

    struct BodyLine {
        int lineNumber;    // in the macro file, from 1
        std::string text;  // without CR and LF
    };
    struct Macro {
        int defineLine;
        std::vector<BodyLine> lines;  // the lines between "#define" and "#end" that hold tokens
    };

    // The two passes of "Add Macro File".  False after the first error, shown
    // in a "Macro format error" box; warnings ("Macro format warning") only
    // when showWarnings is set.  The tables then hold what was filled so far.
    bool Compile(const QString& path, UserInterface& ui, bool showWarnings = true);

    int MacroCount() const { return int(g_macroNames.size()) - 1; }
    // Body of macro k (1..MacroCount()) at index k - 1.
    const std::vector<Macro>& Bodies() const { return m_bodies; }

    // Splits a line into tokens: white space separates them outside double
    // quotes; a '/' outside quotes, or "*/" within the first 127 characters,
    // ends the line; a double quote (not after a backslash) opens a quoted
    // part that runs to the next unescaped quote and ends the token; a digit
    // after the non-digits of the first token starts the second (m5 is m, 5).
    // Returns the token count; an unterminated quoted token counts and sets
    // *quoteOpen.
    static int TokenizeMacroLine(const std::string& line, std::vector<std::string>& tokens,
                                 bool* quoteOpen = nullptr);
    // 1..7 for a macro keyword, else 0.
    static int FindMacroKeyword(const std::string& token);
    // Macro number 1..count of the name, or 0.
    int FindMacroByName(const std::string& name, int count) const;
    // The macro whose name or number text equals text up to its first ':', or 0.
    int FindMacroByNameOrNumber(const std::string& text, int count) const;
    // True for a back-quoted token such as `a`, `ab` or `abc`.
    static bool CheckQuotedMacroToken(const std::string& token);
    // 1 valid, 0 invalid, -1 not a keyword line.
    int CheckMacroReferences(const std::vector<std::string>& tokens, int macroCount) const;
    // Replaces each argument that names a macro (and is not back-quoted) by
    // its number, keeping a ":label" part, and appends the arguments as
    // written behind " //" as one extra token.  Returns how many it replaced.
    int ReplaceMacroNames(std::vector<std::string>& tokens, int macroCount) const;

    // The text the memory image stores for a body line: a macro call rebuilt
    // with numbers, or the line from its first non-blank character without
    // its "//" comment.  False for a line without tokens, which is not stored.
    // The rebuilt form drops its trailing " //names" when the line would
    // otherwise be longer than kMaxLineLength.
    bool MacroLineForImage(const std::string& line, std::string& stored) const;
    // The line from its first non-blank character up to the first "//" outside
    // double quotes, without the blanks before it.
    static std::string StripMacroComment(const std::string& line);

    std::vector<std::string> g_macroNames{std::string()};    // slot k: name of macro k; slot 0 empty
    std::vector<std::string> g_macroNumbers{std::string()};  // slot k: number text of macro k
    int g_macroFileVersion = 0;

private:
    std::vector<Macro> m_bodies;
};
