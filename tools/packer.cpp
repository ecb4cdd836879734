// Packs the installer's payload: every file named in a payload list is
// compressed (libdeflate, level 12) into one zlib stream, <out>/<id>.z, and <out>/payload.rc binds
// each stream to its id as a resource of type "TEXT".
//
//     packer LIST FROM OUT
//
// Every file is checked against the buffer that will inflate it at run time
// before anything is written: a payload that does not fit would only fail on
// the user's machine, in the middle of an installation. All problems are
// reported, then the exit code is 1.
//
// Outputs whose content is unchanged are left alone, so an unchanged payload
// keeps its timestamps and the resource compiler and linker are not run
// again. payload.rc carries the size and CRC-32 of each stream in a comment:
// the .rc changes whenever a stream does, which is what makes the resource
// compiler notice changed payloads although the .rc names them only by path.
#include "../payload/capacities.h"
#include "hostfiles.h"
#include "payloadlist.h"

#include <libdeflate.h>
#include <zlib.h>

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

// The largest text an agreement buffer takes: its last byte is the
// terminating zero.
static const uint64_t kAgreementTextLimit = kAgreementCapacity - 1;
// The Chinese agreement is cut into list-box lines at each CR.
static const int kChineseAgreementId = 124;

struct Payload {
    PayloadListEntry entry;
    std::string sourcePath;
    std::string data;        // the plain file
    std::string compressed;  // its zlib stream
};


static std::string WithThousands(uint64_t value)
{
    std::string digits = std::to_string(value);
    std::string result;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            result += ',';
        result += digits[i];
    }
    return result;
}

// Returns a description of why the file does not fit its class, or "" when
// it does; warning receives problems that the installer survives.
static std::string CheckLimit(const Payload &payload, std::string &warning)
{
    const std::string &cls = payload.entry.limitClass;
    uint64_t size = payload.data.size();
    std::string sizeText = WithThousands(size) + " bytes";

    if (cls == "catalogue" && size > kCatalogueCapacity)
        return sizeText + " is over the catalogue limit of " + WithThousands(kCatalogueCapacity) + " bytes";
    if (cls == "sheets" && size != kGlyphSheetsBytes)
        return sizeText + " where the glyph sheets must be exactly " + WithThousands(kGlyphSheetsBytes) + " bytes";
    if (cls == "speech" && size > kSpeechCapacity)
        return sizeText + " is over the speech package limit of " + WithThousands(kSpeechCapacity) + " bytes";
    if (cls == "agreement") {
        if (size > kAgreementTextLimit)
            return sizeText + " is over the agreement text limit of " + WithThousands(kAgreementTextLimit) + " bytes";
        if (payload.entry.id == kChineseAgreementId) {
            // Lines end at CR; text after the last CR never reaches the list box.
            int lines = 0;
            size_t lastEnd = 0;
            for (size_t i = 0; i < payload.data.size(); i++) {
                if (payload.data[i] == '\r') {
                    lines++;
                    lastEnd = i + 1;
                    if (lastEnd < payload.data.size() && payload.data[lastEnd] == '\n')
                        lastEnd++;
                }
            }
            if (lines > kAgreementLineLimit)
                return std::to_string(lines) + " lines is over the limit of " +
                       std::to_string(kAgreementLineLimit) + " lines of the agreement list";
            if (lastEnd < payload.data.size())
                warning = "the text after the last CR is not shown; end the last line with CR LF";
        }
    }
    return "";
}

// libdeflate's strongest level: about 2.6 % smaller than zlib's level 9 on
// the demo payload, within 0.2 % of zopfli, at a fortieth of zopfli's time,
// so it stays on in every build. The installer inflates it with zlib's
// uncompress, unchanged: it is an ordinary zlib stream.
static const int kDeflateLevel = 12;

static int Compress(Payload &payload)
{
    struct libdeflate_compressor *compressor = libdeflate_alloc_compressor(kDeflateLevel);
    if (!compressor)
        return 0;
    size_t bound = libdeflate_zlib_compress_bound(compressor, payload.data.size());
    std::string out(bound, '\0');
    size_t length = libdeflate_zlib_compress(compressor, payload.data.data(), payload.data.size(), &out[0], bound);
    libdeflate_free_compressor(compressor);
    if (length == 0)
        return 0;
    out.resize(length);

    // Inflate it again exactly as the installer will, into a buffer of the
    // file's size, to be sure the stream holds the file and nothing else.
    std::string check(payload.data.size() + 1, '\0');
    uLongf checkLength = (uLongf)check.size();
    if (uncompress((Bytef *)&check[0], &checkLength, (const Bytef *)out.data(), (uLong)out.size()) != Z_OK)
        return 0;
    if (checkLength != payload.data.size() || check.compare(0, checkLength, payload.data) != 0)
        return 0;
    payload.compressed.swap(out);
    return 1;
}

// Compresses every payload, on as many threads as there are cores; the
// streams do not depend on the order, so the output is the same on any
// machine.
static int CompressAll(std::vector<Payload> &payloads)
{
    std::atomic<size_t> next{0};
    std::atomic<int> failures{0};
    unsigned workers = std::thread::hardware_concurrency();
    if (workers == 0)
        workers = 1;
    if (workers > payloads.size())
        workers = (unsigned)payloads.size();

    auto work = [&]() {
        for (size_t i = next++; i < payloads.size(); i = next++) {
            if (!Compress(payloads[i])) {
                std::fprintf(stderr, "packer: %s: could not compress or verify this file\n",
                             payloads[i].sourcePath.c_str());
                failures++;
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < workers; i++)
        threads.emplace_back(work);
    work();
    for (std::thread &thread : threads)
        thread.join();
    return failures == 0 ? 1 : 0;
}

static std::string ResourceScript(const std::vector<Payload> &payloads, const std::vector<std::string> &streamPaths,
                                  const std::string &listPath)
{
    std::ostringstream rc;
    rc << "// Payload resources, generated by packer from " << fs::path(listPath).filename().string()
       << "; do not edit.\n";
    rc << "// Each comment gives the file, its size, and the size and CRC-32 of its stream.\n\n";
    for (size_t i = 0; i < payloads.size(); i++) {
        const Payload &p = payloads[i];
        uLong crc = crc32(0L, (const Bytef *)p.compressed.data(), (uInt)p.compressed.size());
        char note[64];
        std::snprintf(note, sizeof note, "%zu bytes, stream %zu bytes, crc 0x%08lx", p.data.size(), p.compressed.size(),
                      (unsigned long)crc);
        rc << "// " << p.entry.fileName << ": " << note << "\n";
        rc << p.entry.id << " TEXT " << QuoteForResourceScript(streamPaths[i]) << "\n";
    }
    return rc.str();
}

static int HasControlCharacter(const std::string &text)
{
    for (unsigned char c : text)
        if (c < 0x20)
            return 1;
    return 0;
}

int main(int argc, char **argv)
{
    int result = 1;
    std::vector<PayloadListEntry> entries;
    std::vector<Payload> payloads;
    std::vector<std::string> streamPaths;
    std::string error;
    int problems = 0;
    int streamsWritten = 0;
    uint64_t plainTotal = 0, packedTotal = 0;
    std::error_code failure;

    if (argc != 4) {
        std::fprintf(stderr, "usage: packer LIST FROM OUT\n"
                             "  LIST  payload list (id, limit class, file name per line)\n"
                             "  FROM  folder holding the payload files\n"
                             "  OUT   folder for <id>.z and payload.rc\n");
        return 1;
    }
    const std::string listPath = argv[1];
    const fs::path fromDir = argv[2];
    const fs::path outDir = fs::absolute(argv[3]).lexically_normal();

    if (!ReadPayloadList(listPath, entries, error)) {
        std::istringstream lines(error);
        std::string line;
        while (std::getline(lines, line))
            std::fprintf(stderr, "packer: %s\n", line.c_str());
        goto done;
    }
    if (entries.empty()) {
        std::fprintf(stderr, "packer: %s: the list names no payload\n", listPath.c_str());
        goto done;
    }

    for (const PayloadListEntry &entry : entries) {
        Payload payload{entry, (fromDir / entry.fileName).string(), "", ""};
        std::string warning;
        if (!fs::is_regular_file(payload.sourcePath, failure)) {
            std::fprintf(stderr, "packer: %s: missing payload file (id %d, %s:%d)\n", payload.sourcePath.c_str(),
                         entry.id, listPath.c_str(), entry.line);
            problems++;
            continue;
        }
        if (!ReadWholeFile(payload.sourcePath, payload.data)) {
            std::fprintf(stderr, "packer: %s: cannot read payload file (id %d)\n", payload.sourcePath.c_str(), entry.id);
            problems++;
            continue;
        }
        std::string tooBig = CheckLimit(payload, warning);
        if (!tooBig.empty()) {
            std::fprintf(stderr, "packer: %s: %s (id %d, class %s)\n", payload.sourcePath.c_str(), tooBig.c_str(),
                         entry.id, entry.limitClass.c_str());
            problems++;
            continue;
        }
        if (!warning.empty())
            std::fprintf(stderr, "packer: warning: %s: %s (id %d)\n", payload.sourcePath.c_str(), warning.c_str(),
                         entry.id);
        payloads.push_back(std::move(payload));
    }
    if (problems > 0) {
        std::fprintf(stderr, "packer: %d problem(s) in the payload of %s; nothing packed\n", problems,
                     listPath.c_str());
        goto done;
    }

    fs::create_directories(outDir, failure);
    if (failure) {
        std::fprintf(stderr, "packer: %s: cannot create the output folder: %s\n", outDir.string().c_str(),
                     failure.message().c_str());
        goto done;
    }
    if (HasControlCharacter(outDir.string())) {
        std::fprintf(stderr, "packer: %s: the output folder's path cannot be written into a resource script\n",
                     outDir.string().c_str());
        goto done;
    }
    if (!CompressAll(payloads))
        goto done;

    for (const Payload &p : payloads) {
        std::string streamPath = (outDir / (std::to_string(p.entry.id) + ".z")).string();
        bool written = false;
        if (!WriteIfChanged(streamPath, p.compressed, written)) {
            std::fprintf(stderr, "packer: %s: cannot write the stream\n", streamPath.c_str());
            goto done;
        }
        streamsWritten += written ? 1 : 0;
        streamPaths.push_back(streamPath);
        plainTotal += p.data.size();
        packedTotal += p.compressed.size();
    }
    {
        std::string rcPath = (outDir / "payload.rc").string();
        bool written = false;
        if (!WriteIfChanged(rcPath, ResourceScript(payloads, streamPaths, listPath), written)) {
            std::fprintf(stderr, "packer: %s: cannot write the resource script\n", rcPath.c_str());
            goto done;
        }
        std::printf("packer: %zu payloads, %s bytes packed into %s bytes; %d stream(s)%s rewritten\n", payloads.size(),
                    WithThousands(plainTotal).c_str(), WithThousands(packedTotal).c_str(), streamsWritten,
                    written ? " and payload.rc" : "");
    }
    result = 0;

done:
    return result;
}
