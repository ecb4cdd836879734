// Reader of the payload list (resources/payload.list), shared by the packer,
// the demo payload maker and the catalogue generator so that all see the
// same entries.
#pragma once

#include <string>
#include <vector>

// One line of the list.
struct PayloadListEntry {
    int id;                  // resource id, 1..65535
    std::string limitClass;  // "catalogue", "sheets", "agreement" or "speech"
    std::string fileName;    // plain name inside the payload folder
    int line;                // line number in the list, for messages
    // The described fields, when the line gives them; pos, attr and kind
    // only on a catalogue row (class catalogue or sheets).
    bool described = false;
    int position = 0;        // 0: none
    bool readOnly = false, hidden = false;
    bool required = false, oldBaseSkip = false;
    long long size = -1;     // -1: whatever the source gives
    std::string content;     // what the demo payload makes
};

// Reads and validates the list at path. Returns 1 and fills entries, or 0
// with a message of the form "<path>:<line>: <problem>" in error; every
// problem found is reported, one per line.
int ReadPayloadList(const std::string &path, std::vector<PayloadListEntry> &entries, std::string &error);
