// damagepayload: a copy of a packed payload's resource script in which some
// resources are damaged, for test builds of the installer that must meet a
// broken payload the way a bad download or a bad disk would hand it over.
//
//   damagepayload RC OUT ID=DAMAGE...
//     RC      payload.rc written by the packer
//     OUT     folder for the damaged <id>.z streams and payload.rc
//     DAMAGE  truncated  the first half of the resource's stream
//             adler      the stream with its Adler-32 (last byte) changed
//             zeros:N    a sound stream of N zero bytes, to go past a capacity
//                        at little cost
// Every other line of RC is copied as it is, so the undamaged resources stay
// the packer's own streams.

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <sstream>
#include <string>

#include <zlib.h>

#include "hostfiles.h"

static std::string Unquote(const std::string &quoted)
{
    std::string path;
    for (size_t i = 1; i + 1 < quoted.size(); i++) {
        if ((quoted[i] == '"' || quoted[i] == '\\') && i + 2 < quoted.size() && quoted[i + 1] == quoted[i])
            i++;
        path += quoted[i];
    }
    return path;
}

// The damaged stream for `damage`, made from the packer's `stream`; 0 for an
// unknown damage or a stream too short to damage.
static int Damage(const std::string &damage, const std::string &stream, std::string &damaged)
{
    if (damage == "truncated" && stream.size() >= 4) {
        damaged = stream.substr(0, stream.size() / 2);
        return 1;
    }
    if (damage == "adler" && stream.size() >= 6) {
        damaged = stream;
        damaged.back() ^= 0x01;
        return 1;
    }
    if (damage.compare(0, 6, "zeros:") == 0) {
        char *end = nullptr;
        unsigned long count = strtoul(damage.c_str() + 6, &end, 10);
        if (!*end && count > 0 && count <= (1ul << 30)) {
            std::string zeros(count, '\0');
            uLongf size = compressBound(count);
            damaged.assign(size, '\0');
            if (compress2((Bytef *)&damaged[0], &size, (const Bytef *)zeros.data(), count, 9) != Z_OK)
                return 0;
            damaged.resize(size);
            return 1;
        }
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: damagepayload RC OUT ID=truncated|adler|zeros:N...\n");
        return 2;
    }
    const std::string out = argv[2];
    std::map<std::string, std::string> damages;
    for (int i = 3; i < argc; i++) {
        std::string arg = argv[i];
        size_t at = arg.find('=');
        if (at == std::string::npos || at == 0) {
            fprintf(stderr, "damagepayload: %s is not ID=DAMAGE\n", argv[i]);
            return 2;
        }
        damages[arg.substr(0, at)] = arg.substr(at + 1);
    }

    std::string script;
    if (!ReadWholeFile(argv[1], script)) {
        fprintf(stderr, "damagepayload: cannot read %s\n", argv[1]);
        return 1;
    }
    std::istringstream lines(script);
    std::ostringstream result;
    std::string line;
    size_t done = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, type;
        fields >> id >> type;
        auto damage = damages.find(id);
        if (type != "TEXT" || damage == damages.end()) {
            result << line << "\n";
            continue;
        }
        std::string quoted, stream, damaged;
        std::getline(fields >> std::ws, quoted);
        if (!ReadWholeFile(Unquote(quoted), stream) || !Damage(damage->second, stream, damaged)) {
            fprintf(stderr, "damagepayload: cannot make resource %s %s\n", id.c_str(),
                    damage->second.c_str());
            return 1;
        }
        std::string path = out + "/" + id + ".z";
        bool written = false;
        if (!WriteIfChanged(path, damaged, written)) {
            fprintf(stderr, "damagepayload: cannot write %s\n", path.c_str());
            return 1;
        }
        result << "// damaged: " << damage->second << "\n" << id << " TEXT " << QuoteForResourceScript(path) << "\n";
        done++;
    }
    if (done != damages.size()) {
        fprintf(stderr, "damagepayload: %zu of the %zu resources to damage are not in %s\n",
                damages.size() - done, damages.size(), argv[1]);
        return 1;
    }
    bool written = false;
    if (!WriteIfChanged(out + "/payload.rc", result.str(), written)) {
        fprintf(stderr, "damagepayload: cannot write %s/payload.rc\n", out.c_str());
        return 1;
    }
    return 0;
}
