#include "app/app_state.h"
#include "new_settings.h"
#include "settings/settings.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <tuple>
#include <vector>

namespace {

// A file of an earlier run, with a section of another program's, and the same file once SetNewSettings' values have
// been saved into it; its own section is what a save writes where there was no file.
const std::string kOldFile = "[Other]\r\nKeep=1\r\n[Backdrift]\r\nFolder=C:\\Old\r\nMode=0\r\nIndex=2\r\nFit=1\r\n"
                             "Autostart=0\r\nHotkeyMod=3\r\nHotkeyVk=87\r\n";
const std::wstring kNewFile = L"[Other]\r\nKeep=1\r\n[Backdrift]\r\nFolder=D:\\New\r\nMode=1\r\nIndex=5\r\nFit=4\r\n"
                              L"Autostart=1\r\nHotkeyMod=6\r\nHotkeyVk=66\r\n";
const std::wstring kNewSection = kNewFile.substr(kNewFile.find(L"[Backdrift]"));

auto Persistent()
{
    return std::make_tuple(g_app.folder, g_app.mode, g_app.index, g_app.fit, g_app.autostart, g_app.hotkeyMod,
                           g_app.hotkeyVk);
}

// A flush and a write-through replace show only after a power cut, which no test can make: so each call is recorded.
std::vector<std::wstring> g_diskCalls;

std::wstring NameOf(const std::wstring& path)
{
    return path.substr(path.find_last_of(L'\\') + 1);
}

BOOL WINAPI RecordFlush(HANDLE file)
{
    wchar_t path[MAX_PATH] = {};
    GetFinalPathNameByHandleW(file, path, MAX_PATH, FILE_NAME_NORMALIZED);
    g_diskCalls.push_back(L"flush " + NameOf(path));
    return SystemFunction<decltype(&FlushFileBuffers)>(L"kernel32.dll", "FlushFileBuffers")(file);
}

BOOL WINAPI RecordMove(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    g_diskCalls.push_back(L"move " + NameOf(from) + L" " + NameOf(to) + L" " + std::to_wstring(flags));
    return SystemFunction<decltype(&MoveFileExW)>(L"kernel32.dll", "MoveFileExW")(from, to, flags);
}

class SettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        TearDown();
        ResetAppState();
    }
    void TearDown() override
    {
        RemoveTree(configDir);
        RemoveTree(exeDirFile);
    }

    // Writes a settings file by hand, as a user with a text editor would (ANSI).
    void WriteConfig(const std::string& text)
    {
        CreateDirectoryW(configDir.c_str(), nullptr);
        WriteBytes(configFile, text);
    }
    void LoadFrom(const std::string& text)
    {
        WriteConfig(text);
        LoadSettings();
    }
    std::wstring ConfigText() { return ReadText(configFile).value_or(L"<missing>"); }
    static void SaveAndReload()
    {
        SaveSettings();
        ResetAppState();
        LoadSettings();
    }

    // Spelt out here, not taken from the program's names: users' settings live under this name.
    const std::wstring configDir = RoamingAppData() + L"\\Backdrift";
    const std::wstring configFile = configDir + L"\\config.ini";
    const std::wstring exeDirFile = ModuleDir() + L"\\config.ini";
    // Saves SetNewSettings' values, ending after the number of key writes appended.
    const std::wstring saveCutProbe = L"\"" + BuiltProgram(L"save_cut_probe.exe") + L"\" ";
};

TEST_F(SettingsTest, ConfigPathIsUnderRoamingAppData)
{
    EXPECT_EQ(std::tuple(GetConfigDir(), GetConfigPath()), std::tuple(configDir, configFile));
}

TEST_F(SettingsTest, FirstStartTakesDefaultsCreatesFolderButNoFile)
{
    SetNewSettings(); // none of them a default, for the load to replace

    LoadSettings();

    EXPECT_EQ(Persistent(), std::make_tuple(std::wstring(), Sequential, -1, Fill, false,
                                            uint32_t{MOD_CONTROL | MOD_ALT}, uint32_t{'W'}));
    EXPECT_EQ(std::tuple(Exists(configDir), Exists(configFile)), std::tuple(true, false)) << "folder, file";
}

TEST_F(SettingsTest, SaveOfDefaultsWritesExactlyTheDefaultFileAsUtf16)
{
    g_diskCalls.clear();
    SaveSettings();

    const std::wstring replace = std::to_wstring(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    EXPECT_EQ(g_diskCalls,
              (std::vector<std::wstring>{L"flush config.ini.new", L"move config.ini.new config.ini " + replace}));
    EXPECT_TRUE(ReadBytes(configFile).value_or("").starts_with("\xFF\xFE"));
    EXPECT_EQ(ConfigText(), SettingsFileText());
}

TEST_F(SettingsTest, EveryValueRoundTrips)
{
    SetNewSettings();
    const auto saved = Persistent();
    SaveSettings();
    EXPECT_EQ(ConfigText(), kNewSection);

    ResetAppState();
    LoadSettings();
    EXPECT_EQ(Persistent(), saved);
}

TEST_F(SettingsTest, NonAsciiFolderSurvivesARestart)
{
    const std::wstring folder = L"C:\\Users\\\u0141ukasz\\\u58c1\u7d19";
    g_app.folder = folder;
    SaveAndReload();
    EXPECT_EQ(g_app.folder, folder);
}

TEST_F(SettingsTest, ExistingAnsiFileKeepsItsEncoding)
{
    LoadFrom("[Backdrift]\r\nMode=1\r\n");
    SaveSettings();

    const std::string bytes = ReadBytes(configFile).value_or("");
    EXPECT_FALSE(bytes.starts_with("\xFF\xFE"));
    EXPECT_NE(bytes.find("Mode=1\r\n"), std::string::npos);
}

TEST_F(SettingsTest, LongFolderIsReadWhole)
{
    std::wstring deep = L"C:\\";
    while (deep.size() < 5000) {
        deep += L"deep\\";
    }
    for (const size_t length : {519u, 520u, 600u, 1039u, 5000u}) {
        g_app.folder = deep.substr(0, length);
        SaveAndReload();
        EXPECT_EQ(g_app.folder, deep.substr(0, length)) << "length " << length;
    }
}

TEST_F(SettingsTest, OutOfRangeNumbersAreCorrected)
{
    const std::tuple<const char*, std::tuple<RotationMode, FitMode, uint32_t, uint32_t>> cases[] = {
        {"Mode=2\r\nFit=5\r\nHotkeyMod=19\r\nHotkeyVk=256\r\n", {Sequential, Fill, 3, 0}},
        {"Mode=-1\r\nFit=-3\r\nHotkeyMod=-1\r\nHotkeyVk=-1\r\n", {Sequential, Fill, 15, 0}},
        {"Mode=abc\r\nFit=4\r\nHotkeyMod=16\r\nHotkeyVk=255\r\n", {Sequential, Center, 0, 255}},
        {"Mode=1\r\nFit=1\r\nHotkeyMod=16387\r\nHotkeyVk=0\r\n", {Random, Fit, 3, 0}},
    };
    for (const auto& [file, expected] : cases) {
        LoadFrom(std::string("[Backdrift]\r\n") + file);
        EXPECT_EQ(std::tuple(g_app.mode, g_app.fit, g_app.hotkeyMod, g_app.hotkeyVk), expected) << file;
    }
}

TEST_F(SettingsTest, IndexAndAutostartAreTakenAsStored)
{
    for (const int index : {-1, -7, 500}) {
        LoadFrom("[Backdrift]\r\nIndex=" + std::to_string(index) + "\r\nAutostart=5\r\n");
        EXPECT_EQ(std::tuple(g_app.index, g_app.autostart), std::tuple(index, true));
    }
    SaveSettings();
    EXPECT_NE(ConfigText().find(L"Autostart=1\r\n"), std::wstring::npos);
}

TEST_F(SettingsTest, ForeignKeysAndSectionsSurviveSaves)
{
    LoadFrom("; my notes\r\n[Other]\r\nKeep=yes\r\n[Backdrift]\r\nExtra=1\r\nFit=3\r\n");
    EXPECT_EQ(g_app.fit, Tile);
    for (int i = 0; i < 3; ++i) {
        SaveSettings();
    }

    for (const wchar_t* part : {L"; my notes", L"[Other]\r\nKeep=yes\r\n", L"Extra=1\r\n", L"Folder=", L"Mode=0",
                                L"Index=-1", L"Fit=3", L"Autostart=0", L"HotkeyMod=3", L"HotkeyVk=87"}) {
        EXPECT_NE(ConfigText().find(part), std::wstring::npos) << Narrow(part);
    }
}

TEST_F(SettingsTest, AlteredSectionHeaderGivesDefaultsAndAFreshSection)
{
    LoadFrom("[Backdrift-old]\r\nMode=1\r\nFit=2\r\n");
    EXPECT_EQ(std::tuple(g_app.mode, g_app.fit), std::tuple(Sequential, Fill));

    SaveSettings();
    EXPECT_NE(ConfigText().find(L"[Backdrift-old]\r\nMode=1\r\nFit=2\r\n"), std::wstring::npos);
    EXPECT_NE(ConfigText().find(L"[Backdrift]\r\nFolder=\r\nMode=0\r\n"), std::wstring::npos);
}

TEST_F(SettingsTest, FileNamedBackdriftSendsSettingsToTheExecutableFolder)
{
    WriteBytes(configDir, "in the way");

    EXPECT_EQ(GetConfigDir(), ModuleDir());
    g_app.mode = Random;
    SaveAndReload();
    EXPECT_EQ(std::tuple(g_app.mode, Exists(exeDirFile)), std::tuple(Random, true));
}

TEST_F(SettingsTest, UnusableRoamingFolderSendsSettingsToTheExecutableFolder)
{
    const wchar_t* shellFolders[] = {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                                     L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"};
    RegValueGuard user(HKEY_CURRENT_USER, shellFolders[0], L"AppData");
    RegValueGuard shell(HKEY_CURRENT_USER, shellFolders[1], L"AppData");
    for (const wchar_t* key : shellFolders) {
        WriteRegString(HKEY_CURRENT_USER, key, L"AppData", L"C:\\no-such-folder\\deeper\\Roaming");
    }

    // Windows may keep a process's known folders once asked, so a fresh process asks: the probe saves all seven keys.
    EXPECT_EQ(RunAndRead(saveCutProbe + L"7").first, 0u);
    EXPECT_EQ(ReadText(exeDirFile), kNewSection);
}

TEST_F(SettingsTest, ASaveCutShortLeavesTheLastCompleteSettings)
{
    for (int writes = 0; writes < 7; ++writes) {
        WriteConfig(kOldFile);
        EXPECT_EQ(RunAndRead(saveCutProbe + std::to_wstring(writes)).first, DWORD{ERROR_CANCELLED});
        EXPECT_EQ(ReadBytes(configFile), kOldFile) << "ended after " << writes << " writes";
    }
    WriteConfig(kOldFile);
    EXPECT_EQ(RunAndRead(saveCutProbe + L"7").first, 0u);
    EXPECT_EQ(ConfigText(), kNewFile);
}

TEST_F(SettingsTest, AFileHeldOpenElsewhereIsStillSaved)
{
    WriteConfig("[Backdrift]\r\nMode=0\r\n");
    HANDLE reader = CreateFileW(configFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    g_app.mode = Random;
    SaveSettings();
    CloseHandle(reader);

    EXPECT_NE(ConfigText().find(L"Mode=1\r\n"), std::wstring::npos) << Narrow(ConfigText());
    EXPECT_FALSE(Exists(configFile + L".new"));
}

// What an ordinary user meets: a file or folder marked read-only or not readable, a file that another program holds
// open, a file that is a link. Each row first shows that its obstacle is real: with root's rights the platform refuses
// no write, and the rows would prove nothing.
TEST_F(SettingsTest, ASaveGetsThroughWhateverTheFileAndFolderAllow)
{
    const std::wstring draft = configFile + L".new";
    const std::wstring synced = configDir + L"\\Synced\\config.ini";
    const std::wstring secondName = configDir + L"\\backup.ini";
    const auto refuses = [](const std::wstring& path, DWORD creation) {
        HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
            DeleteFileW(path.c_str());
        }
        return handle == INVALID_HANDLE_VALUE;
    };
    // Wine's CreateSymbolicLinkW makes nothing yet reports success, and Wine cannot give a file back the right to read
    // it: there the system's own programs do it, started from Z: with no handle to wait on, so their effect is awaited.
    const auto unixInConfigDir = [&](const std::wstring& commandLine, const std::function<bool()>& done) {
        RunAndRead(commandLine, configDir.c_str());
        return WaitUntil(done);
    };
    HANDLE holder = INVALID_HANDLE_VALUE;
    struct Row {
        const char* name;
        bool savedAtOnce;              // else the file is kept as it was, and saved once the obstacle is gone
        std::function<bool()> arrange; // sets the obstacle up; true when it is there (the platform refuses the write)
        std::function<void()> release; // removes it, checking first what the save did to it
    };
    const Row rows[] = {
        {"read-only file, then writable again", false,
         [&] {
             return SetFileAttributesW(configFile.c_str(), FILE_ATTRIBUTE_READONLY) &&
                    refuses(configFile, OPEN_EXISTING);
         },
         [&] { SetFileAttributesW(configFile.c_str(), FILE_ATTRIBUTE_NORMAL); }},
        {"file that may not be read, then readable again", false,
         [&] { return DenyToEveryone(configFile, FILE_READ_DATA) && !ReadBytes(configFile); },
         [&] {
             return RunningUnderWine() ? unixInConfigDir(L"Z:\\bin\\chmod a+r config.ini",
                                                         [&] { return ReadBytes(configFile).has_value(); })
                                       : DenyToEveryone(configFile, 0);
         }},
        {"stale read-only hidden draft of an earlier run", true,
         [&] {
             WriteBytes(draft, "[Backdrift]\r\nMode=7\r\n");
             if (!SetFileAttributesW(draft.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN) ||
                 !refuses(draft, OPEN_EXISTING)) {
                 return false;
             }
             // A save cut short that meets the draft first.
             EXPECT_EQ(RunAndRead(saveCutProbe + L"3").first, DWORD{ERROR_CANCELLED});
             EXPECT_EQ(ReadBytes(configFile), kOldFile) << "a save cut short left a mixed file";
             return true;
         },
         [] {}},
        {"folder where files can be changed but not created", true,
         [&] { return DenyToEveryone(configDir, FILE_ADD_FILE) && refuses(configDir + L"\\probe.ini", CREATE_NEW); },
         [&] { DenyToEveryone(configDir, 0); }},
        {"draft held open by a scanner", true,
         [&] {
             holder = CreateFileW(draft.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
             return holder != INVALID_HANDLE_VALUE && refuses(draft, OPEN_EXISTING);
         },
         [&] { CloseHandle(holder); }},
        {"symbolic link into a synced folder", true,
         [&] {
             CreateDirectoryW((configDir + L"\\Synced").c_str(), nullptr);
             return MoveFileW(configFile.c_str(), synced.c_str()) &&
                    (RunningUnderWine() ? unixInConfigDir(L"Z:\\bin\\ln -s Synced/config.ini config.ini",
                                                          [&] { return Exists(configFile); })
                                        : CreateSymbolicLinkW(configFile.c_str(), L"Synced\\config.ini",
                                                              SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE));
         },
         [&] {
             EXPECT_EQ(ReadText(synced), kNewFile);
             EXPECT_FALSE(Exists(synced + L".new")) << "a draft is left behind";
             WriteBytes(synced, kOldFile);
             EXPECT_EQ(ReadBytes(configFile), kOldFile) << "config.ini is no longer the link";
             // Wine deletes the file that a link names, not the link; a file moved onto it replaces it.
             WriteBytes(secondName, kOldFile);
             MoveFileExW(secondName.c_str(), configFile.c_str(), MOVEFILE_REPLACE_EXISTING);
         }},
        {"file with a second name, a hard link", true,
         [&] { return CreateHardLinkW(secondName.c_str(), configFile.c_str(), nullptr) != FALSE; },
         [&] { EXPECT_EQ(ReadText(secondName), kNewFile) << "the second name keeps the old settings"; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        WriteConfig(kOldFile);
        ASSERT_TRUE(row.arrange()) << "no obstacle: are the tests running with root's rights?";
        SetNewSettings();
        SaveSettings();
        if (row.savedAtOnce) {
            EXPECT_EQ(ConfigText(), kNewFile);
            row.release();
        } else {
            EXPECT_FALSE(Exists(draft)) << "a draft is left behind";
            row.release();
            EXPECT_EQ(ReadBytes(configFile), kOldFile);
        }
        SaveSettings();
        EXPECT_EQ(ConfigText(), kNewFile);
        EXPECT_FALSE(Exists(draft)) << "a draft is left behind once the obstacle is gone";
    }
}

// Generated settings files of every shape: whatever they hold, loading ends with valid values, and what the program
// saves from them it reads back alike.
TEST_F(SettingsTest, AnyFileLoadsValidValuesThatSurviveASave)
{
    const char* keys[] = {"Folder", "Mode", "Index", "Fit", "Autostart", "HotkeyMod", "HotkeyVk", "Other", ""};
    const char* values[] = {"0",    "1",    "4",     "5",          "-1",          "99999999999999999999",
                            "-7",   "255",  "256",   "4294967295", "-2147483649", "C:\\Pictures",
                            "0x10", " 12 ", "\"3\"", "",           "abc",         "\xC5\x81\xE5\xA3\x81"};
    const char* boms[] = {"", "\xFF\xFE", "\xEF\xBB\xBF", "\xFE\xFF"};
    // Other files with --gtest_random_seed=N, as the long runs of the benchmarks do.
    std::mt19937 rng(2026 + testing::UnitTest::GetInstance()->random_seed());
    auto pick = [&](auto& table) { return table[rng() % std::size(table)]; };
    for (int file = 0; file < 1000 && !HasFailure(); ++file) {
        std::string text = pick(boms);
        for (int lines = static_cast<int>(rng() % 24); lines > 0; --lines) {
            const uint32_t kind = rng() % 8;
            if (kind == 0) {
                text += rng() % 2 ? "[Backdrift]" : "[Other]";
            } else if (kind == 1) { // raw bytes
                for (int i = static_cast<int>(rng() % 64); i > 0; --i) {
                    text += static_cast<char>(rng());
                }
            } else if (kind == 2) { // a very long line
                text +=
                    std::string(pick(keys)) + "=" + std::string(1 + rng() % 9000, static_cast<char>('A' + rng() % 26));
            } else {
                text += std::string(pick(keys)) + "=" + pick(values);
            }
            text += rng() % 4 ? "\r\n" : "\n";
        }
        if (text.starts_with("\xFF\xFE")) {
            std::wstring wide(text.begin() + 2, text.end()); // as UTF-16, byte by byte widened
            text = "\xFF\xFE" + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
        }
        LoadFrom(text);
        const auto loaded = Persistent();
        EXPECT_TRUE(g_app.mode <= Random && g_app.fit <= Center && g_app.hotkeyMod <= 15u && g_app.hotkeyVk <= 255u)
            << "file " << file << ": "
            << testing::PrintToString(std::tuple(g_app.mode, g_app.fit, g_app.hotkeyMod, g_app.hotkeyVk));
        SaveAndReload();
        EXPECT_TRUE(Persistent() == loaded) << "file " << file << ": a value came back otherwise, the folder's "
                                            << std::get<0>(loaded).size() << " characters as " << g_app.folder.size();
    }
}

} // namespace

extern "C" {
decltype(&FlushFileBuffers) __imp_FlushFileBuffers = RecordFlush;
decltype(&MoveFileExW) __imp_MoveFileExW = RecordMove;
}
