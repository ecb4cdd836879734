/* Resource and control ids shared by the resource script and the code.
   The numbers are part of the installer's interface: tests and the dialog
   templates address controls by them. */
#ifndef LUNKO_IDS_H
#define LUNKO_IDS_H

/* Dialog templates and the icon. */
#define IDD_WIZARD            114
#define IDD_MESSAGE_BOX       112
#define IDD_FOLDER_CHOOSER    168
#define IDI_WIZARD            104
/* The wizard's caption: a second start finds the first wizard by it. */
#define WIZARD_CAPTION        "Lunkovan Zavav Irazaz Installer"

/* Payload resources read by the installer itself (besides the catalogue). */
#define IDR_GLYPH_SHEETS      110
#define IDR_AGREEMENT_ZH      124
#define IDR_AGREEMENT_EN      161
#define IDR_SPEECH_PACKAGE    1029

/* Wizard (template 114). */
#define IDC_BACK              3
#define IDC_NEXT              1001
#define IDC_FOLDER_EDIT       1002
#define IDC_BROWSE            1003
#define IDC_DESKTOP_ICON      1004
#define IDC_FOLDER_LABEL      1006
#define IDC_DISPLAY_OK        1007
#define IDC_DISPLAY_NO        1008
#define IDC_PANEL_BRAND       1009
#define IDC_SHOW_ENGLISH      1010
#define IDC_PANEL_PRODUCT     1011
#define IDC_PANEL_INSTALLER   1012
#define IDC_AGREEMENT_EN      1014
#define IDC_DISPLAY_FRAME     1015
#define IDC_ALT_LABEL         1016
#define IDC_DISPLAY_QUESTION  1017
#define IDC_DISPLAY_SAMPLE    1018
#define IDC_AGREEMENT_ZH      1019
#define IDC_PANEL_BLANK       1020
#define IDC_BOTTOM_STRIP      1021
#define IDC_WAIT_TEXT         1022
#define IDC_PROGRESS          1026
#define IDC_LANGUAGE_LABEL    1030
#define IDC_LANGUAGE_COMBO    1031
#define IDC_FOLDER_NAME       1032  /* hidden: names the folder box for screen readers */
#define IDC_PRODUCT_NAME      166
#define IDC_PRODUCT_ICON      102
#define IDC_INSTALLER_WORD    169
#define IDC_PANEL_LINE        108
#define IDC_WEB_ADDRESS       172

/* Message box (template 112). IDOK, IDCANCEL, IDYES, IDNO are the buttons. */
#define IDC_MESSAGE_CHINESE   1013
#define IDC_MESSAGE_ENGLISH   1028

/* Folder chooser (template 168); the common dialog's own ids come from <dlgs.h>. */
#define IDC_CHOOSER_DIRS_LABEL   1008
#define IDC_CHOOSER_DRIVES_LABEL 1010

#endif
