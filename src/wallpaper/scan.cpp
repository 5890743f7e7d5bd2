#include "wallpaper/scan.h"

#include "app/app_state.h"

#include <algorithm>

namespace {

wchar_t LowerAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool SortsBefore(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
}

void RerangeIndex()
{
    const auto count = static_cast<int32_t>(g_app.images.size());
    if (count == 0) {
        g_app.index = -1;
    } else if (g_app.index >= count) {
        g_app.index = 0;
    } else if (g_app.index < -1) {
        g_app.index = -1;
    }
}

} // namespace

bool IsImageFileName(std::wstring_view name)
{
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos) {
        return false;
    }
    std::wstring extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(), LowerAscii);
    return std::find(ImageExtensions.begin(), ImageExtensions.end(), extension) != ImageExtensions.end();
}

void ScanFolder()
{
    g_app.images.clear();
    g_app.shuffleOrder.clear();
    g_app.shufflePos = 0;

    if (g_app.folder.empty()) {
        return;
    }

    std::wstring prefix = g_app.folder;
    if (prefix.back() != L'\\') {
        prefix += L'\\';
    }
    const std::wstring pattern = prefix + L'*';

    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        // The folder may be on a drive that is only away for now: keep the
        // position so that it survives until the folder is back.
        return;
    }
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsImageFileName(entry.cFileName)) {
            g_app.images.push_back(prefix + entry.cFileName);
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);

    std::sort(g_app.images.begin(), g_app.images.end(), SortsBefore);
    RerangeIndex();
}
