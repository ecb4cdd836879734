// The payload catalogue: every file the install sequence writes, in the order
// it writes them. The rows are written once, in resources/payload.list; the
// build makes the table from there (tools/cataloguetable, which also checks
// them). Plain data without platform headers, so that the host tool shares
// the row count.
#pragma once

struct CatalogueRow {
    int position;               // progress position set before the row; 0 leaves it
    int resourceId;
    const char *fileName;       // installed name in the installation folder
    unsigned char readOnly;
    unsigned char hidden;
    unsigned char required;     // a failure ends the installation
    unsigned char oldBaseSkip;  // part of the word base the user may keep
};

enum { kCatalogueRowCount = 115 };

extern const CatalogueRow PayloadCatalogue[kCatalogueRowCount];
// The size of all the catalogue's files together, as packed into the
// installer: what the installation folder's drive must have free.
extern const unsigned long PayloadCatalogueBytes;
