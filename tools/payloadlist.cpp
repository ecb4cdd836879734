/*
 * Payload list format (resources/payload.list).
 *
 * A text file, one entry per line, fields separated by blanks or tabs:
 *
 *     <id> <class> <file name> [<pos> <attr> <kind> <size> <content>]
 *
 *   id         decimal resource id, 1..65535; no id may appear twice, since
 *              two resources of type "TEXT" with one id would make the
 *              installer's lookup ambiguous
 *   class      "catalogue", "sheets", "agreement" or "speech": which run-time
 *              buffer inflates the file, and so how large it may be (the
 *              limits themselves are checked by the packer)
 *   file name  a plain name inside the payload folder, without blanks,
 *              without '/' or '\', and not "." or ".."
 *
 * The five described fields are all given or all left out; "-" is none:
 *
 *   pos        "-" or the progress position 1..100 set before the row
 *   attr       "RH", "R-", "-H" or "--": read-only and hidden
 *   kind       "required" or "optional", either with "/oldbase"
 *   size       "-" or the file's size in bytes
 *   content    what the demo payload makes (it knows the words)
 *
 * pos, attr and kind belong to the rows of the catalogue (classes
 * catalogue and sheets) and are "-" on the other entries.
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
#include <vector>

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

// Parses a decimal number of 0..limit; returns -1 when text is anything else.
static long long ParseNumber(const std::string &text, long long limit)
{
    if (text.empty() || text.size() > 12)
        return -1;
    for (char c : text)
        if (c < '0' || c > '9')
            return -1;
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    return value <= limit ? value : -1;
}

// Reads the five described fields of words into entry; returns "" or the
// problem.
static std::string ReadDescription(const std::vector<std::string> &words, PayloadListEntry &entry)
{
    const std::string &pos = words[0], &attr = words[1], &kind = words[2];
    const std::string &size = words[3], &content = words[4];
    bool isRow = entry.limitClass == "catalogue" || entry.limitClass == "sheets";
    entry.described = true;
    if (!isRow && (pos != "-" || attr != "-" || kind != "-"))
        return "pos, attr and kind are \"-\" on an entry of class " + entry.limitClass;
    if (isRow) {
        long long position = pos == "-" ? 0 : ParseNumber(pos, 100);
        if (position < 0 || (pos != "-" && position == 0))
            return "'" + pos + "' is no progress position of 1..100";
        if (attr.size() != 2 || (attr[0] != 'R' && attr[0] != '-') || (attr[1] != 'H' && attr[1] != '-'))
            return "attr '" + attr + "' is none of RH, R-, -H, --";
        std::string base = kind;
        size_t slash = kind.find('/');
        if (slash != std::string::npos) {
            base = kind.substr(0, slash);
            if (kind.substr(slash) != "/oldbase")
                base = "";
        }
        if (base != "required" && base != "optional")
            return "kind '" + kind + "' is none of required, optional, required/oldbase, optional/oldbase";
        entry.position = (int)position;
        entry.readOnly = attr[0] == 'R';
        entry.hidden = attr[1] == 'H';
        entry.required = base == "required";
        entry.oldBaseSkip = slash != std::string::npos;
    }
    entry.size = size == "-" ? -1 : ParseNumber(size, 0xFFFFFFFFll);
    if (size != "-" && entry.size < 0)
        return "size '" + size + "' is no number of bytes";
    entry.content = content;
    return "";
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
        std::vector<std::string> words;
        for (std::string rest = afterClass, next; !rest.empty(); rest = next)
            words.push_back(TakeWord(rest, next));
        std::string fileName = words.empty() ? "" : words[0];
        std::string nameProblem = CheckFileName(fileName);
        if (!nameProblem.empty()) {
            problems << where << nameProblem << "\n";
            continue;
        }
        PayloadListEntry entry;
        entry.id = id;
        entry.limitClass = className;
        entry.fileName = fileName;
        entry.line = lineNumber;
        words.erase(words.begin());
        if (words.size() != 0 && words.size() != 5) {
            problems << where << "after the file name come all five of pos, attr, kind, size and content"
                     << " or none\n";
            continue;
        }
        std::string fieldProblem = words.empty() ? "" : ReadDescription(words, entry);
        if (!fieldProblem.empty()) {
            problems << where << fieldProblem << "\n";
            continue;
        }
        auto seen = firstLineOfId.find(id);
        if (seen != firstLineOfId.end()) {
            problems << where << "duplicate id " << id << " (" << fileName << "); id " << id
                     << " is already used on line " << seen->second << "\n";
            continue;
        }
        firstLineOfId[id] = lineNumber;
        entries.push_back(entry);
    }
    if (in.bad())
        problems << path << ": read error\n";
    error = problems.str();
    if (!error.empty() && error.back() == '\n')
        error.pop_back();
    return error.empty() ? 1 : 0;
}
