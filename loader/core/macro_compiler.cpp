#include "core/macro_compiler.h"

#include "core/text_lines.h"

#include <cctype>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsLetterOrDigit(char c) { return IsLetter(c) || IsDigit(c); }

bool IsValidMacroName(const std::string& name)
{
    if (name.empty() || name.size() > size_t(CMacroCompiler::kMaxNameLength))
        return false;
    if (!IsLetter(name[0]) && name[0] != '_')
        return false;
    for (char c : name)
        if (!IsLetterOrDigit(c) && c != '_')
            return false;
    return true;
}

// A version-1 number must read back the same through a decimal conversion:
// digits only, no sign, no leading zero.
bool ReadsBackAsDecimal(const std::string& text)
{
    if (text.empty() || text.size() > 9 || (text.size() > 1 && text[0] == '0'))
        return false;
    for (char c : text)
        if (!IsDigit(c))
            return false;
    return true;
}

const char kEscapedQuote[] = "\\\"";

}  // namespace

const char* const CMacroCompiler::g_macroKeywords[kKeywordCount + 1] = {
    nullptr, "*PONMAC", "*DEMOMAC", "xm", "xmq", "xa", "xaq", "m"};

int CMacroCompiler::TokenizeMacroLine(const std::string& line, std::vector<std::string>& tokens,
                                      bool* quoteOpen)
{
    tokens.clear();
    std::string token;
    bool inToken = false;
    bool inQuote = false;
    auto finish = [&] {
        tokens.push_back(token);
        token.clear();
        inToken = false;
    };
    for (size_t i = 0; i < line.size(); i++) {
        const char c = line[i];
        const bool escaped = i > 0 && line[i - 1] == '\\';
        if (c == '*' && i + 1 < line.size() && line[i + 1] == '/' && i + 1 < 127)
            break;
        if (inQuote) {
            token += c;
            if (c == '"' && !escaped) {
                inQuote = false;
                finish();
            }
            continue;
        }
        if (c == '/')
            break;
        if (IsSpace(c)) {
            if (inToken)
                finish();
            continue;
        }
        if (c == '"' && !escaped)
            inQuote = true;
        else if (IsDigit(c) && tokens.empty() && inToken && !IsDigit(token.back()))
            finish();
        token += c;
        inToken = true;
    }
    if (inToken)
        finish();
    if (quoteOpen)
        *quoteOpen = inQuote;
    return int(tokens.size());
}

int CMacroCompiler::FindMacroKeyword(const std::string& token)
{
    for (int k = 1; k <= kKeywordCount; k++)
        if (token == g_macroKeywords[k])
            return k;
    return 0;
}

int CMacroCompiler::FindMacroByName(const std::string& name, int count) const
{
    for (int k = 1; k <= count && k <= MacroCount(); k++)
        if (g_macroNames[size_t(k)] == name)
            return k;
    return 0;
}

int CMacroCompiler::FindMacroByNameOrNumber(const std::string& text, int count) const
{
    const std::string key = text.substr(0, text.find(':'));
    if (key.empty())
        return 0;
    for (int k = 1; k <= count && k <= MacroCount(); k++)
        if (g_macroNames[size_t(k)] == key || g_macroNumbers[size_t(k)] == key)
            return k;
    return 0;
}

bool CMacroCompiler::CheckQuotedMacroToken(const std::string& token)
{
    const size_t n = token.size();
    auto doubled = [&](size_t i) { return i + 1 < n && token[i + 1] == '`'; };
    size_t open = std::string::npos;
    for (size_t i = 0; i < n; i++) {
        if (token[i] != '`')
            continue;
        if (doubled(i)) {
            i++;
            continue;
        }
        open = i;
        break;
    }
    if (open == std::string::npos)
        return false;
    size_t close = std::string::npos;
    for (size_t j = open + 1; j < n; j++) {
        if (token[j] != '`')
            continue;
        if (doubled(j)) {
            j++;
            continue;
        }
        if (token[j - 1] == '\\')
            continue;
        close = j;
        break;
    }
    if (close == std::string::npos)
        return false;
    const std::string inner = token.substr(open + 1, close - open - 1);
    switch (inner.size()) {
    case 0:
        return false;
    case 1:
        return IsLetterOrDigit(inner[0]);
    case 2:
        return IsLetter(inner[0]) && IsLetterOrDigit(inner[1]);
    default:
        return true;
    }
}

int CMacroCompiler::CheckMacroReferences(const std::vector<std::string>& tokens, int macroCount) const
{
    if (tokens.empty())
        return -1;
    const int keyword = FindMacroKeyword(tokens[0]);
    if (keyword == 0)
        return -1;
    const size_t args = tokens.size() - 1;
    auto resolves = [&](size_t i) {
        return FindMacroByNameOrNumber(tokens[i], macroCount) > 0 || CheckQuotedMacroToken(tokens[i]);
    };
    bool valid = false;
    switch (keyword) {
    case 1:  // *PONMAC
    case 7:  // m
        valid = args >= 1 && resolves(1);
        break;
    case 2:  // *DEMOMAC
        valid = args == 1 && resolves(1);
        break;
    case 3:  // xm
    case 4:  // xmq
        valid = (args == 2 || args == 3) && resolves(2) && (args < 3 || resolves(3));
        break;
    default:  // xa, xaq
        valid = args >= 3 && resolves(3);
        break;
    }
    return valid ? 1 : 0;
}

int CMacroCompiler::ReplaceMacroNames(std::vector<std::string>& tokens, int macroCount) const
{
    std::string written;
    int replaced = 0;
    for (size_t i = 1; i < tokens.size(); i++) {
        if (CheckQuotedMacroToken(tokens[i]))
            continue;
        const int k = FindMacroByNameOrNumber(tokens[i], macroCount);
        if (k == 0)
            continue;
        if (replaced++)
            written += ", ";
        written += tokens[i];
        const size_t colon = tokens[i].find(':');
        tokens[i] = std::to_string(k) + (colon == std::string::npos ? std::string() : tokens[i].substr(colon));
    }
    if (replaced)
        tokens.push_back(" //" + written);
    return replaced;
}

std::string CMacroCompiler::StripMacroComment(const std::string& line)
{
    size_t start = 0;
    while (start < line.size() && IsBlank(line[start]))
        start++;
    size_t end = line.size();
    bool inQuote = false;
    for (size_t i = start; i < line.size(); i++) {
        if (line[i] == '"' && !(i > 0 && line[i - 1] == '\\')) {
            inQuote = !inQuote;
        } else if (!inQuote && line[i] == '/' && i + 1 < line.size() && line[i + 1] == '/') {
            end = i;
            while (end > start && IsBlank(line[end - 1]))
                end--;
            break;
        }
    }
    return line.substr(start, end - start);
}

bool CMacroCompiler::MacroLineForImage(const std::string& line, std::string& stored) const
{
    std::vector<std::string> tokens;
    if (TokenizeMacroLine(line, tokens) == 0)
        return false;
    if (FindMacroKeyword(tokens[0]) == 0 || ReplaceMacroNames(tokens, MacroCount()) == 0) {
        stored = StripMacroComment(line);
        return true;
    }
    const std::string note = tokens.back();
    tokens.pop_back();
    stored = tokens[0];
    for (size_t i = 1; i < tokens.size(); i++)
        stored += ' ' + tokens[i];
    // The controller runs lines of at most 128 characters; the note is only
    // for people reading a listing.
    if (stored.size() + note.size() <= size_t(kMaxLineLength))
        stored += note;
    return true;
}

bool CMacroCompiler::Compile(const QString& path, UserInterface& ui, bool showWarnings)
{
    g_macroNames.assign(1, std::string());
    g_macroNumbers.assign(1, std::string());
    g_macroFileVersion = 0;
    m_bodies.clear();

    auto error = [&](const QString& text) {
        ui.messageBox(text, "Macro format error", UserInterface::Icon::Error);
        return false;
    };
    int pendingWarning = 0;
    auto flushWarning = [&] {
        if (pendingWarning && showWarnings)
            ui.messageBox(QString::asprintf("Warning on line: %d\n\nParenthesis mismatch\n"
                                            "This may cause the macro to malfunction\n"
                                            "If you are trying to print a quotation you must use "
                                            "an escaped quote: %s",
                                            pendingWarning, kEscapedQuote),
                          "Macro format warning", UserInterface::Icon::Exclamation);
        pendingWarning = 0;
    };

    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines)) {
        ui.messageBox("Access denied!\nFile cannot be opened for Read", path, UserInterface::Icon::Error);
        return false;
    }

    // Pass 1: the form of every line, the defines and their nesting.
    int depth = 0;
    int lineNumber = 0;
    bool ok = true;
    std::vector<std::string> tokens;
    for (const std::string& line : lines) {
        flushWarning();
        lineNumber++;
        bool quoteOpen = false;
        if (TokenizeMacroLine(line, tokens, &quoteOpen) == 0)
            continue;
        if (line.size() > size_t(kMaxLineLength)) {
            ok = error(QString::asprintf("Error on line %d\n\nEach line must be %d ASCII characters or less",
                                         lineNumber, kMaxLineLength));
            break;
        }
        if (quoteOpen)
            pendingWarning = lineNumber;

        if (tokens[0] == "#end") {
            depth--;
        } else if (tokens[0] == "#define") {
            if (g_macroFileVersion == 0)
                g_macroFileVersion = tokens.size() == 2 ? 2 : 1;
            const size_t wanted = g_macroFileVersion == 1 ? 3 : 2;
            if (tokens.size() != wanted) {
                ok = error(QString::asprintf(
                    "Error on line %d\n#define has incorrect number of valid arguments\n"
                    "#define on line %d has %d arguments.\n"
                    "You have inputed a version %d macro file according to the first define.\n\n"
                    "Version 1 defines need two arguments.\nVersion 2 defines need one argument.",
                    lineNumber, lineNumber, int(tokens.size()) - 1, g_macroFileVersion));
                break;
            }
            const int k = MacroCount() + 1;
            const std::string& name = tokens[1];
            if (!IsValidMacroName(name)) {
                ok = error(QString::asprintf("Error on line %d\nProblem with: \"%s\"\n\nInvalid macro name\n"
                                             "Macro names must start with a letter or an underscore but "
                                             "thereafter can also include digits\n"
                                             "They must also be no longer than %d characters",
                                             lineNumber, name.c_str(), kMaxNameLength));
                break;
            }
            std::string number = std::to_string(k);
            if (g_macroFileVersion == 1) {
                if (!ReadsBackAsDecimal(tokens[2])) {
                    ok = error(QString::asprintf("Error on line %d\nProblem with: \"%s\"\n\nInvalid macro number\n"
                                                 "Macro numbers must only contain digits\n",
                                                 lineNumber, tokens[2].c_str()));
                    break;
                }
                if (tokens[2] != number) {
                    ok = error(QString::asprintf("Error on line %d\n\nInvalid macro number\n"
                                                 "Macro numbers must be incremented by 1 starting at 1",
                                                 lineNumber));
                    break;
                }
                number = tokens[2];
            }
            if (k > kMaxMacros) {
                ok = error(QString::asprintf("Too many macros. Max supported is %d", kMaxMacros));
                break;
            }
            if (FindMacroByName(name, k - 1)) {
                ok = error(QString::asprintf("Error on line %d\nProblem with: \"%s\"\n\nDuplicate macro found",
                                             lineNumber, name.c_str()));
                break;
            }
            g_macroNames.push_back(name);
            g_macroNumbers.push_back(number);
            m_bodies.push_back({lineNumber, {}});
            depth++;
        } else if (depth == 1) {
            m_bodies.back().lines.push_back({lineNumber, line});
        }
        if (depth < 0 || depth > 1) {
            ok = error(QString::asprintf("Error on line: %d\n\n#Define/#End mismatch", lineNumber));
            break;
        }
    }
    if (ok && depth != 0)
        ok = error(QString::asprintf("Error on line %d\n\n#Define/#End mismatch", lineNumber));
    flushWarning();

    // Pass 2: every macro call names a declared macro.
    for (size_t m = 0; ok && m < m_bodies.size(); m++) {
        for (const BodyLine& body : m_bodies[m].lines) {
            TokenizeMacroLine(body.text, tokens);
            if (CheckMacroReferences(tokens, MacroCount()) == 0) {
                ok = error(QString::asprintf("Error on line %d\n\nUndeclared macro identifier\n"
                                             "If you are trying to print a quotation you must use an "
                                             "escaped quote: %s\nAll arguments must be seperated with spaces",
                                             body.lineNumber, kEscapedQuote));
                break;
            }
        }
    }
    if (ok && MacroCount() == 0)
        ok = error("No macro numbers found inside macro file");
    return ok;
}
