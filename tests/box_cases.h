// The message boxes that box_runner shows one after another and that
// test_message_box checks and ends, in the same order.
#pragma once

#include <windows.h>

enum BoxAction {
    kClickButton,       // BM_CLICK on `button`
    kPressEnter,        // Enter to the focused control (after focusing `button`, if set)
    kPressEscape,
    kPressSpace,        // the space bar on the focused control (after focusing `button`)
    kCloseBox,          // the caption's close box
};

struct BoxCase {
    const char *chinese;
    const char *english;            // null: no English text
    int type;
    BoxAction action;
    int button;
    int result;                     // what BilingualMessageBox must return
    const char *screenshot;         // saved as <name>.png when set
};

// 40 characters, 80 bytes; with "1" before them, 81.
#define BOX_FORTY_CHARACTERS \
    "请检查所列目录合法性请检查所列目录合法性请检查所列目录合法性请检查所列目录合法性"
static_assert(sizeof BOX_FORTY_CHARACTERS == 81, "40 two-byte characters");

// 127 and 200 bytes of English.
#define BOX_ENGLISH_127 \
    "Installation failed. Please check your system (quit all Lunko applications) and try " \
    "again. This text is exactly 127 bytes long!"
#define BOX_ENGLISH_200 BOX_ENGLISH_127 \
    "+++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++++"

static_assert(sizeof BOX_ENGLISH_127 == 128, "127 bytes of English");

static const BoxCase kBoxCases[] = {
    { "祝贺您：安装顺利完成！", "Congratulations! Installation Success!", 0, kClickButton, IDOK, IDOK,
      "message_box_type0" },
    { BOX_FORTY_CHARACTERS, "", 0, kPressEnter, 0, IDOK, "message_box_80_bytes" },
    { "1" BOX_FORTY_CHARACTERS, NULL, 0, kPressEscape, 0, IDCANCEL, "message_box_81_bytes" },
    { "内存不够。安装无法继续。", "Memory not enough!", 0, kCloseBox, 0, IDCANCEL, NULL },
    { "下面安装微软的语音模块SAPI5.1.", "Now install sound module SAPI5.1 from Microsoft.", 1,
      kClickButton, IDOK, IDOK, "message_box_type1" },
    { "下面安装微软的语音模块SAPI5.1.", "Now install sound module SAPI5.1 from Microsoft.", 1,
      kClickButton, IDCANCEL, IDCANCEL, NULL },
    { "请您回答提问.", "Please select a choice.", 0, kPressEnter, IDOK, IDOK, NULL },
    { "请您回答提问.", "Please select a choice.", 1, kPressEnter, IDCANCEL, IDCANCEL, NULL },
    { "请您回答提问.", "Please select a choice.", 1, kPressEnter, IDOK, IDOK, NULL },
    { "请您回答提问.", "Please select a choice.", 1, kPressEnter, 0, IDOK, NULL },
    { "请您回答提问.", BOX_ENGLISH_200, 1, kPressSpace, IDCANCEL, IDCANCEL, NULL },
    { "您要替换旧的词库吗？", BOX_ENGLISH_127, 4, kClickButton, IDYES, IDYES, "message_box_type4" },
    { "您要替换旧的词库吗？", "Replace the old word base?", 4, kClickButton, IDNO, IDNO, NULL },
    { "您要替换旧的词库吗？", "Replace the old word base?", 4, kPressEnter, IDNO, IDNO, NULL },
    { "您要替换旧的词库吗？", "Replace the old word base?", 4, kPressEnter, IDYES, IDYES, NULL },
    { "您要替换旧的词库吗？", "Replace the old word base?", 4, kPressEnter, 0, IDYES, NULL },
    { "您要替换旧的词库吗？", NULL, 4, kPressSpace, IDNO, IDNO, NULL },
    { "您要替换旧的词库吗？", "Replace the old word base?", 4, kPressEscape, 0, IDCANCEL, NULL },
    { "您要替换旧的词库吗？", "Replace the old word base?", 4, kCloseBox, 0, IDCANCEL, NULL },
    // The notice after a rollback that could not put the user's words back.
    { "旧文件未能复原，仍在 CiZuFlat.igb.lunkoold，请勿删除。",
      "An old file could not be put back: it is kept as CiZuFlat.igb.lunkoold. Do not delete it.", 0,
      kClickButton, IDOK, IDOK, "message_box_stranded" },
    // The folder notices no walk under Wine meets: its drives all keep lists.
    { "此磁盘不能保护安装的程序（不支持访问权限）。请另选磁盘。",
      "This drive cannot protect the programs installed on it (it keeps no access lists). Please choose another drive.",
      0, kClickButton, IDOK, IDOK, "message_box_no_lists" },
    { "无法设置访问权限：E:\\软件\\Lunko。请另选目录。",
      "The access rights of E:\\软件\\Lunko could not be set. Please choose another folder.", 0, kPressEnter, 0, IDOK,
      "message_box_not_secured" },
};

static const char kBoxRunnerCaption[] = "Box runner";
