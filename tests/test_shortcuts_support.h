// What the shortcut tests observe: the notices the code shows (the real
// message box, read and answered from a second thread as a user would) and
// the fields of the .lnk files it writes, parsed by an independent reader.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

// ---- notices -------------------------------------------------------------
struct SeenNotice {
    std::string chinese;        // window text of the main text control
    std::string english;        // window text of the English text control
    HWND owner;
    bool okOnly;                // OK shown; Cancel, Yes and No hidden
    bool question;              // Yes and No shown
};

// Gets the process ready to show the message box: the module whose
// template it uses, the glyph sheets when the payload has them, and a hidden
// window standing in for the wizard as the owner of every notice.
void PrepareNoticeOwner(void);

// Watches for the message box while the code under test runs and presses
// OK on every one that comes up, or `questionAnswer` (IDYES or IDNO) on a
// question; Stop returns what was seen, in order.
void StartNoticeWatch(int questionAnswer = IDYES);
std::vector<SeenNotice> StopNoticeWatch(void);

// ---- the product's shortcut names -----------------------------------------
// In the bytes of each system language (English, GBK, Big5): the group and
// the editor's link, the uninstaller's link, the notes editor's link.
struct ShortcutNames {
    const char *group;
    const char *uninstaller;
    const char *notes;
};
extern const ShortcutNames kShortcutNames[3];

// ---- link files ----------------------------------------------------------
struct LinkFields {
    bool parsed = false;        // lnkinfo read the file
    std::string localPath;      // the target
    std::string description;
    std::string workingDirectory;   // "" when the link has none
    std::string iconLocation;
    std::string iconIndex;
    std::string report;         // lnkinfo's whole output, for failure messages
};

// Runs Debian's lnkinfo (a Linux program, started through Wine's support
// for Unix executables) on a copy of the link. Strings come back in UTF-8,
// as lnkinfo prints them.
LinkFields ReadLink(const std::string &linkPath);

// ---- files ---------------------------------------------------------------
bool FileExists(const std::string &path);
bool FolderExists(const std::string &path);
void MakeFolders(const std::string &path);          // every missing level
void WriteDummyFile(const std::string &path);
// The names (not paths) in a folder that match a pattern such as "a*";
// LinksIn gives those that end in ".lnk".
std::vector<std::string> FilesIn(const std::string &folder, const char *pattern);
std::vector<std::string> LinksIn(const std::string &folder);
// Makes a symbolic link that reports as a reparse point, as a folder link
// (a junction on Windows) or a file link; "" when made, else why not.
std::string MakeSymbolicLink(const char *link, const char *target, bool folder);
// A file's or folder's access control list as it reads back, in SDDL. Wine
// keeps no lists: it turns one into Unix mode bits and builds the list it
// reads back from them, where only the entry for everyone (WD) tells
// whether others may read; a file or folder closed to them reads back
// without it.
std::string ListReadBack(const std::string &path);

// ---- the installed files ---------------------------------------------------
// The payload file of catalogue row `row` (counted from 1), read once.
const std::vector<unsigned char> &PayloadOfRow(int row);
// Row `row`'s file in `folder` holds its payload file's bytes (unless
// `bytes` is false) and exactly the read-only and hidden attributes the
// catalogue gives it (unless `attributes` is false).
testing::AssertionResult InstalledAsCatalogueSays(const std::string &folder, int row,
                                                  bool bytes = true, bool attributes = true);
