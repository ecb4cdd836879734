// Synthetic stand-ins for the payload files of a demo build: files of an
// exact size whose bytes look and compress roughly like the real kind, so
// that the installer, the packer and the install timing are exercised with
// realistic data. Every generator is seeded from the file name alone, so a
// file's bytes never depend on the order of generation or on the machine.
#pragma once

#include <cstdint>
#include <string>

// Text: dictionary and help lines, GBK with CR LF (English for names with
// "_en"); compresses about 3:1.
std::string MakeDemoText(const std::string &name, size_t size);

// HTML page: gb2312, big5 (names with "_b5") or English (names with "_en").
std::string MakeDemoHtml(const std::string &name, size_t size);

// Windows bitmap: a real BMP whose header describes the image; keyboard maps
// are drawn as keys, other pictures as a splash screen.
std::string MakeDemoBitmap(const std::string &name, size_t size);

// PNG: a valid image of noise (as incompressible as real PNG data), padded
// to the size with a text chunk.
std::string MakeDemoPng(const std::string &name, size_t size);

// Binary dictionary data: index tables, character codes and noise, about 2:1.
std::string MakeDemoData(const std::string &name, size_t size);

// Bytes that compress like machine code, to pad a program to its size.
std::string MakeProgramFiller(const std::string &name, size_t size);

// A seed derived from a file name (FNV-1a).
uint64_t SeedFromName(const std::string &name);
