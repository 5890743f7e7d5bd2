#include "app/app_state.h"
#include "test_support.h"
#include "tray/picker.h"

#include <shobjidl.h>

#include <gtest/gtest.h>

#include <optional>

namespace {

// What the fake folder picker does, and what it was asked.
struct PickerScript {
    HRESULT show = S_OK;
    HRESULT result = S_OK;
    bool noItem = false;
    HRESULT name = S_OK;
    const wchar_t* path = L"D:\\Walls";
    FILEOPENDIALOGOPTIONS initialOptions = FOS_NOCHANGEDIR;
    FILEOPENDIALOGOPTIONS options = 0;
    std::wstring title;
    HWND owner = nullptr;
    ComCounts objects;
};
PickerScript g_script;

class FakeItem final : public FakeCom<IShellItem, IID_IShellItem> {
public:
    FakeItem() : FakeCom(g_script.objects) {}
    HRESULT STDMETHODCALLTYPE GetDisplayName(SIGDN form, LPWSTR* name) override
    {
        *name = nullptr;
        if (form != SIGDN_FILESYSPATH || FAILED(g_script.name) || !g_script.path) {
            return FAILED(g_script.name) ? g_script.name : S_OK;
        }
        const size_t bytes = (wcslen(g_script.path) + 1) * sizeof(wchar_t);
        *name = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        memcpy(*name, g_script.path, bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BindToHandler(IBindCtx*, REFGUID, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParent(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributes(SFGAOF, SFGAOF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Compare(IShellItem*, SICHINTF, int*) override { return E_NOTIMPL; }
};

class FakeDialog final : public FakeCom<IFileDialog, IID_IFileDialog> {
public:
    FakeDialog() : FakeCom(g_script.objects) {}
    HRESULT STDMETHODCALLTYPE Show(HWND owner) override
    {
        g_script.owner = owner;
        return g_script.show;
    }
    HRESULT STDMETHODCALLTYPE GetOptions(FILEOPENDIALOGOPTIONS* options) override
    {
        *options = g_script.initialOptions;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetOptions(FILEOPENDIALOGOPTIONS options) override
    {
        g_script.options = options;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTitle(LPCWSTR title) override
    {
        g_script.title = title;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetResult(IShellItem** item) override
    {
        *item = nullptr;
        if (SUCCEEDED(g_script.result) && !g_script.noItem) {
            (new FakeItem)->QueryInterface(IID_IShellItem, reinterpret_cast<void**>(item));
        }
        return g_script.result;
    }
    HRESULT STDMETHODCALLTYPE SetFileTypes(UINT, const COMDLG_FILTERSPEC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFileTypeIndex(UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFileTypeIndex(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IFileDialogEvents*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDefaultFolder(IShellItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFolder(IShellItem*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFolder(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentSelection(IShellItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFileName(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFileName(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOkButtonLabel(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFileNameLabel(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddPlace(IShellItem*, FDAP) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDefaultExtension(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Close(HRESULT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetClientGuid(REFGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ClearClientData() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFilter(IShellItemFilter*) override { return E_NOTIMPL; }
};

HRESULT CreateFakeDialog(REFIID riid, void** object)
{
    return (new FakeDialog)->QueryInterface(riid, object);
}

TEST(PickFolderTest, ReturnsAFileSystemFolderOrNothing)
{
    struct Row {
        const char* what;
        HRESULT show, result;
        bool noItem;
        HRESULT name;
        const wchar_t* path;
        bool chosen;
    };
    const Row rows[] = {
        {"chosen", S_OK, S_OK, false, S_OK, L"D:\\Walls", true},
        {"drive root, as the shell gives it", S_OK, S_OK, false, S_OK, L"E:\\", true},
        {"cancelled", HRESULT_FROM_WIN32(ERROR_CANCELLED), S_OK, false, S_OK, L"D:\\Walls", false},
        {"no result", S_OK, E_FAIL, false, S_OK, L"D:\\Walls", false},
        {"no item", S_OK, S_OK, true, S_OK, L"D:\\Walls", false},
        {"not in the file system", S_OK, S_OK, false, E_INVALIDARG, L"D:\\Walls", false},
        {"no name", S_OK, S_OK, false, S_OK, nullptr, false},
    };
    ResetAppState();
    g_app.hwnd = reinterpret_cast<HWND>(0x1234);
    FakeClass fake(CLSID_FileOpenDialog, CreateFakeDialog);
    ASSERT_TRUE(fake.registered());
    for (const Row& row : rows) {
        g_script = PickerScript();
        g_script.show = row.show;
        g_script.result = row.result;
        g_script.noItem = row.noItem;
        g_script.name = row.name;
        g_script.path = row.path;
        std::wstring path = L"as before";

        EXPECT_EQ(PickFolder(path), row.chosen) << row.what;

        EXPECT_EQ(path, row.chosen ? row.path : L"as before") << row.what;
        EXPECT_EQ(g_script.options, FOS_NOCHANGEDIR | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
        EXPECT_EQ(g_script.title, L"Choose a wallpaper folder");
        EXPECT_EQ(g_script.owner, g_app.hwnd);
        EXPECT_EQ(g_script.objects.destroyed, g_script.objects.created) << row.what << ": everything released";
        EXPECT_FALSE(g_script.objects.overReleased) << row.what;
    }
}

TEST(PickFolderTest, NoDialogObjectIsNoChoice)
{
    FakeClass refusing(CLSID_FileOpenDialog, [](REFIID, void**) { return E_OUTOFMEMORY; });
    std::wstring path = L"as before";
    EXPECT_FALSE(PickFolder(path));
    EXPECT_EQ(path, L"as before");
}

} // namespace
