// The pooled string: block sizes and reuse, copy on write, the formatter and
// the buffer interface, and sharing between threads.
#include <gtest/gtest.h>

#include <malloc.h>
#include <math.h>
#include <stdarg.h>
#include <string.h>

#include <atomic>
#include <deque>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "shell/pooled_string.h"

static StringPoolStatistics PoolNow()
{
    StringPoolStatistics statistics;
    ReadStringPoolStatistics(&statistics);
    return statistics;
}

static int TotalFreeBlocks()
{
    int total = 0;
    for (int key = 0; key < 384; key += 4) {
        int count = CountFreeBlocks(key);
        if (count < 0)
            return -1;
        total += count;
    }
    return total;
}

static LONG EmptyReferences()
{
    PooledString probe;
    return probe.Header()->references - 1;
}

static void AppendFormatted(PooledString &out, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    out.FormatV(format, arguments);
    va_end(arguments);
}

// ---- blocks ----------------------------------------------------------------

TEST(PooledStringBlocks, EmptyStringsShareOneStaticBlockWithoutAllocating)
{
    StringPoolStatistics before = PoolNow();
    LONG references = EmptyReferences();
    {
        PooledString unset;
        PooledString fromNull(nullptr);
        PooledString fromEmpty("");
        EXPECT_EQ(unset.Header(), fromNull.Header());
        EXPECT_EQ(unset.Header(), fromEmpty.Header());
        EXPECT_STREQ("", fromEmpty.Text());
        EXPECT_EQ(0, fromEmpty.Length());
        EXPECT_EQ(0, fromEmpty.Header()->capacity);
        EXPECT_EQ(0, fromEmpty.Header()->codePage);
        EXPECT_EQ(references + 3, EmptyReferences());
    }
    EXPECT_EQ(references, EmptyReferences());
    EXPECT_EQ(before.blocksHandedOut, PoolNow().blocksHandedOut);
}

TEST(PooledStringBlocks, CapacityIsTheRequestPlusSixteenWithTheLowBitsSet)
{
    struct Case { int length, capacity; } cases[] = {
        { 1, 19 }, { 4, 23 }, { 239, 255 }, { 240, 259 }, { 363, 379 }, { 364, 383 },
    };
    for (const Case &c : cases) {
        PooledString s(std::string(c.length, 'x').c_str());
        EXPECT_EQ(c.capacity, s.Header()->capacity) << "length " << c.length;
        EXPECT_EQ(c.length, s.Length());
        EXPECT_EQ(-1, s.Header()->codePage);
        EXPECT_EQ(0, s.Header()->wide);
        EXPECT_EQ(1, s.Header()->references);
        EXPECT_EQ((size_t)c.capacity + 9, _msize((void *)s.Header())) << "length " << c.length;
    }
}

TEST(PooledStringBlocks, BlocksUpToKey380AreKeptOnTheirFreeListAndLargerOnesGoBackToTheHeap)
{
    int pooledBefore;
    {
        PooledString longest(std::string(363, 'p').c_str());
        pooledBefore = CountFreeBlocks(380);
    }
    EXPECT_EQ(pooledBefore + 1, CountFreeBlocks(380));

    StringPoolStatistics before = PoolNow();
    {
        PooledString large(std::string(364, 'h').c_str());
        EXPECT_EQ((size_t)392, _msize((void *)large.Header()));
    }
    StringPoolStatistics after = PoolNow();
    EXPECT_EQ(before.blocksTakenBack + 1, after.blocksTakenBack);
    EXPECT_EQ(before.pooledFromHeap, after.pooledFromHeap);
    EXPECT_EQ(pooledBefore + 1, CountFreeBlocks(380));
}

TEST(PooledStringBlocks, AFreedBlockIsTheNextOneHandedOutForItsSizeClass)
{
    const void *first;
    { PooledString a("abc"); first = a.Header(); }
    PooledString other(std::string(40, 'o').c_str());
    EXPECT_NE(first, (const void *)other.Header());
    StringPoolStatistics before = PoolNow();
    PooledString same("z");     // capacity 19 as well
    EXPECT_EQ(first, (const void *)same.Header());
    EXPECT_EQ(before.pooledFromHeap, PoolNow().pooledFromHeap);
}

// ---- copy on write ---------------------------------------------------------

TEST(PooledStringCopies, ACopySharesTheBlockUntilEitherSideChanges)
{
    PooledString original("hello");
    StringPoolStatistics before = PoolNow();
    PooledString copy(original);
    EXPECT_EQ(original.Header(), copy.Header());
    EXPECT_EQ(2, original.Header()->references);
    EXPECT_EQ(before.blocksHandedOut, PoolNow().blocksHandedOut);

    copy.Append("!");
    EXPECT_NE(original.Header(), copy.Header());
    EXPECT_EQ(1, original.Header()->references);
    EXPECT_EQ(1, copy.Header()->references);
    EXPECT_STREQ("hello", original.Text());
    EXPECT_STREQ("hello!", copy.Text());
    EXPECT_EQ(before.blocksHandedOut + 1, PoolNow().blocksHandedOut);

    PooledString second(original);
    original.Assign("bye");
    EXPECT_STREQ("hello", second.Text());
    EXPECT_STREQ("bye", original.Text());
    EXPECT_EQ(1, second.Header()->references);
}

TEST(PooledStringCopies, AssigningAStringSharesItsBlockAndReleasesTheOldOne)
{
    PooledString a("first");
    PooledString b("second");
    const void *oldBlock = b.Header();
    b = a;
    EXPECT_EQ(a.Header(), b.Header());
    EXPECT_EQ(2, a.Header()->references);
    PooledString reuse("secon");        // same class: gets b's released block
    EXPECT_EQ(oldBlock, (const void *)reuse.Header());
    b = b;
    EXPECT_EQ(2, a.Header()->references);
    EXPECT_STREQ("first", b.Text());
}

TEST(PooledStringCopies, ClearKeepsOnlyAPrivateBlockOfCapacityUpTo256)
{
    PooledString kept(std::string(239, 'k').c_str());
    const void *block = kept.Header();
    kept.Clear();
    EXPECT_EQ(block, (const void *)kept.Header());
    EXPECT_EQ(0, kept.Length());
    EXPECT_STREQ("", kept.Text());
    StringPoolStatistics before = PoolNow();
    kept.Append("again");
    EXPECT_EQ(block, (const void *)kept.Header());
    EXPECT_EQ(before.blocksHandedOut, PoolNow().blocksHandedOut);

    PooledString dropped(std::string(240, 'd').c_str());
    int freeBefore = CountFreeBlocks(260);
    dropped.Clear();
    EXPECT_EQ(0, dropped.Header()->capacity);
    EXPECT_EQ(freeBefore + 1, CountFreeBlocks(260));

    PooledString shared("shared");
    PooledString holder(shared);
    shared.Clear();
    EXPECT_EQ(0, shared.Header()->capacity);
    EXPECT_STREQ("shared", holder.Text());
    EXPECT_EQ(1, holder.Header()->references);
}

TEST(PooledStringCopies, AssignWritesInPlaceOnlyIntoAPrivateBlockWithRoom)
{
    PooledString s;
    s.Append("abcdefgh");       // takes its tags from the empty block: code page 0
    EXPECT_EQ(0, s.Header()->codePage);
    const void *block = s.Header();
    s.Assign("xyz");
    EXPECT_EQ(block, (const void *)s.Header());
    EXPECT_STREQ("xyz", s.Text());
    EXPECT_EQ(3, s.Length());
    EXPECT_EQ(-1, s.Header()->codePage);

    PooledString tail("hello world");
    tail.Assign(tail.Text() + 6);
    EXPECT_STREQ("world", tail.Text());

    PooledString tight("abc");          // capacity 19: in place needs 19 >= L + 16
    block = tight.Header();
    tight.Assign("abcd");
    EXPECT_NE(block, (const void *)tight.Header());
    EXPECT_STREQ("abcd", tight.Text());

    tight.Assign("");
    EXPECT_EQ(0, tight.Header()->capacity);
}

// ---- appending and buffers -------------------------------------------------

TEST(PooledStringAppend, AppendingAStringToItselfDoublesIt)
{
    PooledString s("abc");
    s.AppendString(s);
    EXPECT_STREQ("abcabc", s.Text());
    EXPECT_EQ(6, s.Length());

    PooledString large(std::string(200, 'L').c_str());
    large.AppendString(large);
    EXPECT_EQ(std::string(400, 'L'), large.Text());
    EXPECT_EQ(400, large.Length());
}

TEST(PooledStringAppend, BytesTakenFromTheStringItselfSurviveItsReallocation)
{
    PooledString s("hello");            // capacity 19, grows on the append
    const void *block = s.Header();
    s.AppendBytes(s.Text() + 1, 3);
    EXPECT_NE(block, (const void *)s.Header());
    EXPECT_STREQ("helloell", s.Text());

    PooledString f("ab");
    AppendFormatted(f, "[%s]", f.Text());
    EXPECT_STREQ("ab[ab]", f.Text());
    PooledString g(std::string(300, 'g').c_str());      // Clear frees this block
    g.Format("<%s>", g.Text());
    EXPECT_EQ("<" + std::string(300, 'g') + ">", g.Text());
    PooledString h("hh");                           // Clear keeps this one
    h.Format("%s%s", h.Text(), h.Text());
    EXPECT_STREQ("hhhh", h.Text());
}

TEST(PooledStringBuffer, CommitBufferSetsTheLengthToWhatWasWritten)
{
    PooledString s;
    PooledString copy(s);
    char *buffer = s.OpenBuffer(10);
    EXPECT_EQ(27, s.Header()->capacity);
    memcpy(buffer, "abc", 4);
    s.CommitBuffer(-1);
    EXPECT_EQ(3, s.Length());
    EXPECT_STREQ("abc", s.Text());

    buffer = s.OpenBuffer(10);
    memcpy(buffer, "hello", 5);
    s.CommitBuffer(5);
    EXPECT_STREQ("hello", s.Text());

    // Written past what was opened (19 is the block's room): cut at the room.
    buffer = s.OpenBuffer(10);
    memset(buffer, 'x', 19);
    s.CommitBuffer(-1);
    EXPECT_EQ(19, s.Length());
    s.CommitBuffer(100);
    EXPECT_EQ(19, s.Length());
    EXPECT_EQ(std::string(19, 'x'), s.Text());
    EXPECT_STREQ("", copy.Text());
}

// ---- formatting ------------------------------------------------------------

TEST(PooledStringFormat, TextConversionsHonourOnlyThePrecision)
{
    PooledString s;
    s.Format("%s\\%s", "a", "b");
    EXPECT_STREQ("a\\b", s.Text());
    s.Format("%.2s", "abcd");
    EXPECT_STREQ("ab", s.Text());
    s.Format("%.s|%.-1s|%5s|%-8s|%.10s", "abcd", "abcd", "abcd", "abcd", "abcd");
    EXPECT_STREQ("abcd|abcd|abcd|abcd|abcd", s.Text());
    s.Format("[%.0s]", "abcd");
    EXPECT_STREQ("[]", s.Text());
    s.Format("[%s]", (const char *)nullptr);
    EXPECT_STREQ("[]", s.Text());
    const char unterminated[3] = { 'x', 'y', 'z' };
    s.Format("%.3s", unterminated);
    EXPECT_STREQ("xyz", s.Text());

    PooledString other("pooled");
    s.Format("<%!>", &other);
    EXPECT_STREQ("<pooled>", s.Text());
}

TEST(PooledStringFormat, PercentSignsStopsAndTails)
{
    PooledString s;
    s.Format("100%%");
    EXPECT_STREQ("100%", s.Text());
    s.Format("%q%-z");
    EXPECT_STREQ("qz", s.Text());
    s.Format("x%ny%d");
    EXPECT_STREQ("xy%d", s.Text());
    s.Format("a%Sb%s");
    EXPECT_STREQ("ab%s", s.Text());
    s.Format("tail%");
    EXPECT_STREQ("tail", s.Text());
    s.Format("tail%-");
    EXPECT_STREQ("tail", s.Text());
    s.Format("%");
    EXPECT_STREQ("", s.Text());
}

TEST(PooledStringFormat, NumbersGoThroughSprintfOneConversionAtATime)
{
    PooledString s;
    s.Format("%d|%5d|%-3d|%05d|%x|%X|%o|%u|%c|%i|%+d", -12, 42, 7, 42, 255, 255, 8, 3000000000u, 'Q', 9, 5);
    EXPECT_STREQ("-12|   42|7  |00042|ff|FF|10|3000000000|Q|9|+5", s.Text());
    s.Format("%.2f|%e|%g|%08.3f|%G", 3.14159, 1.5, 0.25, -2.5, 1e-10);
    EXPECT_STREQ("3.14|1.500000e+00|0.25|-002.500|1E-10", s.Text());
    // Two exponent digits where the runtime library writes three, with the
    // field width kept wherever the padding stands.
    s.Format("[%14e|%-14e|%014e|% 014.2e|%13e|%12.3G|%e]", 1.5, 1.5, -1.5, 2.5, 1.5, 1e100, 1e-300);
    EXPECT_STREQ("[  1.500000e+00|1.500000e+00  |-01.500000e+00| 000002.50e+00| 1.500000e+00|      1E+100|"
                 "1.000000e-300]", s.Text());
    s.Format("%hd|%ld", 70000, 123456);
    EXPECT_STREQ("4464|123456", s.Text());
    // The letter alone sets the argument size: 4 bytes here, 8 for floats,
    // whatever the size letters say; the next argument is still in step.
    s.Format("%lld|%s|%Lf|%d", 5, "next", 1.5, 6);
    EXPECT_STREQ("5|next|1.500000|6", s.Text());
    s.Format("%c", 0);                  // a NUL result appends nothing
    EXPECT_EQ(0, s.Length());
}

TEST(PooledStringFormat, FormatReplacesAndFormatVAppends)
{
    PooledString s("old text");
    s.Format("%d", 1);
    EXPECT_STREQ("1", s.Text());
    AppendFormatted(s, "+%s", "2");
    EXPECT_STREQ("1+2", s.Text());
}

// Refused: a directive longer than its 64-byte buffer, a "*", or a
// result longer than its buffer. Converting stops there and the rest of the
// format, from the refused conversion's "%", is appended as it is.
TEST(PooledStringFormat, ConversionsThatWouldOverrunTheirBuffersAreRefused)
{
    PooledString s;
    std::string fits = "a%" + std::string(61, '-') + "d";      // "%", 61 flags, "d", NUL: 64
    s.Format(fits.c_str(), 7);
    EXPECT_STREQ("a7", s.Text());
    std::string overlong = "a%" + std::string(62, '-') + "d%s";
    s.Format(overlong.c_str(), 7, "never");
    EXPECT_EQ(overlong, s.Text());

    s.Format("x%*dy%s", 5, 7, "never");
    EXPECT_STREQ("x%*dy%s", s.Text());
    s.Format("%.*s", 2, "abc");
    EXPECT_STREQ("%.*s", s.Text());

    s.Format("%63d", 1);
    EXPECT_EQ(63, s.Length());
    s.Format("<%64d>%d", 1, 2);
    EXPECT_STREQ("<%64d>%d", s.Text());

    s.Format("%.253f", 1.0);
    EXPECT_EQ(255, s.Length());
    s.Format("[%.254f]", 1.0);
    EXPECT_STREQ("[%.254f]", s.Text());
    s.Format("%f!", 1e300);
    EXPECT_STREQ("%f!", s.Text());
}

// Random formats against msvcrt's own _vsnprintf, the runtime library of
// the platform, where C defines the result and the formatter is meant to
// pass the conversion on: numbers with any flags, width, precision and
// "h" or "l" that C allows for their letter, texts with a precision of at
// least one digit, characters other than NUL, "%%" and literal bytes (not
// a zero flag with a precision on integers, where msvcrt breaks C). The
// arguments are laid out as the i686 caller would push them, so the one
// argument block serves both formatters.
struct RandomFormat {
    std::string format;
    std::vector<unsigned char> arguments;
    std::deque<std::string> texts;
};

template <typename T>
static void PushArgument(RandomFormat &f, T value)
{
    const unsigned char *bytes = (const unsigned char *)&value;
    f.arguments.insert(f.arguments.end(), bytes, bytes + sizeof value);
}

static std::string RandomPick(std::mt19937 &random, const char *set, int most)
{
    std::string picked;
    for (int n = (int)(random() % (most + 1)); n > 0; n--)
        picked += set[random() % strlen(set)];
    return picked;
}

static int RandomInteger(std::mt19937 &random)
{
    static const unsigned kEdges[] = { 0, 1, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0x7FFF, 0x8000, 0xFFFF, 10, 255 };
    switch (random() % 3) {
    case 0: return (int)kEdges[random() % (sizeof kEdges / sizeof kEdges[0])];
    case 1: return (int)(random() % 2000) - 1000;
    default: return (int)random();
    }
}

// Odd 53-bit mantissas. Below 2^31 (22 or more fractional bits) a value's
// exact decimal expansion is longer than anything printed here; from 2^53
// on it is an integer not divisible by 5. Neither can be an exact tie, which
// msvcrt rounds half up and C to even.
static double RandomDouble(std::mt19937 &random)
{
    static const double kEdges[] = { 0.0, -0.0, 1.0, -1.0, 0.1, 1e-300, 4.9e-324, 123456789.0, 1e20, 9.999999 };
    if (random() % 4 == 0)
        return kEdges[random() % (sizeof kEdges / sizeof kEdges[0])];
    uint64_t mantissa = (((uint64_t)random() << 32 | random()) % (1ull << 52) + (1ull << 52)) | 1;
    int exponent = (int)(random() % 2 ? -22 - random() % 130 : 1 + random() % 80);
    if (exponent > 0 && mantissa % 5 == 0)
        mantissa -= 2;
    double value = ldexp((double)mantissa, exponent);
    return random() % 2 ? -value : value;
}

static void AddRandomConversion(std::mt19937 &random, RandomFormat &f)
{
    static const char kLetters[] = "diouxXcseEfgG%";
    char letter = kLetters[random() % (sizeof kLetters - 1)];
    std::string directive = "%";
    if (letter == '%') {
        f.format += "%%";
        return;
    }
    bool integer = strchr("diouxX", letter) != NULL;
    bool floating = strchr("eEfgG", letter) != NULL;
    if (letter != 's')
        directive += RandomPick(random, letter == 'c' ? "-" : floating ? "-+ 0#" : strchr("di", letter) ? "-+ 0" : "-0#", 3);
    if (letter != 's' && random() % 2)
        directive += std::to_string(1 + random() % 30);
    // C ignores "0" on an integer with a precision; msvcrt pads with zeros.
    if (letter != 'c' && random() % 2 && !(integer && directive.find('0') != std::string::npos))
        directive += "." + std::to_string(random() % 21);
    if (integer)
        directive += RandomPick(random, "hl", 1);
    if (floating)
        directive += RandomPick(random, "l", 1);
    f.format += directive + letter;

    if (letter == 'c') {
        PushArgument(f, (int)(1 + random() % 255));
    } else if (letter == 's') {
        f.texts.push_back(RandomPick(random, "abc xyz\x01\x7f\x80\xb0\xa1\xff%", 30));
        PushArgument(f, f.texts.back().c_str());
    } else if (floating) {
        PushArgument(f, RandomDouble(random));
    } else {
        PushArgument(f, RandomInteger(random));
    }
}

TEST(PooledStringFormat, RandomFormatsGiveTheRuntimeLibrarysText)
{
    typedef int(__cdecl * Vsnprintf)(char *, size_t, const char *, va_list);
    typedef int(__cdecl * SetOutputFormat)(int);
    HMODULE runtime = GetModuleHandleA("msvcrt.dll");
    ASSERT_TRUE(runtime != NULL);
    Vsnprintf reference = (Vsnprintf)(void *)GetProcAddress(runtime, "_vsnprintf");
    SetOutputFormat twoDigitExponents = (SetOutputFormat)(void *)GetProcAddress(runtime, "_set_output_format");
    ASSERT_TRUE(reference && twoDigitExponents);
    // Three exponent digits are msvcrt's old default; C asks for as few as
    // needed, at least two, which is what the installer gives.
    twoDigitExponents(1);

    std::mt19937 random(20261208);
    int mismatches = 0;
    for (int round = 0; round < 20000 && mismatches < 10; round++) {
        RandomFormat f;
        for (int part = (int)(random() % 6); part >= 0; part--) {
            f.format += RandomPick(random, "ab \t\x01\x7f\x80\xa1\xfe\\{}", 4);
            AddRandomConversion(random, f);
        }
        f.arguments.resize(f.arguments.size() + 16);
        char expected[1024];
        int length = reference(expected, sizeof expected, f.format.c_str(), (va_list)f.arguments.data());
        ASSERT_GE(length, 0) << f.format;
        PooledString formatted("kept ");
        formatted.FormatV(f.format.c_str(), (va_list)f.arguments.data());
        std::string got(formatted.Text(), formatted.Length());
        if (got != "kept " + std::string(expected, length)) {
            ADD_FAILURE() << "format \"" << f.format << "\"\n  got      \"" << got
                          << "\"\n  expected \"kept " << std::string(expected, length) << "\"";
            mismatches++;
        }
    }
}

// ---- threads ---------------------------------------------------------------

TEST(PooledStringThreads, CopiesAssignmentsAndAppendsFromManyThreadsKeepEveryCountRight)
{
    const char *seedTexts[] = { "alpha", "a text of forty characters, more or less", nullptr, nullptr };
    std::string pooledSeed = std::string(300, 'p'), heapSeed = std::string(500, 'h');
    seedTexts[2] = pooledSeed.c_str();
    seedTexts[3] = heapSeed.c_str();
    PooledString seeds[4] = { seedTexts[0], seedTexts[1], seedTexts[2], seedTexts[3] };

    StringPoolStatistics before = PoolNow();
    int freeBefore = TotalFreeBlocks();
    LONG emptyBefore = EmptyReferences();
    std::atomic<int> wrong(0), ready(0);

    auto work = [&](int thread) {
        PooledString ring[8];
        for (ready++; ready < 4;)
            Sleep(0);
        for (int i = 0; i < 20000; i++) {
            int k = (i + thread) % 4;
            PooledString copy(seeds[k]);
            ring[i % 8] = copy;
            ring[(i + 3) % 8] = ring[i % 8];
            PooledString changed(copy);
            changed.AppendChar('+');
            if (strcmp(copy.Text(), seedTexts[k]) != 0 || changed.Length() != copy.Length() + 1)
                wrong++;
            switch (i % 5) {
            case 0: ring[i % 8].AppendString(ring[i % 8]); break;
            case 1: ring[(i + 5) % 8].Assign(seedTexts[(k + 1) % 4]); break;
            case 2: ring[i % 8].Format("%s-%d", seedTexts[k], i); break;
            case 3: ring[(i + 1) % 8].Clear(); break;
            case 4: ring[(i + 2) % 8].Append(copy.Text()); break;
            }
            if (strcmp(seeds[k].Text(), seedTexts[k]) != 0)
                wrong++;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back(work, t);
    for (std::thread &t : threads)
        t.join();

    EXPECT_EQ(0, wrong.load());
    StringPoolStatistics after = PoolNow();
    for (int k = 0; k < 4; k++) {
        EXPECT_STREQ(seedTexts[k], seeds[k].Text());
        EXPECT_EQ(1, seeds[k].Header()->references);
    }
    EXPECT_EQ(emptyBefore, EmptyReferences());
    EXPECT_GT(after.blocksHandedOut - before.blocksHandedOut, 10000);
    // Everything handed out came back, and every pooled block the heap had
    // to supply sits exactly once on a free list.
    EXPECT_EQ(after.blocksHandedOut - before.blocksHandedOut, after.blocksTakenBack - before.blocksTakenBack);
    EXPECT_EQ(freeBefore + (after.pooledFromHeap - before.pooledFromHeap), TotalFreeBlocks());
}
