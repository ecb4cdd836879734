// The payload catalogue: every file the install sequence writes, in the order
// it writes them. The rows are written once, in resources/payload.list; the
// build makes the table from there (tools/cataloguetable, which also checks
// them). Plain data without platform headers, so that the host tool shares
// the row count.
#pragma once

// Eight bytes a row: the list allows progress positions of 1..100 and
// 16-bit resource ids, as resources have.
struct CatalogueRow {
    unsigned char position;     // progress position set before the row; 0 leaves it
    unsigned char readOnly : 1;
    unsigned char hidden : 1;
    unsigned char required : 1;     // a failure ends the installation
    unsigned char oldBaseSkip : 1;  // part of the word base the user may keep
    unsigned short resourceId;
    const char *fileName;       // installed name in the installation folder
};

enum { kCatalogueRowCount = 115 };

extern const CatalogueRow PayloadCatalogue[kCatalogueRowCount];
// The row that installs `fileName`, in any letter case; null for a name no
// row installs.
const CatalogueRow *CatalogueRowNamed(const char *fileName);
// The size of all the catalogue's files together, as packed into the
// installer: what the installation folder's drive must have free.
extern const unsigned long PayloadCatalogueBytes;
