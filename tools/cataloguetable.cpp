// Makes the installer's payload catalogue table from the payload list, the
// one place the catalogue is written, and checks what the installed
// programs rely on before the installer is built: the number of rows, which
// rows are required, which carry each attribute, which belong to the old word
// base, and progress positions that only advance; and that no file the
// catalogue leaves writable is a program.
//
//     cataloguetable LIST FROM OUT
//
// FROM is the folder the payload is packed from: the total size of the
// catalogue's files there is what the installer must find free on the
// drive. OUT is a C++ source defining PayloadCatalogue and
// PayloadCatalogueBytes (payload/catalogue.h); it is left untouched when it
// already holds the same table. On any problem each one is named on
// standard error, OUT is not written and the exit code is 1.

#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../payload/catalogue.h"
#include "hostfiles.h"
#include "payloadlist.h"

// Which rows (numbered from 1) carry each mark. Counting the marks alone
// would let two rows swap theirs unnoticed; a deliberate change of a mark
// changes the list and this table together.
struct Pin {
    const char *mark;
    int count;
    const char *rows;  // ranges "a-b" and single rows, blank-separated
    bool (*carries)(const PayloadListEntry &row);
};

static const Pin kPins[] = {
    {"read-only and hidden", 52, "1-3 5-6 8-24 26-42 74-75 103-104 107-115",
     [](const PayloadListEntry &r) { return r.readOnly && r.hidden; }},
    {"read-only only", 56, "7 43-73 76-97 101-102",
     [](const PayloadListEntry &r) { return r.readOnly && !r.hidden; }},
    {"hidden only", 1, "4", [](const PayloadListEntry &r) { return !r.readOnly && r.hidden; }},
    {"neither read-only nor hidden", 6, "25 98-100 105-106",
     [](const PayloadListEntry &r) { return !r.readOnly && !r.hidden; }},
    {"required", 26, "1-4 9-11 15-29 97 99-101", [](const PayloadListEntry &r) { return r.required; }},
    {"old base", 4, "25 98-100", [](const PayloadListEntry &r) { return r.oldBaseSkip; }},
};

// Row numbers of a pin's ranges, marked in a table of rowCount + 1 entries.
static std::vector<bool> PinnedRows(const char *ranges, int rowCount)
{
    std::vector<bool> pinned(rowCount + 1, false);
    for (const char *p = ranges; *p;) {
        char *end;
        long first = std::strtol(p, &end, 10), last = first;
        if (*end == '-')
            last = std::strtol(end + 1, &end, 10);
        for (long row = first; row <= last; row++)
            if (row >= 1 && row <= rowCount)
                pinned[row] = true;
        while (*end == ' ')
            end++;
        p = end;
    }
    return pinned;
}

// A file name as a C string literal. Bytes of 0x80 and above are escaped:
// the installer is compiled with a GBK execution character set, which would
// re-encode them, and a name must reach the file system byte for byte.
static std::string Literal(const std::string &name)
{
    std::string out = "\"";
    for (unsigned char c : name) {
        char escaped[8];
        if (c >= 0x80 || c == '"' || c == '?') {
            std::snprintf(escaped, sizeof escaped, "\\%03o", c);
            out += escaped;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

// Installed programs run as whoever starts them; users may write the files
// that are not read-only (the word base the programs learn into).
static bool IsProgramName(const std::string &name)
{
    static const char *const kProgramEndings[] = { ".exe", ".dll", ".ocx", ".cpl", ".scr", ".com", ".sys" };
    std::string lower;
    for (char c : name)
        lower += (char)std::tolower((unsigned char)c);
    for (const char *ending : kProgramEndings) {
        size_t length = std::strlen(ending);
        if (lower.size() >= length && lower.compare(lower.size() - length, length, ending) == 0)
            return true;
    }
    return false;
}

static std::string Table(const std::vector<PayloadListEntry> &rows, unsigned long long totalBytes)
{
    std::string text = "// Made by tools/cataloguetable from resources/payload.list: change the list.\n"
                       "#include \"payload/catalogue.h\"\n\n"
                       "const CatalogueRow PayloadCatalogue[kCatalogueRowCount] = {\n"
                       "    // pos, RO, H, required, old-base skip,    id, file name\n";
    for (const PayloadListEntry &row : rows) {
        char line[64];
        std::snprintf(line, sizeof line, "    { %3d, %d, %d, %d, %d, %5d, ", row.position, row.readOnly, row.hidden,
                      row.required, row.oldBaseSkip, row.id);
        text += line + Literal(row.fileName) + " },\n";
    }
    char total[96];
    std::snprintf(total, sizeof total, "};\n\nconst unsigned long PayloadCatalogueBytes = %lluUL;\n", totalBytes);
    return text + total;
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: cataloguetable LIST FROM OUT\n");
        return 2;
    }
    std::vector<PayloadListEntry> entries, rows;
    std::string error;
    if (!ReadPayloadList(argv[1], entries, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    int problems = 0;
    int previousPosition = 10;  // the sequence starts at 10
    unsigned long long totalBytes = 0;
    for (const PayloadListEntry &entry : entries) {
        if (entry.limitClass != "catalogue" && entry.limitClass != "sheets")
            continue;
        rows.push_back(entry);
        std::string data;
        if (!ReadWholeFile(std::string(argv[2]) + "/" + entry.fileName, data)) {
            std::fprintf(stderr, "%s/%s: cannot be read\n", argv[2], entry.fileName.c_str());
            problems++;
        }
        totalBytes += data.size();
        if (!entry.readOnly && IsProgramName(entry.fileName)) {
            std::fprintf(stderr, "%s:%d: %s is a program but not read-only: users could change it\n", argv[1],
                         entry.line, entry.fileName.c_str());
            problems++;
        }
        if (!entry.described) {
            std::fprintf(stderr, "%s:%d: catalogue row %s without pos, attr and kind\n", argv[1], entry.line,
                         entry.fileName.c_str());
            problems++;
        }
        if (entry.position && entry.position <= previousPosition) {
            std::fprintf(stderr, "%s:%d: position %d does not advance past %d\n", argv[1], entry.line,
                         entry.position, previousPosition);
            problems++;
        }
        if (entry.position)
            previousPosition = entry.position;
    }
    if ((int)rows.size() != kCatalogueRowCount) {
        std::fprintf(stderr, "%s: %zu catalogue rows, expected %d\n", argv[1], rows.size(),
                     (int)kCatalogueRowCount);
        return 1;
    }
    for (const Pin &pin : kPins) {
        std::vector<bool> pinned = PinnedRows(pin.rows, kCatalogueRowCount);
        int count = 0;
        for (int i = 1; i <= kCatalogueRowCount; i++) {
            const PayloadListEntry &row = rows[i - 1];
            count += pin.carries(row) ? 1 : 0;
            if (pin.carries(row) != pinned[i]) {
                std::fprintf(stderr, "%s:%d: row %d (%s) %s %s, against rows %s\n", argv[1], row.line, i,
                             row.fileName.c_str(), pinned[i] ? "is not" : "is", pin.mark, pin.rows);
                problems++;
            }
        }
        if (count != pin.count) {
            std::fprintf(stderr, "%s: %d rows %s, expected %d\n", argv[1], count, pin.mark, pin.count);
            problems++;
        }
    }
    if (problems)
        return 1;

    bool written = false;
    if (!WriteIfChanged(argv[3], Table(rows, totalBytes), written)) {
        std::fprintf(stderr, "cataloguetable: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
