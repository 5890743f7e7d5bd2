// Reads the resources of the built Backdrift.exe as Windows sees them.
#include "res/resource.h"
#include "test_support.h"
#include "version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// The project's version as the resources should give it.
const std::wstring kVersion = L"" BACKDRIFT_VERSION_TEXT;
const std::string kManifestIdentity =
    R"(<assemblyIdentity type="win32" name="Backdrift.App" version=")" BACKDRIFT_VERSION_TEXT
    R"(" processorArchitecture="*"/>)";

constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

class ResourcesTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(module_, nullptr); }
    void TearDown() override { FreeLibrary(module_); }

    std::string Resource(const wchar_t* type, const wchar_t* name, WORD language = kEnglishUs)
    {
        HRSRC found = FindResourceExW(module_, type, name, language);
        if (!found) {
            return {};
        }
        const void* data = LockResource(LoadResource(module_, found));
        return std::string(static_cast<const char*>(data), SizeofResource(module_, found));
    }

    const std::wstring exe_ = ModuleDir() + L"\\Backdrift.exe";
    HMODULE module_ = LoadLibraryExW(exe_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
};

// Reads little-endian fields one after another.
class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    template <typename T> T Get()
    {
        T value{};
        if (pos_ + sizeof(T) <= bytes_.size()) {
            memcpy(&value, bytes_.data() + pos_, sizeof(T));
        }
        pos_ += sizeof(T);
        return value;
    }
    std::wstring String()
    {
        std::wstring text;
        for (wchar_t c = Get<wchar_t>(); c != 0 && pos_ <= bytes_.size(); c = Get<wchar_t>()) {
            text += c;
        }
        return text;
    }
    // A name-or-ordinal field: 0xFFFF then an ordinal, else a string.
    std::wstring NameOrOrdinal()
    {
        const WORD first = Get<WORD>();
        if (first == 0xFFFF) {
            return L"#" + std::to_wstring(Get<WORD>());
        }
        pos_ -= sizeof(WORD);
        return String();
    }
    void AlignDword() { pos_ = (pos_ + 3) & ~size_t{3}; }

private:
    const std::string& bytes_;
    size_t pos_ = 0;
};

TEST_F(ResourcesTest, IconGroupHoldsNinePngImages)
{
    const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(101));
    Reader reader(group);
    EXPECT_EQ(reader.Get<WORD>(), 0);
    EXPECT_EQ(reader.Get<WORD>(), 1); // icons, not cursors
    const WORD count = reader.Get<WORD>();
    ASSERT_EQ(count, 9);

    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const int width = reader.Get<BYTE>();
        const int height = reader.Get<BYTE>();
        reader.Get<BYTE>(); // colour count
        reader.Get<BYTE>();
        reader.Get<WORD>(); // planes
        const WORD bits = reader.Get<WORD>();
        reader.Get<DWORD>(); // bytes
        const WORD id = reader.Get<WORD>();
        EXPECT_EQ(width, height);
        EXPECT_EQ(bits, 32);
        sizes.push_back(width == 0 ? 256 : width);
        const std::string image = Resource(RT_ICON, MAKEINTRESOURCEW(id));
        EXPECT_EQ(image.substr(0, 8), "\x89PNG\r\n\x1a\n") << "image " << id << " is not PNG-compressed";
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 128, 256}));
}

TEST_F(ResourcesTest, VersionBlockNamesTheProgram)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe_.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe_.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    constexpr DWORD kHigh = MAKELONG(BACKDRIFT_VERSION_MINOR, BACKDRIFT_VERSION_MAJOR);
    constexpr DWORD kLow = MAKELONG(BACKDRIFT_VERSION_TWEAK, BACKDRIFT_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, kHigh);
    EXPECT_EQ(fixed->dwFileVersionLS, kLow);
    EXPECT_EQ(fixed->dwProductVersionMS, kHigh);
    EXPECT_EQ(fixed->dwProductVersionLS, kLow);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"CompanyName", L"Velmaro"},
        {L"FileDescription", L"Backdrift - wallpaper switcher"},
        {L"FileVersion", kVersion.c_str()},
        {L"InternalName", L"Backdrift"},
        {L"OriginalFilename", L"Backdrift.exe"},
        {L"ProductName", L"Backdrift"},
        {L"ProductVersion", kVersion.c_str()},
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
    for (const char* part : {
             kManifestIdentity.c_str(),
             R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)",
             R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)",
             R"(>true/pm</dpiAware>)",
             R"(>PerMonitorV2</dpiAwareness>)",
             R"(>true</longPathAware>)",
             R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*" )"
             R"(publicKeyToken="6595b64144ccf1df" language="*")",
         }) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

// What the template decides: a modal, centred box in Segoe UI with the hotkey
// control to type into, OK as the default button, every control inside the
// box and none on another.
TEST_F(ResourcesTest, HotkeyDialogTemplate)
{
    const std::string dialog = Resource(RT_DIALOG, MAKEINTRESOURCEW(IDD_HOTKEY));
    ASSERT_FALSE(dialog.empty());
    Reader reader(dialog);
    EXPECT_EQ(reader.Get<WORD>(), 1);      // extended template, version 1
    EXPECT_EQ(reader.Get<WORD>(), 0xFFFF); // signature
    reader.Get<DWORD>();                   // help identifier
    reader.Get<DWORD>();                   // extended style
    const DWORD style = reader.Get<DWORD>();
    for (const DWORD flag : {DWORD{WS_POPUP}, DWORD{WS_CAPTION}, DWORD{WS_SYSMENU}, DWORD{DS_MODALFRAME},
                             DWORD{DS_SETFONT}, DWORD{DS_CENTER}}) {
        EXPECT_EQ(style & flag, flag) << std::hex << flag;
    }
    const WORD count = reader.Get<WORD>();
    reader.Get<short>();
    reader.Get<short>();
    const short width = reader.Get<short>();
    const short height = reader.Get<short>();
    EXPECT_EQ(reader.NameOrOrdinal(), L""); // no menu
    EXPECT_EQ(reader.NameOrOrdinal(), L""); // standard dialog class
    EXPECT_EQ(reader.String(), L"Set hotkey");
    EXPECT_EQ(reader.Get<WORD>(), 9);   // points
    EXPECT_EQ(reader.Get<WORD>(), 400); // weight
    EXPECT_EQ(reader.Get<BYTE>(), 0);   // italic
    EXPECT_EQ(reader.Get<BYTE>(), 1);   // DEFAULT_CHARSET
    EXPECT_EQ(reader.String(), L"Segoe UI");

    struct Item {
        DWORD id;
        std::wstring windowClass;
        std::wstring text;
        DWORD style;
        RECT place;
    };
    std::vector<Item> items;
    for (WORD n = 0; n < count; ++n) {
        reader.AlignDword();
        reader.Get<DWORD>(); // help identifier
        reader.Get<DWORD>(); // extended style
        Item item;
        item.style = reader.Get<DWORD>();
        item.place.left = reader.Get<short>();
        item.place.top = reader.Get<short>();
        item.place.right = item.place.left + reader.Get<short>();
        item.place.bottom = item.place.top + reader.Get<short>();
        item.id = reader.Get<DWORD>();
        item.windowClass = reader.NameOrOrdinal();
        item.text = reader.NameOrOrdinal();
        EXPECT_EQ(reader.Get<WORD>(), 0); // no creation data
        items.push_back(item);
    }
    // The resource compiler stores class names upper-cased; Windows looks
    // them up without regard to case. #128 is a button, #130 a static.
    const struct {
        DWORD id;
        const wchar_t* windowClass;
        const wchar_t* text;
        DWORD style; // that it must have
    } expected[] = {
        {static_cast<DWORD>(-1), L"#130", L"Press a key combination (include Ctrl, Alt or Shift):", SS_LEFT},
        {IDC_HOTKEY, L"msctls_hotkey32", L"", WS_BORDER | WS_TABSTOP},
        {IDOK, L"#128", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, L"#128", L"Cancel", WS_TABSTOP},
        {IDC_HOTKEY_NONE, L"#128", L"None", WS_TABSTOP},
    };
    ASSERT_EQ(items.size(), std::size(expected));
    for (size_t n = 0; n < items.size(); ++n) {
        const Item& item = items[n];
        SCOPED_TRACE(Narrow(item.text));
        EXPECT_EQ(item.id, expected[n].id);
        EXPECT_EQ(CompareStringOrdinal(item.windowClass.c_str(), -1, expected[n].windowClass, -1, TRUE), CSTR_EQUAL)
            << Narrow(item.windowClass);
        EXPECT_EQ(item.text, expected[n].text);
        EXPECT_EQ(item.style & expected[n].style, expected[n].style);
        EXPECT_EQ(item.style & (WS_CHILD | WS_VISIBLE), DWORD{WS_CHILD | WS_VISIBLE});
        EXPECT_TRUE(item.place.left >= 0 && item.place.top >= 0 && item.place.right <= width &&
                    item.place.bottom <= height)
            << "outside the box";
        for (size_t other = 0; other < n; ++other) {
            RECT overlap = {};
            EXPECT_FALSE(IntersectRect(&overlap, &item.place, &items[other].place))
                << "on " << Narrow(items[other].text);
        }
    }
}

TEST_F(ResourcesTest, ExecutableKeepsItsExploitMitigations)
{
    const std::string image = ReadBytes(exe_).value_or("");
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS64 nt = {};
    ASSERT_GT(image.size(), sizeof(dos));
    memcpy(&dos, image.data(), sizeof(dos));
    ASSERT_GE(image.size(), static_cast<size_t>(dos.e_lfanew) + sizeof(nt));
    memcpy(&nt, image.data() + dos.e_lfanew, sizeof(nt));
    ASSERT_EQ(nt.Signature, DWORD{IMAGE_NT_SIGNATURE});
    ASSERT_EQ(nt.OptionalHeader.Magic, WORD{IMAGE_NT_OPTIONAL_HDR64_MAGIC});
    const WORD mitigations = nt.OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(mitigations & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) << "address space layout randomisation";
    EXPECT_TRUE(mitigations & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA) << "with 64-bit entropy";
    EXPECT_TRUE(mitigations & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) << "data execution prevention";
}

} // namespace
