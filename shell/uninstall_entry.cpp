// The installation's entry in Apps & features (Programs and Features, Add or
// Remove Programs on older systems), where users look for installed
// software and its uninstaller. Every Windows the installer supports lists
// the keys below Uninstall; a 32-bit process on 64-bit Windows writes the
// registry's 32-bit view, which is listed too. Only administrators may
// write there, and the commands point into the installation folder, which
// is closed to other users.

#include <windows.h>

#include "lunko_version.h"
#include "payload/catalogue.h"
#include "shell/shell.h"
#include "wizard/wizard.h"

static const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\LunkovanZavavIrazaz";

int WriteUninstallEntry(const char *displayName)
{
    // Room for the longest folder path with the program's name and quotes.
    char uninstaller[2 * MAX_PATH];
    char icon[2 * MAX_PATH];
    // Quoted: the system runs it as a command line, and unquoted a folder
    // with a blank ("C:\Program Files\...") would start another program.
    FormatText(uninstaller, sizeof uninstaller, "\"%s\\LKOEditUnInstall.exe\"", InstallFolderPath);
    FormatText(icon, sizeof icon, "%s\\LKOEdit.exe,0", InstallFolderPath);
    const char *const texts[][2] = {
        { "DisplayName", displayName ? displayName : "" },
        { "UninstallString", uninstaller },
        { "DisplayIcon", icon },
        { "DisplayVersion", LUNKO_VERSION_TEXT },
        { "Publisher", LUNKO_MAKER },
        { "InstallLocation", InstallFolderPath },
    };
    const struct {
        const char *name;
        DWORD value;
    } numbers[] = {
        { "EstimatedSize", (DWORD)((PayloadCatalogueBytes + 1023) / 1024) },     // KiB
        { "NoModify", 1 },
        { "NoRepair", 1 },
    };

    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, NULL,
                        &key, NULL)
        != ERROR_SUCCESS)
        return 0;
    int result = 1;
    for (const auto &text : texts)
        result &= WriteRegistryString(key, text[1], text[0]);
    for (const auto &number : numbers)
        result &= RegSetValueExA(key, number.name, 0, REG_DWORD, (const BYTE *)&number.value, sizeof number.value)
                  == ERROR_SUCCESS;
    RegCloseKey(key);
    return result;
}
