// The system's own 8-bit string: reference-counted text shared between
// copies and copied only when one of them is about to change, in blocks
// recycled by size class from a process-wide pool, with a small formatter
// that hands each numeric conversion to the runtime library's one at a time.
#pragma once

#include <windows.h>

#include <stdarg.h>

// The 16 bytes that precede the text of every block.
struct StringHeader {
    volatile LONG references;   // holders of the block; changed only interlocked
    LONG length;                // bytes of text, without the terminator
    LONG capacity;              // C = (n + 16) | 3; the block is C + 9 bytes
    unsigned char wide;         // 0: 8-bit text (the only kind this system has)
    unsigned char reserved;     // always 0
    short codePage;             // code page of the text, -1 when unknown
};
static_assert(sizeof(StringHeader) == 16, "the text follows a 16-byte header");

// The pool of blocks. A block of pool key s (capacity s - 1) is s + 8 bytes.
// Keys below 384 come from per-size free lists that never give memory back
// to the heap; larger blocks come from and go back to the general heap.
void *AllocBlock(int poolKey);
void FreeBlock(void *block, int poolKey);

// Bookkeeping for tests; it never changes what the pool does.
struct StringPoolStatistics {
    LONG blocksHandedOut;       // AllocBlock calls
    LONG blocksTakenBack;       // FreeBlock calls
    LONG pooledFromHeap;        // blocks of pooled sizes the heap had to supply
};
void ReadStringPoolStatistics(StringPoolStatistics *statistics);
// Blocks waiting on the free list of that pool key; -1 when the list is
// longer than the pool could ever have made, i.e. it loops.
int CountFreeBlocks(int poolKey);

// Texts are NUL-terminated. An empty string shares one static block.
// Heap exhaustion ends the process with exit code 1: no caller of this
// type could carry on with a buffer it asked for and did not get.
class PooledString {
public:
    PooledString();
    PooledString(const char *text);             // null or "" gives the empty string
    PooledString(const PooledString &other);    // shares the block
    PooledString &operator=(const PooledString &other);   // shares the block
    ~PooledString();

    void Assign(const char *text);
    void Append(const char *text);
    void AppendBytes(const char *bytes, int count);
    void AppendChar(char c);
    void AppendString(const PooledString &other);
    void Clear();
    // Format replaces the text, FormatV appends to it; their arguments (not
    // the format) may point into this string's own text.
    void Format(const char *format, ...);
    void FormatV(const char *format, va_list arguments);
    void Reserve(int count);
    // Room for `count` characters and a terminator, private to this string;
    // CommitBuffer(-1) measures what was written up to the first NUL.
    char *OpenBuffer(int count);
    void CommitBuffer(int count);

    const char *Text() const { return text; }
    int Length() const { return Header()->length; }
    const StringHeader *Header() const { return (const StringHeader *)text - 1; }

private:
    char *text;
};
