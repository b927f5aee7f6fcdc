#include "mirov/Contract.h"
#include "mirov/Path.h"
#include "tests/system/HelperTestBase.h"
#include "tools/common/HelperWindow.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

bool CopyFromBin(const char* name, const mirov::WideString& folder) {
    return ::CopyFileW(mirov::WidenAnsi(TestFolder::BinFolder() + name).c_str(),
                       (folder + mirov::WidenAnsi(name)).c_str(), FALSE) != 0;
}

// A folder made and removed by its exact name, which the ANSI calls of TestFolder cannot reach.
struct WideFolder {
    explicit WideFolder(mirov::WideString folder) : path(std::move(folder)) {
        Remove();
        created = ::CreateDirectoryW(path.c_str(), nullptr) != 0;
    }
    ~WideFolder() { Remove(); }
    void Remove() const {
        for (const wchar_t* name : {L"TorvexHelp.exe", L"Torvex.dll"})
            ::DeleteFileW((path + name).c_str());
        ::RemoveDirectoryW(path.c_str());
    }

    mirov::WideString path;
    bool created = false;
};

// The program started by its exact path, as the shell starts it from a folder of any name.
struct WideHelper {
    explicit WideHelper(const mirov::WideString& folder) {
        if (!process.Start(folder + L"TorvexHelp.exe", folder))
            return;
        boxes = std::make_unique<MessageBoxWatcher>(process.Pid());
        window = WaitForHelperWindow(process.Pid(), 20000);
    }
    LRESULT Power(WPARAM event) const {
        DWORD_PTR result = 0xBAD;
        ::SendMessageTimeoutA(window, WM_POWERBROADCAST, event, 0, SMTO_NORMAL, 30000, &result);
        return static_cast<LRESULT>(result);
    }
    bool Quit() {
        ::PostMessageA(window, contract::kQuitMessage, contract::kQuitRequest, 0);
        return process.Wait(20000);
    }

    ChildProcess process;
    std::unique_ptr<MessageBoxWatcher> boxes;
    HWND window = nullptr;
};

// A folder put first on this process's PATH, which the programs it starts inherit, for one scope.
class FolderOnPath {
public:
    explicit FolderOnPath(const std::string& folder) {
        std::vector<char> old(32768);
        const DWORD length = ::GetEnvironmentVariableA("PATH", old.data(), static_cast<DWORD>(old.size()));
        m_old.assign(old.data(), length < old.size() ? length : 0);
        ::SetEnvironmentVariableA("PATH", (folder + ";" + m_old).c_str());
    }
    ~FolderOnPath() { ::SetEnvironmentVariableA("PATH", m_old.c_str()); }
    FolderOnPath(const FolderOnPath&) = delete;
    FolderOnPath& operator=(const FolderOnPath&) = delete;

private:
    std::string m_old;
};

// How one start of the program in a working folder of its own ended: its window, or its exit code.
struct PlantedRun {
    bool window = false;
    DWORD exitCode = STILL_ACTIVE;
    std::vector<MessageBoxWatcher::Box> boxes;
};

std::string Loaded(const std::string& path) {
    return "Loaded(" + path + ")";
}

PlantedRun RunIn(const std::string& exe, const std::string& workingFolder) {
    PlantedRun run;
    ChildProcess process;
    if (!process.Start(exe, "", workingFolder))
        return run;
    MessageBoxWatcher watcher(process.Pid());
    const ULONGLONG end = ::GetTickCount64() + 20000;
    while (!run.window && !process.Wait(50) && ::GetTickCount64() < end)
        run.window = !FindHelperWindows(process.Pid()).empty();
    if (run.window) {
        ::PostMessageA(FindHelperWindows(process.Pid()).front(), contract::kQuitMessage,
                       contract::kQuitRequest, 0);
        process.Wait(20000);
    }
    run.exitCode = process.ExitCode();
    run.boxes = watcher.Boxes();
    return run;
}

} // namespace

class Faults : public HelperTest {};

// Copies of the library's own DLLs planted in the program's working folder and in a folder on PATH
// are never loaded: the imported one and the one loaded by bare name come only from beside the library.
TEST_F(Faults, LibraryDllsComeFromBesideItNeverFromTheWorkingFolderOrPath) {
    TestFolder working(CurrentTestName() + ".working");
    TestFolder onPath(CurrentTestName() + ".path");
    for (const TestFolder* planted : {&working, &onPath})
        ASSERT_TRUE(planted->CopyFromBin("TorvexDep.dll") && planted->CopyFromBin("TorvexPlug.dll"));
    const FolderOnPath path(onPath.Path());
    ASSERT_TRUE(m_folder.CopyFromBin("TorvexDependent.dll", "Torvex.dll"));
    const std::string exe = m_helper.ExePath();
    const std::string library = m_folder / "Torvex.dll";

    // The imported DLL is nowhere but planted: the library cannot load.
    PlantedRun run = RunIn(exe, working.Path());
    EXPECT_EQ(m_sim.Calls({"Loaded"}), std::vector<std::string>{});
    EXPECT_FALSE(run.window);
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, "Can not load " + library + ". Program will abort");

    // Beside the library: the imported DLL comes from there, the one loaded by name is not found.
    ASSERT_TRUE(m_folder.CopyFromBin("TorvexDep.dll"));
    m_sim.ClearJournal();
    run = RunIn(exe, working.Path());
    EXPECT_TRUE(run.window);
    EXPECT_EQ(m_sim.Calls({"Loaded"}), std::vector<std::string>{Loaded(m_folder / "TorvexDep.dll")});

    ASSERT_TRUE(m_folder.CopyFromBin("TorvexPlug.dll"));
    m_sim.ClearJournal();
    run = RunIn(exe, working.Path());
    EXPECT_TRUE(run.window);
    EXPECT_EQ(m_sim.Calls({"Loaded"}), (std::vector<std::string>{Loaded(m_folder / "TorvexDep.dll"),
                                                                 Loaded(m_folder / "TorvexPlug.dll")}));
    EXPECT_EQ(run.exitCode, 0u);
}

TEST_F(Faults, MissingLibraryIsReportedAndTheProgramIdlesUntilAskedToQuit) {
    TestFolder folder(CurrentTestName() + ".bare");
    HelperProcess helper(folder, false);
    ASSERT_TRUE(helper.Start());
    ASSERT_NE(helper.WaitForWindow(), nullptr);
    ASSERT_TRUE(helper.Boxes().WaitForCount(1, 5000));
    const auto box = helper.Boxes().Boxes()[0];
    EXPECT_EQ(box.text, "Can not find " + (folder / "Torvex.dll"));
    EXPECT_EQ(box.caption, "LoadLibrary Error");
    EXPECT_FALSE(box.hasIcon);
    for (WPARAM event : {PBT_APMSUSPEND, PBT_APMRESUMESUSPEND, PBT_APMRESUMECRITICAL})
        EXPECT_EQ(helper.Power(event), 0);
    ASSERT_TRUE(helper.Quit());
    EXPECT_EQ(helper.Process().ExitCode(), 0u); // not an access violation
    EXPECT_EQ(helper.Boxes().Boxes().size(), 1u);
}

TEST_F(Faults, FileThatIsNoLibraryIsReportedAndEndsTheProgram) {
    ASSERT_TRUE(m_folder.WriteFile("Torvex.dll", "MZ but not a library"));
    ASSERT_TRUE(m_helper.Start());
    ASSERT_TRUE(m_helper.Process().Wait(20000));
    EXPECT_EQ(m_helper.Process().ExitCode(), 1u);
    const auto boxes = m_helper.Boxes().Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can not load " + (m_folder / "Torvex.dll") + ". Program will abort");
    EXPECT_EQ(boxes[0].caption, "LoadLibrary Error");
    EXPECT_TRUE(FindHelperWindows().empty());
}

TEST_F(Faults, LibraryWithoutAnExportEndsWithTheEntryPointCheck) {
    ASSERT_TRUE(m_folder.CopyFromBin("TorvexMissingExport.dll", "Torvex.dll"));
    ASSERT_TRUE(m_helper.Start());
    ASSERT_TRUE(m_helper.Process().Wait(20000));
    EXPECT_EQ(m_helper.Process().ExitCode(), 3u);
    const auto boxes = m_helper.Boxes().Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text.rfind("Assertion failed: m_pTorvexInit != NULL && ", 0), 0u);
    EXPECT_EQ(boxes[0].caption, "TorvexHelp.exe");
    EXPECT_EQ(boxes[1].text, "Abnormal program termination");
}

TEST_F(Faults, UnsupportedMachineGetsPowerEventsAndNothingIsCalled) {
    m_sim.Set("IsSupport", 0);
    StartHelper();
    m_sim.ClearJournal();
    SleepAndWake(3);
    m_helper.Power(PBT_APMRESUMECRITICAL);
    EXPECT_TRUE(m_sim.Journal().empty());
    EXPECT_TRUE(m_helper.Boxes().Boxes().empty());
    ASSERT_TRUE(m_helper.Quit());
    EXPECT_EQ(m_helper.Process().ExitCode(), 0u);
}

TEST_F(Faults, LongExecutablePathStillFindsItsLibrary) {
    std::string deep = m_folder.Path();
    while (deep.size() < 150) {
        deep += "a long folder name\\";
        ASSERT_TRUE(::CreateDirectoryA(deep.c_str(), nullptr));
    }
    ASSERT_TRUE(::CopyFileA((TestFolder::BinFolder() + "TorvexHelp.exe").c_str(),
                            (deep + "TorvexHelp.exe").c_str(), FALSE));
    ASSERT_TRUE(
        ::CopyFileA((TestFolder::BinFolder() + "Torvex.dll").c_str(), (deep + "Torvex.dll").c_str(), FALSE));
    ASSERT_TRUE(m_helper.Start(deep + "TorvexHelp.exe"));
    ASSERT_NE(m_helper.WaitForWindow(), nullptr);
    EXPECT_TRUE(m_helper.Boxes().Boxes().empty());
    SleepAndWake(7);
    EXPECT_EQ(LevelSwitches(), std::vector<std::string>{"TorvexSetLevel(7) = 1"});
}

TEST_F(Faults, FolderNamesOutsideTheCodePageFindTheLibraryBesideTheProgram) {
    // "M\u0101dir" reads "Madir" in the ANSI code page: the library of that look-alike must stay unloaded.
    ASSERT_TRUE(m_folder.MakeFolder("Madir") &&
                m_folder.CopyFromBin("TorvexMissingExport.dll", "Madir\\Torvex.dll"));
    const WideFolder accented(mirov::WidenAnsi(m_folder.Path()) + L"M\u0101dir\\");
    ASSERT_TRUE(accented.created);
    ASSERT_TRUE(CopyFromBin("TorvexHelp.exe", accented.path) && CopyFromBin("Torvex.dll", accented.path));
    {
        WideHelper helper(accented.path);
        ASSERT_NE(helper.window, nullptr) << "exit code " << helper.process.ExitCode();
        m_sim.Set("Level", 3);
        helper.Power(PBT_APMSUSPEND);
        helper.Power(PBT_APMRESUMESUSPEND);
        EXPECT_EQ(LevelSwitches(), std::vector<std::string>{"TorvexSetLevel(3) = 1"});
        EXPECT_TRUE(helper.boxes->Boxes().empty());
        EXPECT_TRUE(helper.Quit());
    }
    // Cyrillic and CJK letters: the box names the real folder, and the library there is found.
    const WideFolder foreign(mirov::WidenAnsi(m_folder.Path()) +
                             L"\u041F\u0430\u043F\u043A\u0430 \u6587\u4EF6\\");
    ASSERT_TRUE(foreign.created && CopyFromBin("TorvexHelp.exe", foreign.path));
    {
        WideHelper helper(foreign.path);
        ASSERT_NE(helper.window, nullptr);
        ASSERT_TRUE(helper.boxes->WaitForCount(1, 5000));
        EXPECT_EQ(helper.boxes->Boxes()[0].wideText, L"Can not find " + foreign.path + L"Torvex.dll");
        EXPECT_TRUE(helper.Quit());
    }
    ASSERT_TRUE(CopyFromBin("Torvex.dll", foreign.path));
    WideHelper helper(foreign.path);
    ASSERT_NE(helper.window, nullptr);
    EXPECT_TRUE(helper.boxes->Boxes().empty());
    EXPECT_TRUE(helper.Quit());
}
