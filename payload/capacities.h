// The capacities of the installer's run-time buffers and the sizes of the
// payload files that must fit them. The host tools that make and pack the
// payload include this header as well as the installer, so a payload that
// the installer could not inflate is refused at build time, not on the
// user's machine. Plain C, no platform headers.
#pragma once

enum {
    // The install sequence's one work buffer, for every catalogue row.
    kCatalogueCapacity = 16777216,
    // The speech component's package, written to the temporary folder.
    kSpeechCapacity = 12582912,
    // Start-up inflates the glyph sheets into this; they must fill exactly
    // kGlyphSheetsBytes of it.
    kSheetBufferCapacity = 307200,
    // Each agreement text; the last byte is kept for the terminating zero.
    kAgreementCapacity = 65536,
    // The Chinese agreement's list shows at most this many lines.
    kAgreementLineLimit = 500,
    // A list item (an agreement line) of at most kListItemCapacity - 1 bytes
    // is drawn whole; a longer one is cut.
    kListItemCapacity = 260,

    // The glyph sheets: four one-bit bitmaps of 512 x 944 pixels, rows of
    // 64 bytes (their format is described at LocateGlyph, render/glyphs.cpp).
    kSheetCount = 4,
    kSheetWidth = 512,
    kSheetHeight = 944,
    kSheetBytes = kSheetWidth / 8 * kSheetHeight,       // 60,416
    kGlyphSheetsBytes = kSheetCount * kSheetBytes,      // 241,664: all of resource 110
};
