// Checks the installer's payload catalogue against the payload list, so that
// the two can never drift apart: every row's id and name must be a catalogue
// (or sheets) entry of the list and every such entry a row, and the counts
// that the installed programs rely on must hold.
//
// Usage: cataloguecheck <payload list> <stamp file>
// Writes the stamp only when everything holds; otherwise names each problem
// on standard error and exits 1.

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../payload/catalogue.h"
#include "payloadlist.h"

struct Counts {
    int required = 0;
    int readOnlyHidden = 0;
    int readOnlyOnly = 0;
    int hiddenOnly = 0;
    int neither = 0;
    int oldBaseSkip = 0;
};

static Counts CountRows(void)
{
    Counts c;
    for (const CatalogueRow &row : PayloadCatalogue) {
        c.required += row.required != 0;
        c.oldBaseSkip += row.oldBaseSkip != 0;
        if (row.readOnly && row.hidden)
            c.readOnlyHidden++;
        else if (row.readOnly)
            c.readOnlyOnly++;
        else if (row.hidden)
            c.hiddenOnly++;
        else
            c.neither++;
    }
    return c;
}

static void Expect(int actual, int expected, const char *what, int &problems)
{
    if (actual == expected)
        return;
    std::fprintf(stderr, "catalogue: %d %s, expected %d\n", actual, what, expected);
    problems++;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: cataloguecheck <payload list> <stamp file>\n");
        return 2;
    }
    std::vector<PayloadListEntry> entries;
    std::string error;
    if (!ReadPayloadList(argv[1], entries, error)) {
        std::fprintf(stderr, "%s", error.c_str());
        return 1;
    }

    std::map<int, std::string> listed;      // catalogue and sheets entries by id
    for (const PayloadListEntry &entry : entries)
        if (entry.limitClass == "catalogue" || entry.limitClass == "sheets")
            listed[entry.id] = entry.fileName;

    int problems = 0;
    std::set<int> seen;
    int previousPosition = 10;              // the sequence starts at 10
    for (int i = 0; i < kCatalogueRowCount; i++) {
        const CatalogueRow &row = PayloadCatalogue[i];
        const char *name = row.fileName ? row.fileName : "";
        if (!seen.insert(row.resourceId).second) {
            std::fprintf(stderr, "catalogue row %d: id %d appears twice\n", i + 1, row.resourceId);
            problems++;
        }
        auto found = listed.find(row.resourceId);
        if (found == listed.end()) {
            std::fprintf(stderr, "catalogue row %d: id %d (%s) is no catalogue entry of %s\n", i + 1,
                         row.resourceId, name, argv[1]);
            problems++;
        } else if (found->second != name) {
            std::fprintf(stderr, "catalogue row %d: id %d is \"%s\" here but \"%s\" in %s\n", i + 1,
                         row.resourceId, name, found->second.c_str(), argv[1]);
            problems++;
        }
        if (row.position && row.position <= previousPosition) {
            std::fprintf(stderr, "catalogue row %d: position %d does not advance\n", i + 1,
                         row.position);
            problems++;
        }
        if (row.position)
            previousPosition = row.position;
    }
    for (const auto &entry : listed)
        if (!seen.count(entry.first)) {
            std::fprintf(stderr, "%s: id %d (%s) has no catalogue row\n", argv[1], entry.first,
                         entry.second.c_str());
            problems++;
        }

    Counts c = CountRows();
    Expect((int)seen.size(), 115, "distinct ids", problems);
    Expect(c.required, 26, "required rows", problems);
    Expect(c.oldBaseSkip, 4, "old-base skip rows", problems);
    Expect(c.readOnlyHidden, 52, "read-only and hidden rows", problems);
    Expect(c.readOnlyOnly, 56, "read-only only rows", problems);
    Expect(c.hiddenOnly, 1, "hidden only rows", problems);
    Expect(c.neither, 6, "rows neither read-only nor hidden", problems);
    if (problems)
        return 1;

    FILE *stamp = std::fopen(argv[2], "wb");
    if (!stamp || std::fclose(stamp) != 0) {
        std::fprintf(stderr, "cataloguecheck: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
