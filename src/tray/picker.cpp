#include "tray/picker.h"

#include "app/app_state.h"

#include <shobjidl.h>

bool PickFolder(std::wstring& path)
{
    IFileDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                reinterpret_cast<void**>(&dialog))) ||
        !dialog) {
        return false;
    }

    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog->SetTitle(L"Choose a wallpaper folder");

    IShellItem* item = nullptr;
    if (FAILED(dialog->Show(g_app.hwnd)) || FAILED(dialog->GetResult(&item)) || !item) {
        dialog->Release();
        return false;
    }

    bool chosen = false;
    PWSTR name = nullptr;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) && name) {
        path = name;
        chosen = true;
        CoTaskMemFree(name);
    }
    item->Release();
    dialog->Release();
    return chosen;
}
