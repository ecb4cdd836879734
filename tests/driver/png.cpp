// A minimal PNG writer (8-bit RGB, no interlace) for the driver's screenshots.

#include <stdio.h>

#include <zlib.h>

#include "tests/driver/driver.h"

static void PutBigEndian(std::vector<unsigned char> &out, uint32_t value)
{
    out.push_back((unsigned char)(value >> 24));
    out.push_back((unsigned char)(value >> 16));
    out.push_back((unsigned char)(value >> 8));
    out.push_back((unsigned char)value);
}

static void PutChunk(std::vector<unsigned char> &out, const char *type,
                     const std::vector<unsigned char> &data)
{
    PutBigEndian(out, (uint32_t)data.size());
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, out.data() + start, (uInt)(out.size() - start));
    PutBigEndian(out, (uint32_t)crc);
}

bool SavePng(const Image &image, const std::string &path)
{
    if (image.width <= 0 || image.height <= 0)
        return false;
    std::vector<unsigned char> raw;
    raw.reserve((size_t)image.height * (image.width * 3 + 1));
    for (int y = 0; y < image.height; y++) {
        raw.push_back(0);               // filter: none
        for (int x = 0; x < image.width; x++) {
            uint32_t p = image.At(x, y);
            raw.push_back((unsigned char)(p >> 16));
            raw.push_back((unsigned char)(p >> 8));
            raw.push_back((unsigned char)p);
        }
    }
    uLongf packedSize = compressBound((uLong)raw.size());
    std::vector<unsigned char> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), (uLong)raw.size(), 6) != Z_OK)
        return false;
    packed.resize(packedSize);

    std::vector<unsigned char> header;
    PutBigEndian(header, (uint32_t)image.width);
    PutBigEndian(header, (uint32_t)image.height);
    header.push_back(8);                // bit depth
    header.push_back(2);                // colour type: RGB
    header.push_back(0);
    header.push_back(0);
    header.push_back(0);

    static const unsigned char kSignature[8] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    std::vector<unsigned char> file(kSignature, kSignature + 8);
    PutChunk(file, "IHDR", header);
    PutChunk(file, "IDAT", packed);
    PutChunk(file, "IEND", {});

    FILE *out = fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool ok = fwrite(file.data(), 1, file.size(), out) == file.size();
    return fclose(out) == 0 && ok;
}
