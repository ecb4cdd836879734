// The pooled string: copy on write over reference-counted blocks, a pool of
// free lists by block size, and a printf-like formatter.
//
// Block layout: a 16-byte StringHeader, then the text. A block of capacity
// C = (n + 16) | 3 is C + 9 bytes, so it holds n characters, the terminator
// and at least 8 spare bytes; its pool key is s = C + 1, a multiple of 4.
// Free blocks are linked through their first 4 bytes (the reference count).
//
// Threads: reference counts change only interlocked; every reallocation,
// release and list operation runs under one re-entrant process-wide lock.
// Copying takes a reference without the lock: a holder that copies is not
// changing its block, and a block with one reference has no other holder
// that could copy it, so Reserve's "count is 1" test cannot be raced.

#include "shell/pooled_string.h"

#include "shell/shell.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum {
    kPoolKeyLimit = 384,        // keys from here on are plain heap blocks
    kFreeListCount = kPoolKeyLimit / 4,
    kKeepOnClear = 256,         // Clear keeps a private block up to this capacity
    kLargestRequest = 0x3FFFFFFF,   // keeps every size computation inside an int
    kDirectiveSize = 64,    // "%", flags, width, precision, size, letter, NUL
    kNumberSize = 64,
    kFloatSize = 256,
};

static void *FreeLists[kFreeListCount];
static CRITICAL_SECTION PoolLock;
static volatile LONG PoolLockState;     // 0 none, 1 being made, 2 ready
static StringPoolStatistics PoolStatistics;

// Every empty string points here. The count starts at 2 and every holder
// adds one, so it never reaches 0; the release also tests for it.
static struct {
    StringHeader header;
    char text[4];
} EmptyBlock = { { 2, 0, 0, 0, 0, 0 }, { 0 } };

// The lock is made on first use. Two threads can meet there: the one that
// wins the exchange makes it, the other waits until it is ready.
static void TakeLock(void)
{
    if (PoolLockState != 2) {
        if (InterlockedCompareExchange(&PoolLockState, 1, 0) == 0) {
            InitializeCriticalSection(&PoolLock);
            InterlockedExchange(&PoolLockState, 2);
        } else {
            while (PoolLockState != 2)
                Sleep(0);
        }
    }
    EnterCriticalSection(&PoolLock);
}

static void GiveLock(void)
{
    LeaveCriticalSection(&PoolLock);
}

// Heap exhaustion ends the process with the exit code start-up uses for
// lack of memory. Carrying on would hand OpenBuffer's callers a buffer
// smaller than they asked for, and the type has no way to report it.
static void OutOfMemory(void)
{
    ExitProcess(1);
}

static void *HeapBlock(int poolKey)
{
    void *block = malloc(poolKey < 0 ? 8 : (size_t)poolKey + 8);
    if (!block)
        OutOfMemory();
    return block;
}

// Keys the lists cannot serve exactly (large, negative, or not a multiple of
// 4) go to the heap both ways, so a block never lands on a list whose blocks
// are smaller than it.
static int IsPooledKey(int poolKey)
{
    return poolKey >= 0 && poolKey < kPoolKeyLimit && poolKey % 4 == 0;
}

void *AllocBlock(int poolKey)
{
    void *block;
    InterlockedIncrement(&PoolStatistics.blocksHandedOut);
    if (!IsPooledKey(poolKey))
        return HeapBlock(poolKey);
    TakeLock();
    block = FreeLists[poolKey / 4];
    if (block) {
        FreeLists[poolKey / 4] = *(void **)block;
    } else {
        block = HeapBlock(poolKey);
        InterlockedIncrement(&PoolStatistics.pooledFromHeap);
    }
    GiveLock();
    return block;
}

void FreeBlock(void *block, int poolKey)
{
    if (!block)
        return;
    InterlockedIncrement(&PoolStatistics.blocksTakenBack);
    if (!IsPooledKey(poolKey)) {
        free(block);
        return;
    }
    TakeLock();
    *(void **)block = FreeLists[poolKey / 4];
    FreeLists[poolKey / 4] = block;
    GiveLock();
}

void ReadStringPoolStatistics(StringPoolStatistics *statistics)
{
    TakeLock();
    *statistics = PoolStatistics;
    GiveLock();
}

int CountFreeBlocks(int poolKey)
{
    int count = 0;
    if (!IsPooledKey(poolKey))
        return 0;
    TakeLock();
    for (void *block = FreeLists[poolKey / 4]; block; block = *(void **)block) {
        if (++count > PoolStatistics.pooledFromHeap) {
            count = -1;
            break;
        }
    }
    GiveLock();
    return count;
}

static StringHeader *HeaderOf(const char *text)
{
    return (StringHeader *)text - 1;
}

static int IsEmptyBlock(const StringHeader *header)
{
    return header == &EmptyBlock.header;
}

static char *TakeEmptyBlock(void)
{
    InterlockedIncrement(&EmptyBlock.header.references);
    return EmptyBlock.text;
}

static void ReleaseBlock(char *text)
{
    StringHeader *header = HeaderOf(text);
    TakeLock();
    if (header->references > 0 && InterlockedDecrement(&header->references) == 0
        && !IsEmptyBlock(header))
        FreeBlock(header, header->capacity + 1);
    GiveLock();
}

// A block holding `length` bytes of `source` with room for `request`
// characters. `tags` is the header whose width flag, reserved byte and code
// page the block inherits; without one it gets 0, 0 and -1.
static char *NewBlock(const char *source, int length, int request, const StringHeader *tags)
{
    int larger = length > request ? length : request;
    if (larger == 0)
        return TakeEmptyBlock();
    if (larger > kLargestRequest)
        OutOfMemory();
    int capacity = (larger + 16) | 3;
    StringHeader *header = (StringHeader *)AllocBlock(capacity + 1);
    header->references = 1;
    header->length = length;
    header->capacity = capacity;
    header->wide = tags ? tags->wide : 0;
    header->reserved = tags ? tags->reserved : 0;
    header->codePage = tags ? tags->codePage : -1;
    char *text = (char *)(header + 1);
    memcpy(text, source, length);
    text[length] = 0;
    return text;
}

static int MeasureText(const char *text)
{
    size_t length = text ? strlen(text) : 0;
    if (length > kLargestRequest)
        OutOfMemory();
    return (int)length;
}

PooledString::PooledString()
{
    text = TakeEmptyBlock();
}

PooledString::PooledString(const char *source)
{
    int length = MeasureText(source);
    text = length ? NewBlock(source, length, 0, NULL) : TakeEmptyBlock();
}

PooledString::PooledString(const PooledString &other)
{
    text = other.text;
    InterlockedIncrement(&HeaderOf(text)->references);
}

// Shares like the copy constructor; the reference is taken before the old
// block goes, so assigning a string to itself is harmless.
PooledString &PooledString::operator=(const PooledString &other)
{
    char *old = text;
    text = other.text;
    InterlockedIncrement(&HeaderOf(text)->references);
    ReleaseBlock(old);
    return *this;
}

PooledString::~PooledString()
{
    ReleaseBlock(text);
}

void PooledString::Reserve(int count)
{
    if (count < 0)
        count = 0;
    if (count > kLargestRequest)
        OutOfMemory();
    TakeLock();
    StringHeader *header = HeaderOf(text);
    if (header->references != 1 || header->capacity < ((count + 16) | 3)) {
        char *old = text;
        text = NewBlock(old, header->length, count, header);
        ReleaseBlock(old);
    }
    GiveLock();
}

void PooledString::Assign(const char *source)
{
    int length = MeasureText(source);
    TakeLock();
    StringHeader *header = HeaderOf(text);
    if (length == 0) {
        if (!IsEmptyBlock(header)) {
            char *old = text;
            text = TakeEmptyBlock();
            ReleaseBlock(old);
        }
    } else if (!IsEmptyBlock(header) && header->references == 1 && header->capacity >= length + 16) {
        // The source may be a tail of this very text.
        memmove(text, source, length + 1);
        header->length = length;
        header->wide = 0;
        header->reserved = 0;
        header->codePage = -1;
    } else {
        char *old = text;
        text = NewBlock(source, length, 0, header);
        ReleaseBlock(old);
    }
    GiveLock();
}

void PooledString::AppendBytes(const char *bytes, int count)
{
    if (!bytes || count <= 0)
        return;
    StringHeader *header = HeaderOf(text);
    unsigned char wide = header->wide;
    unsigned char reserved = header->reserved;
    short codePage = header->codePage;
    int length = header->length;
    if (count > kLargestRequest - length)
        OutOfMemory();
    // Bytes from this string's own text must be found again in the block
    // Reserve leaves: the old one may be gone.
    uintptr_t offset = (uintptr_t)bytes - (uintptr_t)text;
    int own = offset <= (uintptr_t)length;
    Reserve(length + count);
    if (own)
        bytes = text + offset;
    header = HeaderOf(text);
    memmove(text + length, bytes, count);
    text[length + count] = 0;
    header->length = length + count;
    header->wide = wide;
    header->reserved = reserved;
    header->codePage = codePage;
}

void PooledString::Append(const char *source)
{
    if (!source || !*source)
        return;
    TakeLock();
    AppendBytes(source, MeasureText(source));
    GiveLock();
}

void PooledString::AppendChar(char c)
{
    TakeLock();
    int length = Length();
    Reserve(length + 1);
    text[length] = c;
    text[length + 1] = 0;
    HeaderOf(text)->length = length + 1;
    GiveLock();
}

void PooledString::AppendString(const PooledString &other)
{
    TakeLock();
    if (other.Length() == 0) {
        // nothing to add
    } else if (&other == this) {
        int length = Length();
        Reserve(2 * length);
        memcpy(text + length, text, length);
        text[2 * length] = 0;
        HeaderOf(text)->length = 2 * length;
    } else {
        AppendBytes(other.text, other.Length());
    }
    GiveLock();
}

void PooledString::Clear()
{
    StringHeader *header = HeaderOf(text);
    if (IsEmptyBlock(header))
        return;
    TakeLock();
    if (header->references == 1 && header->capacity <= kKeepOnClear) {
        text[0] = 0;
        header->length = 0;
    } else {
        char *old = text;
        text = TakeEmptyBlock();
        ReleaseBlock(old);
    }
    GiveLock();
}

char *PooledString::OpenBuffer(int count)
{
    Reserve(count);
    return text;
}

// A block holds capacity - 8 characters and the terminator. A caller that
// wrote more than it opened is cut at the block's end: the text is neither
// measured nor terminated beyond it (growing the block here, after the
// write, would only copy the old text and lose what was written).
void PooledString::CommitBuffer(int count)
{
    StringHeader *header = HeaderOf(text);
    if (IsEmptyBlock(header))
        return;
    int room = header->capacity - 8;
    if (count == -1)
        count = (int)strnlen(text, room);
    if (count < 0)
        count = 0;
    if (count > room)
        count = room;
    text[count] = 0;
    header->length = count;
}

// The directive handed to sprintf. The argument is taken by the
// conversion letter alone (a 4-byte int or pointer, or a double), so size
// letters that would make sprintf read something else are left out: "L"
// everywhere, any "l" after the first, "h" on floating conversions and
// every size letter on "p". Without this "%lld" or "%Lf" would read past
// the one argument passed. The result never outgrows the directive.
static void MakeSprintfDirective(char *out, const char *directive, char letter)
{
    int floating = strchr("eEfgG", letter) != NULL;
    int longs = 0;
    for (const char *c = directive; *c; c++) {
        if (*c == 'L' || (letter == 'p' && (*c == 'l' || *c == 'h')))
            continue;
        if (*c == 'h' && floating)
            continue;
        if (*c == 'l' && longs++)
            continue;
        *out++ = *c;
    }
    *out++ = letter;
    *out = 0;
}

static int IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// msvcrt writes at least three exponent digits ("1.5e+000"); C asks for
// as few as needed, at least two, which is what the formatter gives. The
// surplus leading zero is taken out, and a field width that was met with
// the longer text gets its character back where the padding stands: at the
// end when left-justified, after the sign with the "0" flag, else in front.
static int TrimExponent(char *text, int length, const char *directive)
{
    char *e = strpbrk(text, "eE");
    if (!e || (e[1] != '+' && e[1] != '-') || e[2] != '0' || !IsDigit(e[3]) || !IsDigit(e[4])
        || IsDigit(e[5]))
        return length;
    memmove(e + 2, e + 3, strlen(e + 3) + 1);
    length--;

    const char *c = directive + 1;
    int left = 0, zero = 0;
    for (; *c && strchr("-+ 0#", *c); c++) {
        left |= *c == '-';
        zero |= *c == '0';
    }
    if (length >= atoi(c))
        return length;
    int hasSign = text[0] == '+' || text[0] == '-' || text[0] == ' ';
    char *pad = left ? text + length : zero && hasSign ? text + 1 : text;
    memmove(pad + 1, pad, strlen(pad) + 1);
    *pad = left ? ' ' : zero ? '0' : ' ';
    return length + 1;
}

// One conversion, read after the "%" at `percent`. Returns 1 to go on, with
// *rest after the conversion; 0 to stop, with *rest at the text that is then
// appended literally:
// - the format ends inside the directive: the tail is dropped;
// - "n" or "S": the rest after the letter;
// - refused: the conversion's own text from its "%" on. A conversion is
//   refused when its directive does not fit the 64-byte directive
//   buffer, when it holds "*" (its width or precision argument would be
//   taken as the value), or when sprintf's result does not fit its buffer
//   (64 bytes for integers, characters and pointers, 256 for floating
//   numbers) or fails. An argument already taken stays taken; converting
//   stops there, so nothing later reads the arguments out of step.
static int ConvertOne(PooledString *out, const char *percent, const char **rest, va_list *arguments)
{
    static const char kDirectiveLetters[] = "-+0 #*.123456789hlL";
    char directive[kDirectiveSize];
    char sprintfDirective[kDirectiveSize];
    int used = 0;
    const char *cursor = percent + 1;

    directive[used++] = '%';
    while (*cursor && strchr(kDirectiveLetters, *cursor)) {
        if (used + 3 > kDirectiveSize) {    // this character, the letter, NUL
            *rest = percent;
            return 0;
        }
        directive[used++] = *cursor++;
    }
    directive[used] = 0;
    if (!*cursor) {
        *rest = cursor;
        return 0;
    }
    char letter = *cursor++;
    *rest = cursor;
    if (strchr(directive, '*')) {
        *rest = percent;
        return 0;
    }

    if (letter == 's') {
        const char *text = va_arg(*arguments, const char *);
        const char *dot = strchr(directive, '.');
        long precision = dot && dot[1] ? strtol(dot + 1, NULL, 10) : -1;
        // With a precision the text need not be terminated within it.
        size_t length = !text ? 0 : precision >= 0 ? strnlen(text, precision) : strlen(text);
        if (length > kLargestRequest)
            OutOfMemory();
        out->AppendBytes(text, (int)length);
    } else if (letter == '!') {
        const PooledString *other = va_arg(*arguments, const PooledString *);
        if (other)
            out->AppendString(*other);
    } else if (strchr("cCdiouxXp", letter)) {
        char result[kNumberSize];
        int written;
        MakeSprintfDirective(sprintfDirective, directive, letter);
        if (letter == 'p')
            written = FormatText(result, sizeof result, sprintfDirective, va_arg(*arguments, void *));
        else
            written = FormatText(result, sizeof result, sprintfDirective, va_arg(*arguments, int));
        if (written < 0 || written >= (int)sizeof result) {
            *rest = percent;
            return 0;
        }
        out->Append(result);
    } else if (strchr("eEfgG", letter)) {
        char result[kFloatSize + 1];    // room for the exponent digit taken out
        MakeSprintfDirective(sprintfDirective, directive, letter);
        int written = FormatText(result, sizeof result, sprintfDirective, va_arg(*arguments, double));
        if (written < (int)sizeof result)
            written = TrimExponent(result, written, sprintfDirective);
        if (written < 0 || written >= kFloatSize) {
            *rest = percent;
            return 0;
        }
        out->Append(result);
    } else if (letter == 'n' || letter == 'S') {
        return 0;
    } else {
        out->AppendChar(letter);
    }
    return 1;
}

static void FormatInto(PooledString *out, const char *format, va_list arguments)
{
    va_list cursor;
    const char *rest = format;
    if (!format)
        return;
    va_copy(cursor, arguments);
    for (;;) {
        const char *percent = strchr(rest, '%');
        if (!percent)
            break;
        out->AppendBytes(rest, (int)(percent - rest));
        if (!ConvertOne(out, percent, &rest, &cursor))
            break;
    }
    va_end(cursor);
    out->Append(rest);
}

// Both format apart and add the result at the end, so that an argument may
// be this string's own text: formatting in place would change it, or free
// it, while it is still being read. Format clears only then, which keeps a
// small private block for the result as Clear does.
void PooledString::FormatV(const char *format, va_list arguments)
{
    PooledString formatted;
    FormatInto(&formatted, format, arguments);
    AppendString(formatted);
}

void PooledString::Format(const char *format, ...)
{
    PooledString formatted;
    va_list arguments;
    va_start(arguments, format);
    FormatInto(&formatted, format, arguments);
    va_end(arguments);
    Clear();
    AppendString(formatted);
}
