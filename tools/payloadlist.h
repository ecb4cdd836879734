// Reader of the payload list (resources/payload.list), shared by the packer
// and the demo payload maker so that both see the same entries.
#pragma once

#include <string>
#include <vector>

// One line of the list.
struct PayloadListEntry {
    int id;                  // resource id, 1..65535
    std::string limitClass;  // "catalogue", "sheets", "agreement" or "speech"
    std::string fileName;    // plain name inside the payload folder
    int line;                // line number in the list, for messages
};

// Reads and validates the list at path. Returns 1 and fills entries, or 0
// with a message of the form "<path>:<line>: <problem>" in error; every
// problem found is reported, one per line.
int ReadPayloadList(const std::string &path, std::vector<PayloadListEntry> &entries, std::string &error);
