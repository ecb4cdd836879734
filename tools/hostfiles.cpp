#include "hostfiles.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

int ReadWholeFile(const std::string &path, std::string &data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return 0;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? 0 : 1;
}

int WriteIfChanged(const std::string &path, const std::string &data, bool &written)
{
    std::string old;
    written = false;
    if (ReadWholeFile(path, old) && old == data)
        return 1;
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return 0;
        out.write(data.data(), (std::streamsize)data.size());
        out.close();
        if (!out)
            return 0;
    }
    std::error_code failure;
    fs::rename(temporary, path, failure);
    if (failure)
        return 0;
    written = true;
    return 1;
}

std::string QuoteForResourceScript(const std::string &path)
{
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"')
            quoted += "\"\"";
        else if (c == '\\')
            quoted += "\\\\";
        else
            quoted += c;
    }
    return quoted + "\"";
}
