// Whole files and resource-script text, shared by the host tools.
#pragma once

#include <string>

// Reads the whole file into data; 0 when it cannot be read.
int ReadWholeFile(const std::string &path, std::string &data);

// Writes data to path unless the file already holds exactly that; goes
// through a temporary file and a rename so that an interrupted build never
// leaves a half-written output with a new timestamp. Sets written when the
// file was (re)written. Unchanged outputs keep their timestamps, so nothing
// downstream rebuilds.
int WriteIfChanged(const std::string &path, const std::string &data, bool &written);

// Quotes a path for a resource script string: the resource compiler reads
// backslash escapes and a doubled quote.
std::string QuoteForResourceScript(const std::string &path);
