// Gives a Windows Installer package made by wixl the same bytes on every
// build. wixl draws a new package code and stamps the build time into the
// summary information, and the source file's modification time into the
// embedded cabinet; this tool puts fixed values in their places, in the
// streams as they are, so the package stays what wixl made in every other
// byte.
//
//     msistamp IN OUT PACKAGE_CODE UNIX_TIME
//
//   PACKAGE_CODE  "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", the summary's
//                 revision number
//   UNIX_TIME     seconds since 1970 (UTC): the creation, last-saved and
//                 last-printed times of the summary, and the date of every
//                 file in every cabinet stream
//
// A package is a compound file: 512-byte header, sectors chained through the
// allocation table, a directory of 128-byte entries, and streams below the
// mini-stream cutoff kept in 64-byte mini sectors inside the root entry's
// stream. Every offset read from the file is checked against its size.
#include "hostfiles.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

static const uint32_t kEndOfChain = 0xFFFFFFFE;

// The directory name of the summary information stream, UTF-16 with its
// terminator.
static const std::string kSummaryName("\5\0S\0u\0m\0m\0a\0r\0y\0I\0n\0f\0o\0r\0m\0a\0t\0i\0o\0n\0\0\0", 40);

struct Package {
    std::string bytes;
    unsigned sectorShift = 0, miniShift = 0;
    uint32_t miniCutoff = 0;
    std::vector<uint32_t> fat, miniFat;
    std::vector<size_t> miniStreamSectors;  // file offsets of the root stream's sectors
};

static bool Get16(const std::string &b, size_t at, uint32_t &value)
{
    if (at > b.size() || b.size() - at < 2)
        return false;
    value = (uint32_t)(unsigned char)b[at] | (uint32_t)(unsigned char)b[at + 1] << 8;
    return true;
}

static bool Get32(const std::string &b, size_t at, uint32_t &value)
{
    uint32_t low, high;
    if (!Get16(b, at, low) || !Get16(b, at + 2, high))
        return false;
    value = low | high << 16;
    return true;
}

static void Put16(std::string &b, size_t at, uint32_t value)
{
    b[at] = (char)(value & 0xFF);
    b[at + 1] = (char)(value >> 8 & 0xFF);
}

static void Put32(std::string &b, size_t at, uint32_t value)
{
    Put16(b, at, value & 0xFFFF);
    Put16(b, at + 2, value >> 16);
}

// File offsets of the sectors of the chain from start; empty when the chain
// leaves the table, leaves the file or loops.
static std::vector<size_t> SectorChain(const Package &p, const std::vector<uint32_t> &table, uint32_t start,
                                       unsigned shift, size_t base)
{
    std::vector<size_t> sectors;
    for (uint32_t s = start; s != kEndOfChain; s = table[s]) {
        size_t offset = base + ((size_t)s << shift);
        if (s >= table.size() || sectors.size() >= table.size() || offset + ((size_t)1 << shift) > p.bytes.size())
            return {};
        sectors.push_back(offset);
    }
    return sectors;
}

static std::vector<size_t> Chain(const Package &p, uint32_t start)
{
    // Sector n lies at (n + 1) << shift: the header takes the first sector's place.
    return SectorChain(p, p.fat, start, p.sectorShift, (size_t)1 << p.sectorShift);
}

static bool ReadTable(const Package &p, const std::vector<size_t> &sectors, std::vector<uint32_t> &table)
{
    for (size_t offset : sectors)
        for (size_t i = 0; i < ((size_t)1 << p.sectorShift); i += 4) {
            uint32_t entry;
            if (!Get32(p.bytes, offset + i, entry))
                return false;
            table.push_back(entry);
        }
    return true;
}

static bool OpenPackage(Package &p, std::string &error)
{
    uint32_t sectorShift = 0, miniShift = 0, fatCount = 0, directory = 0, cutoff = 0, miniFatStart = 0,
             difatCount = 0;
    if (p.bytes.size() < 512 || std::memcmp(p.bytes.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) != 0) {
        error = "not a compound file";
        return false;
    }
    Get16(p.bytes, 0x1E, sectorShift);
    Get16(p.bytes, 0x20, miniShift);
    Get32(p.bytes, 0x2C, fatCount);
    Get32(p.bytes, 0x30, directory);
    Get32(p.bytes, 0x38, cutoff);
    Get32(p.bytes, 0x3C, miniFatStart);
    Get32(p.bytes, 0x48, difatCount);
    // A package of more than 109 allocation-table sectors (about 7 MB with
    // 512-byte sectors) would need the extra table chain; ours is a few KB.
    if ((sectorShift != 9 && sectorShift != 12) || miniShift != 6 || fatCount > 109 || difatCount != 0) {
        error = "an unexpected compound file layout";
        return false;
    }
    p.sectorShift = sectorShift;
    p.miniShift = miniShift;
    p.miniCutoff = cutoff;
    std::vector<size_t> fatSectors;
    for (uint32_t i = 0; i < fatCount; i++) {
        uint32_t sector;
        Get32(p.bytes, 0x4C + 4 * i, sector);
        size_t offset = ((size_t)sector + 1) << p.sectorShift;
        if (offset + ((size_t)1 << p.sectorShift) > p.bytes.size()) {
            error = "an allocation table sector outside the file";
            return false;
        }
        fatSectors.push_back(offset);
    }
    if (!ReadTable(p, fatSectors, p.fat) || !ReadTable(p, Chain(p, miniFatStart), p.miniFat)) {
        error = "a broken allocation table";
        return false;
    }
    std::vector<size_t> entries = Chain(p, directory);
    uint32_t rootStart;
    if (entries.empty() || !Get32(p.bytes, entries[0] + 0x74, rootStart)) {
        error = "no directory";
        return false;
    }
    p.miniStreamSectors = Chain(p, rootStart);
    return true;
}

// A stream's bytes as file offsets, one per byte of the stream.
static bool StreamOffsets(const Package &p, uint32_t start, uint32_t size, std::vector<size_t> &offsets)
{
    offsets.clear();
    if (size >= p.miniCutoff) {
        std::vector<size_t> sectors = Chain(p, start);
        for (size_t i = 0; i < size; i++) {
            if ((i >> p.sectorShift) >= sectors.size())
                return false;
            offsets.push_back(sectors[i >> p.sectorShift] + (i & (((size_t)1 << p.sectorShift) - 1)));
        }
        return true;
    }
    // Mini sectors are numbered within the root entry's stream.
    std::vector<size_t> mini = SectorChain(p, p.miniFat, start, p.miniShift, 0);
    if (size > 0 && mini.empty())
        return false;
    for (size_t i = 0; i < size; i++) {
        if ((i >> p.miniShift) >= mini.size())
            return false;
        size_t inMiniStream = mini[i >> p.miniShift] + (i & (((size_t)1 << p.miniShift) - 1));
        size_t sector = inMiniStream >> p.sectorShift;
        if (sector >= p.miniStreamSectors.size())
            return false;
        offsets.push_back(p.miniStreamSectors[sector] + (inMiniStream & (((size_t)1 << p.sectorShift) - 1)));
    }
    return true;
}

struct Stamp {
    std::string packageCode;
    uint64_t fileTime;              // 100 ns since 1601
    uint32_t dosDate, dosTime;
    int summaries = 0, cabinetFiles = 0;
};

// The summary information property set: header, one section whose
// properties are (id, offset) pairs; revision number 9 is a string,
// last printed 11, created 12 and last saved 13 are FILETIMEs.
static bool StampSummary(std::string &s, Stamp &stamp, std::string &error)
{
    uint32_t order, sectionAt, count;
    if (!Get16(s, 0, order) || order != 0xFFFE || !Get32(s, 44, sectionAt) ||
        !Get32(s, (size_t)sectionAt + 4, count)) {
        error = "a broken summary information stream";
        return false;
    }
    for (uint32_t i = 0; i < count; i++) {
        uint32_t id, at, type, length;
        if (!Get32(s, (size_t)sectionAt + 8 + 8 * (size_t)i, id) ||
            !Get32(s, (size_t)sectionAt + 12 + 8 * (size_t)i, at) || !Get32(s, (size_t)sectionAt + at, type)) {
            error = "a summary property outside its stream";
            return false;
        }
        size_t value = (size_t)sectionAt + at + 4;
        if (id == 9) {
            if (type != 30 || !Get32(s, value, length) || length != stamp.packageCode.size() + 1 ||
                value + 4 + length > s.size()) {
                error = "a revision number that is not a package code";
                return false;
            }
            std::memcpy(&s[value + 4], stamp.packageCode.c_str(), length);
        } else if (id == 11 || id == 12 || id == 13) {
            if (type != 64 || value + 8 > s.size()) {
                error = "a summary time that is not a FILETIME";
                return false;
            }
            Put32(s, value, (uint32_t)stamp.fileTime);
            Put32(s, value + 4, (uint32_t)(stamp.fileTime >> 32));
        }
    }
    stamp.summaries++;
    return true;
}

// A cabinet: its header gives the offset and number of the file entries,
// each 16 bytes of fields, with the date and time at 10 and 12, and then
// the zero-terminated name. The data checksums do not cover them.
static bool StampCabinet(std::string &c, Stamp &stamp, std::string &error)
{
    uint32_t at, files, flags;
    if (!Get32(c, 16, at) || !Get16(c, 28, files) || !Get16(c, 30, flags) || (flags & 4) != 0) {
        error = "an unexpected cabinet header";
        return false;
    }
    for (uint32_t i = 0; i < files; i++) {
        uint32_t ignored;
        size_t name = (size_t)at + 16;
        if (!Get32(c, (size_t)at + 12, ignored) || name >= c.size()) {
            error = "a cabinet file entry outside its stream";
            return false;
        }
        Put16(c, at + 10, stamp.dosDate);
        Put16(c, at + 12, stamp.dosTime);
        size_t end = c.find('\0', name);
        if (end == std::string::npos) {
            error = "a cabinet file name without its end";
            return false;
        }
        at = (uint32_t)(end + 1);
        stamp.cabinetFiles++;
    }
    return true;
}

static bool StampStreams(Package &p, Stamp &stamp, std::string &error)
{
    uint32_t directory;
    Get32(p.bytes, 0x30, directory);
    for (size_t sector : Chain(p, directory)) {
        for (size_t entry = sector; entry < sector + ((size_t)1 << p.sectorShift); entry += 128) {
            uint32_t type = 0, start = 0, size = 0;
            std::vector<size_t> offsets;
            if (!Get16(p.bytes, entry + 0x42, type) || !Get32(p.bytes, entry + 0x74, start) ||
                !Get32(p.bytes, entry + 0x78, size)) {
                error = "a directory entry outside the file";
                return false;
            }
            if ((type & 0xFF) != 2)  // a stream
                continue;
            if (!StreamOffsets(p, start, size, offsets)) {
                error = "a stream outside the file";
                return false;
            }
            std::string data;
            for (size_t offset : offsets)
                data += p.bytes[offset];
            bool summary = p.bytes.compare(entry, kSummaryName.size(), kSummaryName) == 0;
            bool cabinet = data.compare(0, 4, "MSCF") == 0;
            if ((summary && !StampSummary(data, stamp, error)) || (cabinet && !StampCabinet(data, stamp, error)))
                return false;
            for (size_t i = 0; i < offsets.size(); i++)
                p.bytes[offsets[i]] = data[i];
        }
    }
    return true;
}

int main(int argc, char **argv)
{
    Package package;
    Stamp stamp;
    std::string error;
    bool written;
    if (argc != 5 || std::strlen(argv[3]) != 38 || argv[3][0] != '{') {
        std::fprintf(stderr, "usage: msistamp IN OUT {PACKAGE-CODE} UNIX_TIME\n");
        return 1;
    }
    stamp.packageCode = argv[3];
    std::time_t seconds = (std::time_t)std::strtoll(argv[4], nullptr, 10);
    std::tm utc = *std::gmtime(&seconds);
    if (utc.tm_year < 80 || utc.tm_year > 207) {
        std::fprintf(stderr, "msistamp: %s is outside the cabinet dates, 1980 to 2107\n", argv[4]);
        return 1;
    }
    stamp.fileTime = ((uint64_t)seconds + 11644473600ull) * 10000000ull;
    stamp.dosDate = (uint32_t)((utc.tm_year - 80) << 9 | (utc.tm_mon + 1) << 5 | utc.tm_mday);
    stamp.dosTime = (uint32_t)(utc.tm_hour << 11 | utc.tm_min << 5 | utc.tm_sec / 2);

    if (!ReadWholeFile(argv[1], package.bytes)) {
        std::fprintf(stderr, "msistamp: %s: cannot read\n", argv[1]);
        return 1;
    }
    if (!OpenPackage(package, error) || !StampStreams(package, stamp, error)) {
        std::fprintf(stderr, "msistamp: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (stamp.summaries != 1) {
        std::fprintf(stderr, "msistamp: %s: no summary information\n", argv[1]);
        return 1;
    }
    if (!WriteIfChanged(argv[2], package.bytes, written)) {
        std::fprintf(stderr, "msistamp: %s: cannot write\n", argv[2]);
        return 1;
    }
    return 0;
}
