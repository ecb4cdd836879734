// DLL planting. An installer is run from a Downloads folder where a hostile
// page may have saved DLLs. Windows loads a DLL that is not a KnownDLL from
// the program's folder first; Wine prefers its own builtin DLLs, so each
// planted name gets a native override ("name=n,b"), which is Windows' rule.
// Every planted DLL leaves a marker when loaded: after a run there must be
// none. The planted set is in tests/planting.cmake; it leaves out the DLLs
// Wine's own start-up chain loads before any code of the program runs
// (version.dll, imm32.dll and the like), which no program can protect itself
// from under Wine, and KnownDLLs, which Windows always takes from System32.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resources/ids.h"
#include "tests/driver/driver.h"

static const char kDownloads[] = "C:\\Downloads";

// The planted names (tests/planting.cmake), comma-separated; the test run
// gives each a native override through the harness.
static std::vector<std::string> PlantedNames()
{
    std::vector<std::string> names;
    std::string list = TestSetting("LUNKO_PLANTED_NAMES");
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

class DllPlanting : public testing::Test {
protected:
    void SetUp() override
    {
        CreateDirectoryA(kDownloads, NULL);
        std::string planted = DosPath(TestSetting("LUNKO_PLANTED_DLL"));
        std::vector<std::string> names = PlantedNames();
        ASSERT_FALSE(names.empty());
        for (const std::string &name : names) {
            std::string path = std::string(kDownloads) + "\\" + name + ".dll";
            DeleteFileA((path + ".loaded").c_str());
            ASSERT_TRUE(CopyFileA(planted.c_str(), path.c_str(), FALSE)) << path;
        }
    }

    std::string Copy(const std::string &from, const char *name)
    {
        std::string to = std::string(kDownloads) + "\\" + name;
        EXPECT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << to;
        return to;
    }

    static std::vector<std::string> Markers()
    {
        std::vector<std::string> found;
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA((std::string(kDownloads) + "\\*.loaded").c_str(), &data);
        if (search == INVALID_HANDLE_VALUE)
            return found;
        do {
            std::string who = ReadFileText(std::string(kDownloads) + "\\" + data.cFileName);
            found.push_back(std::string(data.cFileName) + " (by " + who + ")");
        } while (FindNextFileA(search, &data));
        FindClose(search);
        return found;
    }

    static int Run(const std::string &exe, const std::string &arguments)
    {
        Program program;
        if (!StartProgram(exe, &program, kDownloads, arguments.c_str()))
            return -2;
        int code = WaitForExit(&program, 120000);
        EndProgram(&program);
        return code;
    }
};

// The test's own proof: a program that loads COMCTL32 by name and makes a
// window without the protection does load the planted DLL.
TEST_F(DllPlanting, APlantedDllIsLoadedWithoutTheProtection)
{
    std::string probe = Copy(DosPath(TestSetting("LUNKO_PLANTING_PROBE")), "probe.exe");
    EXPECT_EQ(0, Run(probe, "unprotected"));
    std::vector<std::string> markers = Markers();
    EXPECT_NE(markers.end(), std::find_if(markers.begin(), markers.end(), [](const std::string &m) {
                  return m.compare(0, 19, "comctl32.dll.loaded") == 0;
              }))
        << "the planted DLLs are not reached: the overrides do not work and this test proves nothing";
}

// The installer's run-time loads: the search restriction, the common controls
// from System32, a window, the special folders and the shell-link object,
// which must still work with the search restricted.
TEST_F(DllPlanting, TheInstallersRunTimeLoadsTakeNothingFromItsFolder)
{
    std::string probe = Copy(DosPath(TestSetting("LUNKO_PLANTING_PROBE")), "probe.exe");
    std::string link = std::string(kDownloads) + "\\probe.lnk";
    DeleteFileA(link.c_str());
    EXPECT_EQ(0, Run(probe, "protected " + link)) << "a step failed with the search restricted";
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(link.c_str())) << "no shortcut written";
    std::vector<std::string> markers = Markers();
    for (const std::string &marker : markers)
        ADD_FAILURE() << "planted DLL loaded: " << marker;
}

// The installer itself, started from that folder (and with it as the current
// folder): through its start, the wizard, and its end.
TEST_F(DllPlanting, TheInstallerLoadsNoPlantedDll)
{
    std::string installer = Copy(InstallerPath(), "LunkoSetup.exe");
    Program program;
    HWND wizard = StartWizard(&program, installer, kDownloads);
    EXPECT_TRUE(wizard != NULL) << "the wizard did not appear";
    if (wizard)
        ClickControl(wizard, IDCANCEL);
    EXPECT_EQ(0, WaitForExit(&program, 60000));
    EndProgram(&program);
    for (const std::string &marker : Markers())
        ADD_FAILURE() << "planted DLL loaded: " << marker;
}

// A whole installation from that folder: the four pages, Install, the
// success notice, and the speech package run by msiexec.
TEST_F(DllPlanting, TheInstallerLoadsNoPlantedDllThroughAWholeInstallation)
{
    std::string installer = Copy(InstallerPath(), "LunkoSetup.exe");
    Program program;
    HWND wizard = StartWizard(&program, installer, kDownloads);
    ASSERT_TRUE(wizard != NULL) << "the wizard did not appear";
    ASSERT_TRUE(WalkForward(wizard, 3, IDC_DISPLAY_OK));
    ClickControl(wizard, IDC_NEXT);                 // Install
    EXPECT_EQ(kSuccessNotice, AnswerNotice(program.processId, IDOK, "", 180000));
    EXPECT_EQ(kSpeechQuestion, AnswerNotice(program.processId, IDOK, "", 180000));
    EXPECT_EQ(0, WaitForExit(&program, 60000));
    EndProgram(&program);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Lunko\\LKOEdit.exe")) << "not installed";
    for (const std::string &marker : Markers())
        ADD_FAILURE() << "planted DLL loaded: " << marker;
}
