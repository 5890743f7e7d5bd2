// Reads the resources of the built Backdrift.exe as Windows sees them.
#include "res/resource.h"
#include "test_support.h"
#include "version.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <tuple>
#include <vector>

namespace {

class ResourcesTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(module_, nullptr); }
    void TearDown() override { FreeLibrary(module_); }

    std::string Resource(const wchar_t* type, const wchar_t* name)
    {
        HRSRC found = FindResourceExW(module_, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        const void* data = found ? LockResource(LoadResource(module_, found)) : nullptr;
        return data ? std::string(static_cast<const char*>(data), SizeofResource(module_, found)) : std::string();
    }

    const std::wstring exe_ = BuiltProgram(L"Backdrift.exe");
    HMODULE module_ = LoadLibraryExW(exe_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
};

// Reads little-endian fields one after another.
struct Reader {
    const std::string& bytes;
    size_t pos = 0;

    template <typename T> T Get()
    {
        T value{};
        if (pos + sizeof(T) <= bytes.size()) {
            memcpy(&value, bytes.data() + pos, sizeof(T));
        }
        pos += sizeof(T);
        return value;
    }
    std::wstring String()
    {
        std::wstring text;
        for (wchar_t c = Get<wchar_t>(); c != 0 && pos <= bytes.size(); c = Get<wchar_t>()) {
            text += c;
        }
        return text;
    }
    // A name-or-ordinal field: 0xFFFF then an ordinal, else a string.
    std::wstring NameOrOrdinal()
    {
        if (Get<WORD>() == 0xFFFF) {
            return L"#" + std::to_wstring(Get<WORD>());
        }
        pos -= sizeof(WORD);
        return String();
    }
};

// The fixed parts of an icon group's entry, an extended dialog template and one of its items.
#pragma pack(push, 2)
struct IconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
};
struct DialogHead {
    WORD version, signature;
    DWORD help, extendedStyle, style;
    WORD items;
    short x, y, width, height;
};
struct ItemHead {
    DWORD help, extendedStyle, style;
    short x, y, width, height;
    DWORD id;
};
#pragma pack(pop)

TEST_F(ResourcesTest, IconGroupHoldsNinePngImages)
{
    const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APP));
    Reader reader{group};
    // Reserved, type (icons, not cursors), count, in the order they are read.
    ASSERT_EQ((std::vector<int>{reader.Get<WORD>(), reader.Get<WORD>(), reader.Get<WORD>()}),
              (std::vector<int>{0, 1, 9}));

    for (const int size : {16, 20, 24, 32, 40, 48, 64, 128, 256}) {
        const auto entry = reader.Get<IconEntry>();
        // Square, 32 bits a pixel; the side is a byte, where 256 is 0.
        EXPECT_EQ(std::tuple(entry.width, entry.height, entry.bits),
                  std::tuple(static_cast<BYTE>(size), static_cast<BYTE>(size), 32));
        EXPECT_EQ(Resource(RT_ICON, MAKEINTRESOURCEW(entry.id)).substr(0, 8), "\x89PNG\r\n\x1a\n")
            << "image " << entry.id << " is not PNG-compressed";
    }
}

TEST_F(ResourcesTest, VersionBlockNamesTheProgram)
{
    const DWORD size = GetFileVersionInfoSizeW(exe_.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe_.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    constexpr DWORD kHigh = MAKELONG(BACKDRIFT_VERSION_MINOR, BACKDRIFT_VERSION_MAJOR);
    constexpr DWORD kLow = MAKELONG(BACKDRIFT_VERSION_TWEAK, BACKDRIFT_VERSION_PATCH);
    EXPECT_EQ((std::array{fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                          fixed->dwProductVersionLS, fixed->dwFileOS, fixed->dwFileType}),
              (std::array<DWORD, 6>{kHigh, kLow, kHigh, kLow, VOS_NT_WINDOWS32, VFT_APP}));

    WORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ((std::array{translation[0], translation[1]}), (std::array<WORD, 2>{0x0409, 1200}));

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"CompanyName", L"Velmaro"},
        {L"FileDescription", L"Backdrift - wallpaper switcher"},
        {L"FileVersion", L"" BACKDRIFT_VERSION_TEXT},
        {L"InternalName", L"Backdrift"},
        {L"OriginalFilename", L"Backdrift.exe"},
        {L"ProductName", L"Backdrift"},
        {L"ProductVersion", L"" BACKDRIFT_VERSION_TEXT},
    };
    for (const auto& [name, expected] : strings) {
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << Narrow(name);
        EXPECT_STREQ(value, expected);
    }
}

TEST_F(ResourcesTest, ManifestAsksForWhatTheProgramNeeds)
{
    std::vector<std::wstring> manifests;
    EnumResourceNamesW(
        module_, RT_MANIFEST,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) -> BOOL {
            reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(
                IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : name);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&manifests));
    EXPECT_EQ(manifests, std::vector<std::wstring>{L"#1"});

    const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    for (const char* part : {R"(<assemblyIdentity type="win32" name="Backdrift.App" version=")" BACKDRIFT_VERSION_TEXT
                             R"(" processorArchitecture="*"/>)",
                             R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)",
                             R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)", R"(>true/pm</dpiAware>)",
                             R"(>PerMonitorV2</dpiAwareness>)", R"(>true</longPathAware>)",
                             R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*" )"
                             R"(publicKeyToken="6595b64144ccf1df" language="*")"}) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

// What the template decides: a modal, centred box in Segoe UI with the hotkey control to type into, OK as the
// default button, every control inside the box and none on another.
TEST_F(ResourcesTest, HotkeyDialogTemplate)
{
    const std::string dialog = Resource(RT_DIALOG, MAKEINTRESOURCEW(IDD_HOTKEY));
    ASSERT_FALSE(dialog.empty());
    Reader reader{dialog};
    const auto head = reader.Get<DialogHead>();
    EXPECT_EQ(std::tuple(head.version, head.signature), std::tuple(1, 0xFFFF)); // extended template, version 1
    constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
    EXPECT_EQ(head.style & kStyle, kStyle) << "missing " << std::hex << (kStyle & ~head.style);
    EXPECT_EQ((std::vector<std::wstring>{reader.NameOrOrdinal(), reader.NameOrOrdinal(), reader.String()}),
              (std::vector<std::wstring>{L"", L"", L"Set hotkey"})); // no menu, the standard dialog class, the title
    // Points, weight, italic, DEFAULT_CHARSET, in the order they are read.
    EXPECT_EQ((std::vector<int>{reader.Get<WORD>(), reader.Get<WORD>(), reader.Get<BYTE>(), reader.Get<BYTE>()}),
              (std::vector<int>{9, 400, 0, 1}));
    EXPECT_EQ(reader.String(), L"Segoe UI");

    // Identifier, class (compared without case, as Windows looks it up; #128 a button, #130 a static), text, and
    // the style bits the item must have.
    const std::tuple<DWORD, const wchar_t*, const wchar_t*, DWORD> expected[] = {
        {static_cast<DWORD>(-1), L"#130", L"Press a key combination (include Ctrl, Alt or Shift):", SS_LEFT},
        {IDC_HOTKEY, L"msctls_hotkey32", L"", WS_BORDER | WS_TABSTOP},
        {IDOK, L"#128", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, L"#128", L"Cancel", WS_TABSTOP},
        {IDC_HOTKEY_NONE, L"#128", L"None", WS_TABSTOP},
    };
    ASSERT_EQ(head.items, std::size(expected));
    std::vector<std::pair<RECT, std::string>> placed;
    for (const auto& [id, windowClass, text, style] : expected) {
        reader.pos = (reader.pos + 3) & ~size_t{3}; // each item starts on a DWORD boundary
        const auto item = reader.Get<ItemHead>();
        const std::wstring itemClass = reader.NameOrOrdinal(), itemText = reader.NameOrOrdinal();
        EXPECT_EQ(reader.Get<WORD>(), 0); // no creation data
        const RECT place = {item.x, item.y, item.x + item.width, item.y + item.height};
        SCOPED_TRACE(Narrow(itemText));
        EXPECT_EQ(std::tuple(item.id, itemText), std::tuple(id, text));
        EXPECT_EQ(CompareStringOrdinal(itemClass.c_str(), -1, windowClass, -1, TRUE), CSTR_EQUAL) << Narrow(itemClass);
        EXPECT_EQ(item.style & (style | WS_CHILD | WS_VISIBLE), style | WS_CHILD | WS_VISIBLE);
        EXPECT_TRUE(place.left >= 0 && place.top >= 0 && place.right <= head.width && place.bottom <= head.height)
            << "outside the box";
        for (const auto& [other, otherText] : placed) {
            RECT overlap = {};
            EXPECT_FALSE(IntersectRect(&overlap, &place, &other)) << "on " << otherText;
        }
        placed.emplace_back(place, Narrow(itemText));
    }
}

TEST_F(ResourcesTest, ExecutableKeepsItsExploitMitigations)
{
    const std::string image = ReadBytes(exe_).value_or("");
    Reader reader{image};
    ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER));
    reader.pos = reader.Get<IMAGE_DOS_HEADER>().e_lfanew;
    ASSERT_GE(image.size(), reader.pos + sizeof(IMAGE_NT_HEADERS64));
    const auto nt = reader.Get<IMAGE_NT_HEADERS64>();
    ASSERT_EQ(nt.Signature, DWORD{IMAGE_NT_SIGNATURE});
    ASSERT_EQ(nt.OptionalHeader.Magic, WORD{IMAGE_NT_OPTIONAL_HDR64_MAGIC});
    const WORD mitigations = nt.OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(mitigations & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) << "address space layout randomisation";
    EXPECT_TRUE(mitigations & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA) << "with 64-bit entropy";
    EXPECT_TRUE(mitigations & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) << "data execution prevention";
}

} // namespace
