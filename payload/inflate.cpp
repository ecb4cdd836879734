// The inflater of the payload: one whole zlib stream (RFC 1950 around RFC
// 1951 deflate data) into one caller's buffer, in one call.
//
// A library inflater is built for streams that arrive in pieces and for
// gzip as well; carried in the installer it was a fifth of the program.
// Here everything is in memory at once, so the decoder is one loop over
// the input with the output buffer as its window. It accepts exactly what
// a library's one-call inflation accepts and refuses the rest: a bad
// header or a preset dictionary, an unknown block type, a stored length
// whose complement does not match, an over-subscribed code, an incomplete
// one (except the single one-bit code the format allows), code lengths that
// repeat nothing or run past their count, no end-of-block code, a symbol
// without a code, a distance before the start, input that ends early, a
// content larger than the buffer, and a wrong Adler-32.
//
// Huffman codes are decoded through a table of the first kFastBits bits;
// the rare longer codes are walked code length by code length. The bit
// buffer is refilled four bytes at a time; the bits above its count may
// already hold the bytes ahead, which the next refill puts in place again.

#include <stdint.h>
#include <string.h>

#include "payload/payload.h"

enum {
    kFastBits = 10,
    kFastSize = 1 << kFastBits,
    kMaxCodeLength = 15,
    kLiteralLengthSymbols = 288,        // 286 and 287 have fixed codes but mean nothing
    kDistanceSymbols = 32,              // 30 and 31 likewise
    kAdlerModulus = 65521,
    kAdlerBlock = 5552,                 // bytes summed before 32-bit sums could overflow
};

struct Huffman {
    // Entry: symbol << 4 | code length, or 0 for a code longer than
    // kFastBits bits (or none).
    uint16_t fast[kFastSize];
    uint16_t count[kMaxCodeLength + 1];
    uint16_t symbol[kLiteralLengthSymbols];
};

struct Inflater {
    const unsigned char *in, *inEnd;
    unsigned char *out, *outStart, *outEnd;
    uint32_t bits;                      // not yet used input bits, first bit lowest
    int count;                          // how many
    int phantom;                        // zero bytes fed in after the input's end
};

static const uint16_t kLengthBase[29] = { 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                                          35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258 };
static const unsigned char kLengthExtra[29] = { 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0 };
static const uint16_t kDistanceBase[30] = { 1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
                                            193, 257, 385, 513, 769, 1025, 1537, 2049, 3073,
                                            4097, 6145, 8193, 12289, 16385, 24577 };
static const unsigned char kDistanceExtra[30] = { 0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                                  6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13 };
static const unsigned char kCodeLengthOrder[19] = { 16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12,
                                                    3, 13, 2, 14, 1, 15 };

// At least 25 bits in the buffer afterwards. Past the input's end zeros are
// fed in and counted: a stream that uses them was cut short.
static inline void Refill(Inflater *s)
{
    if (s->inEnd - s->in >= 4) {
        // Four bytes at once; the bytes beyond the whole ones taken land at
        // the places where the next refill puts them again.
        uint32_t next;
        memcpy(&next, s->in, 4);
        s->bits |= next << s->count;
        s->in += (31 - s->count) >> 3;
        s->count |= 24;
        return;
    }
    while (s->count <= 24) {
        uint32_t byte = 0;
        if (s->in < s->inEnd)
            byte = *s->in++;
        else
            s->phantom++;
        s->bits |= byte << s->count;
        s->count += 8;
    }
}

static inline uint32_t TakeBits(Inflater *s, int n)
{
    if (s->count < n)
        Refill(s);
    uint32_t value = s->bits & ((1u << n) - 1);
    s->bits >>= n;
    s->count -= n;
    return value;
}

// More zeros used than the buffer can still hold: the input ended.
static inline int RanOut(const Inflater *s)
{
    return s->phantom * 8 > s->count;
}

// Canonical code from code lengths. 0 when the lengths over-subscribe the
// code, or leave it incomplete while `mayBeIncomplete` is 0; with it, only a
// code of one-bit codes may be incomplete (one symbol alone, or none).
static __attribute__((hot)) int BuildHuffman(Huffman *h, const unsigned char *lengths, int n, int mayBeIncomplete)
{
    uint16_t offsets[kMaxCodeLength + 2];
    memset(h->count, 0, sizeof h->count);
    for (int i = 0; i < n; i++)
        h->count[lengths[i]]++;
    h->count[0] = 0;
    int left = 1, longest = 0;
    for (int length = 1; length <= kMaxCodeLength; length++) {
        left = (left << 1) - h->count[length];
        if (left < 0)
            return 0;
        if (h->count[length])
            longest = length;
    }
    if (left > 0 && (!mayBeIncomplete || longest > 1))
        return 0;

    offsets[1] = 0;
    for (int length = 1; length <= kMaxCodeLength; length++)
        offsets[length + 1] = (uint16_t)(offsets[length] + h->count[length]);
    for (int i = 0; i < n; i++)
        if (lengths[i])
            h->symbol[offsets[lengths[i]]++] = (uint16_t)i;

    // The fast table holds each short code at its bit-reversed place (the
    // stream carries codes first bit first) and every place that begins
    // with it.
    memset(h->fast, 0, sizeof h->fast);
    unsigned code = 0;
    int index = 0;
    for (int length = 1; length <= kFastBits; length++) {
        for (int k = 0; k < h->count[length]; k++, index++, code++) {
            unsigned reversed = 0;
            for (int b = 0; b < length; b++)
                reversed |= ((code >> b) & 1) << (length - 1 - b);
            uint16_t entry = (uint16_t)(h->symbol[index] << 4 | length);
            for (unsigned place = reversed; place < kFastSize; place += 1u << length)
                h->fast[place] = entry;
        }
        code <<= 1;
    }
    return 1;
}

// A code longer than the fast table's, or -1 for bits that are no code:
// the first code of each length, one bit more at a time. Rare, so kept
// out of line.
static __attribute__((noinline)) int DecodeLongCode(Inflater *s, const Huffman *h)
{
    int code = 0, first = 0, index = 0;
    uint32_t bits = s->bits;
    for (int length = 1; length <= kMaxCodeLength; length++) {
        code |= (int)(bits & 1);
        bits >>= 1;
        int count = h->count[length];
        if (code - first < count) {
            s->bits >>= length;
            s->count -= length;
            return h->symbol[index + code - first];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

// The next symbol, or -1 for bits that are no code.
static inline int DecodeSymbol(Inflater *s, const Huffman *h)
{
    if (s->count < kMaxCodeLength)
        Refill(s);
    unsigned entry = h->fast[s->bits & (kFastSize - 1)];
    if (!entry)
        return DecodeLongCode(s, h);
    int length = entry & 15;
    s->bits >>= length;
    s->count -= length;
    return (int)(entry >> 4);
}

// Block headers and stored blocks are short work beside the codes: out of
// line, and optimised for size (cold), they do not grow the one loop that
// matters, and they take a third of the inflater's bytes that -O2 gave them.
static __attribute__((noinline, cold)) int InflateStored(Inflater *s)
{
    // The length fields start at the next byte; whole bytes still in the
    // bit buffer are read from there.
    TakeBits(s, s->count & 7);
    uint32_t length = TakeBits(s, 16);
    uint32_t complement = TakeBits(s, 16);
    if (RanOut(s) || (length ^ 0xFFFF) != complement)
        return 0;
    for (; length && s->count >= 8; length--) {
        if (s->out == s->outEnd)
            return 0;
        *s->out++ = (unsigned char)TakeBits(s, 8);
    }
    if (!length)
        return 1;
    if (RanOut(s) || length > (uint32_t)(s->inEnd - s->in) || length > (uint32_t)(s->outEnd - s->out))
        return 0;
    // The buffer is empty now but may hold the bits of the bytes ahead,
    // which are copied here and must not be fed in again.
    s->bits = 0;
    memcpy(s->out, s->in, length);
    s->out += length;
    s->in += length;
    return 1;
}

// Hot: called only from the cold block functions, it would otherwise be
// taken for cold itself and optimised for size.
static __attribute__((noinline, hot)) int InflateCodes(Inflater *s, const Huffman *literals,
                                                       const Huffman *distances)
{
    for (;;) {
        if (RanOut(s))
            return 0;
        int symbol = DecodeSymbol(s, literals);
        if (symbol < 256) {
            if (symbol < 0 || s->out == s->outEnd)
                return 0;
            *s->out++ = (unsigned char)symbol;
            continue;
        }
        if (symbol == 256)
            return 1;
        symbol -= 257;
        if (symbol >= 29)
            return 0;
        uint32_t length = kLengthBase[symbol] + TakeBits(s, kLengthExtra[symbol]);
        int code = DecodeSymbol(s, distances);
        if (code < 0 || code >= 30)
            return 0;
        uint32_t distance = kDistanceBase[code] + TakeBits(s, kDistanceExtra[code]);
        if (distance > (uint32_t)(s->out - s->outStart) || length > (uint32_t)(s->outEnd - s->out))
            return 0;
        const unsigned char *from = s->out - distance;
        unsigned char *to = s->out;
        s->out += length;
        if (distance >= 4) {
            for (; length >= 4; length -= 4, to += 4, from += 4)
                memcpy(to, from, 4);
        }
        while (length--)
            *to++ = *from++;
    }
}

static __attribute__((noinline, cold)) int InflateFixed(Inflater *s, Huffman *literals, Huffman *distances)
{
    unsigned char lengths[kLiteralLengthSymbols];
    memset(lengths, 8, 144);
    memset(lengths + 144, 9, 112);
    memset(lengths + 256, 7, 24);
    memset(lengths + 280, 8, 8);
    BuildHuffman(literals, lengths, kLiteralLengthSymbols, 0);
    memset(lengths, 5, kDistanceSymbols);
    BuildHuffman(distances, lengths, kDistanceSymbols, 0);
    return InflateCodes(s, literals, distances);
}

static __attribute__((noinline, cold)) int InflateDynamic(Inflater *s, Huffman *literals, Huffman *distances)
{
    unsigned char lengths[286 + 30];
    int literalCount = (int)TakeBits(s, 5) + 257;
    int distanceCount = (int)TakeBits(s, 5) + 1;
    int codeLengthCount = (int)TakeBits(s, 4) + 4;
    if (literalCount > 286 || distanceCount > 30)
        return 0;
    memset(lengths, 0, 19);
    for (int i = 0; i < codeLengthCount; i++)
        lengths[kCodeLengthOrder[i]] = (unsigned char)TakeBits(s, 3);
    // The code-length code goes in the literal table, which is built after.
    if (!BuildHuffman(literals, lengths, 19, 0))
        return 0;

    int total = literalCount + distanceCount;
    for (int i = 0; i < total;) {
        if (RanOut(s))
            return 0;
        int symbol = DecodeSymbol(s, literals);
        if (symbol < 0)
            return 0;
        if (symbol < 16) {
            lengths[i++] = (unsigned char)symbol;
            continue;
        }
        int repeat;
        unsigned char value = 0;
        if (symbol == 16) {
            if (i == 0)
                return 0;
            value = lengths[i - 1];
            repeat = 3 + (int)TakeBits(s, 2);
        } else if (symbol == 17) {
            repeat = 3 + (int)TakeBits(s, 3);
        } else {
            repeat = 11 + (int)TakeBits(s, 7);
        }
        if (i + repeat > total)
            return 0;
        memset(lengths + i, value, repeat);
        i += repeat;
    }
    if (lengths[256] == 0)
        return 0;
    if (!BuildHuffman(literals, lengths, literalCount, 1)
        || !BuildHuffman(distances, lengths + literalCount, distanceCount, 1))
        return 0;
    return InflateCodes(s, literals, distances);
}

static __attribute__((noinline, hot)) uint32_t Adler32(const unsigned char *data, unsigned long length)
{
    uint32_t a = 1, b = 0;
    while (length) {
        unsigned long n = length < (unsigned long)kAdlerBlock ? length : (unsigned long)kAdlerBlock;
        length -= n;
        for (; n >= 4; n -= 4, data += 4) {
            a += data[0];
            b += a;
            a += data[1];
            b += a;
            a += data[2];
            b += a;
            a += data[3];
            b += a;
        }
        for (; n; n--) {
            a += *data++;
            b += a;
        }
        a %= kAdlerModulus;
        b %= kAdlerModulus;
    }
    return b << 16 | a;
}

__attribute__((cold)) int InflateZlibStream(void *buffer, unsigned long capacity, unsigned long *length,
                      const void *data, unsigned long size)
{
    const unsigned char *in = (const unsigned char *)data;
    // Method 8 (deflate), a window of at most 32 KiB, the header check, no
    // preset dictionary.
    if (!in || size < 2 || (in[0] & 15) != 8 || (in[0] >> 4) > 7 || (in[0] << 8 | in[1]) % 31
        || (in[1] & 0x20))
        return 0;
    Inflater s;
    s.in = in + 2;
    s.inEnd = in + size;
    s.outStart = s.out = (unsigned char *)buffer;
    s.outEnd = s.outStart + capacity;
    s.bits = 0;
    s.count = 0;
    s.phantom = 0;

    Huffman literals, distances;
    int last;
    do {
        last = (int)TakeBits(&s, 1);
        int type = (int)TakeBits(&s, 2);
        int done = type == 0 ? InflateStored(&s)
                 : type == 1 ? InflateFixed(&s, &literals, &distances)
                 : type == 2 ? InflateDynamic(&s, &literals, &distances)
                 : 0;
        if (!done || RanOut(&s))
            return 0;
    } while (!last);

    TakeBits(&s, s.count & 7);
    uint32_t check = TakeBits(&s, 8) << 24;
    check |= TakeBits(&s, 8) << 16;
    check |= TakeBits(&s, 8) << 8;
    check |= TakeBits(&s, 8);
    unsigned long inflated = (unsigned long)(s.out - s.outStart);
    if (RanOut(&s) || check != Adler32(s.outStart, inflated))
        return 0;
    *length = inflated;
    return 1;
}
