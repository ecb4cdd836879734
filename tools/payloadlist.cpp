/*
 * Payload list format (resources/payload.list).
 *
 * A text file, one entry per line, three fields separated by blanks or tabs:
 *
 *     <id> <class> <file name>
 *
 *   id         decimal resource id, 1..65535; no id may appear twice, since
 *              two resources of type "TEXT" with one id would make the
 *              installer's lookup ambiguous
 *   class      "catalogue", "sheets", "agreement" or "speech": which run-time
 *              buffer inflates the file, and so how large it may be (the
 *              limits themselves are checked by the packer)
 *   file name  the rest of the line with surrounding blanks removed: a plain
 *              name inside the payload folder, without '/' or '\', and not
 *              "." or ".."; blanks inside the name are kept
 *
 * Blank lines and lines whose first non-blank character is '#' are
 * ignored. A CR before the line feed is dropped, so a list edited on Windows
 * reads the same.
 */
#include "payloadlist.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

static const char *const kLimitClasses[] = {"catalogue", "sheets", "agreement", "speech"};

static bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

static std::string TrimBlanks(const std::string &text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first]))
        first++;
    while (last > first && IsBlank(text[last - 1]))
        last--;
    return text.substr(first, last - first);
}

// Splits off the first blank-separated word of text; rest receives what
// follows it, with the separating blanks removed.
static std::string TakeWord(const std::string &text, std::string &rest)
{
    size_t end = 0;
    while (end < text.size() && !IsBlank(text[end]))
        end++;
    rest = TrimBlanks(text.substr(end));
    return text.substr(0, end);
}

static bool IsKnownClass(const std::string &name)
{
    for (const char *known : kLimitClasses)
        if (name == known)
            return true;
    return false;
}

// Parses a decimal id of 1..65535; returns 0 when text is anything else.
static int ParseId(const std::string &text)
{
    if (text.empty() || text.size() > 5)
        return 0;
    for (char c : text)
        if (c < '0' || c > '9')
            return 0;
    long value = std::strtol(text.c_str(), nullptr, 10);
    return (value >= 1 && value <= 65535) ? (int)value : 0;
}

static std::string CheckFileName(const std::string &name)
{
    if (name.empty())
        return "missing file name";
    if (name == "." || name == "..")
        return "file name '" + name + "' names a folder";
    if (name.find_first_of("/\\") != std::string::npos)
        return "file name '" + name + "' holds a path separator; payload files lie directly in the payload folder";
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F)
            return "file name holds a control character";
    return "";
}

int ReadPayloadList(const std::string &path, std::vector<PayloadListEntry> &entries, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream problems;
    std::map<int, int> firstLineOfId;
    std::string text;
    int lineNumber = 0;

    entries.clear();
    if (!in) {
        error = path + ": cannot open the payload list";
        return 0;
    }
    while (std::getline(in, text)) {
        lineNumber++;
        std::string line = TrimBlanks(text);
        if (line.empty() || line[0] == '#')
            continue;

        std::string afterId, afterClass;
        std::string idText = TakeWord(line, afterId);
        std::string className = TakeWord(afterId, afterClass);
        std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        int id = ParseId(idText);
        if (id == 0) {
            problems << where << "'" << idText << "' is not a resource id of 1..65535\n";
            continue;
        }
        if (!IsKnownClass(className)) {
            problems << where << "unknown limit class '" << className
                     << "' (expected catalogue, sheets, agreement or speech)\n";
            continue;
        }
        std::string nameProblem = CheckFileName(afterClass);
        if (!nameProblem.empty()) {
            problems << where << nameProblem << "\n";
            continue;
        }
        auto seen = firstLineOfId.find(id);
        if (seen != firstLineOfId.end()) {
            problems << where << "duplicate id " << id << " (" << afterClass << "); id " << id
                     << " is already used on line " << seen->second << "\n";
            continue;
        }
        firstLineOfId[id] = lineNumber;
        entries.push_back(PayloadListEntry{id, className, afterClass, lineNumber});
    }
    if (in.bad())
        problems << path << ": read error\n";
    error = problems.str();
    if (!error.empty() && error.back() == '\n')
        error.pop_back();
    return error.empty() ? 1 : 0;
}
