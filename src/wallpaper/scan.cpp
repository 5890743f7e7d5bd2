#include "wallpaper/scan.h"

#include "app/app_state.h"

#include <algorithm>

namespace {

wchar_t LowerAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

wchar_t UpperAscii(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// The system's case-insensitive ordinal order, from position `from` on (the
// entries share everything before it). Both strings are compared code unit by
// code unit after mapping to upper case; for ASCII that mapping is a to z
// only, so it is done here, and the system is asked from the first other
// character on. Names are mostly ASCII, and a sort makes many comparisons.
bool SortsBefore(const std::wstring& a, const std::wstring& b, size_t from)
{
    constexpr wchar_t kLastAscii = 0x7F;
    for (size_t i = from;; ++i) {
        const wchar_t x = a.c_str()[i];
        const wchar_t y = b.c_str()[i];
        if (x > kLastAscii || y > kLastAscii) {
            return CompareStringOrdinal(a.c_str() + i, -1, b.c_str() + i, -1, TRUE) == CSTR_LESS_THAN;
        }
        if (UpperAscii(x) != UpperAscii(y)) {
            return UpperAscii(x) < UpperAscii(y);
        }
        if (x == L'\0') {
            return false;
        }
    }
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
    const std::wstring_view extension = name.substr(dot + 1);
    return std::any_of(ImageExtensions.begin(), ImageExtensions.end(), [&](std::wstring_view known) {
        return known.size() == extension.size() && std::equal(known.begin(), known.end(), extension.begin(),
                                                              [](wchar_t k, wchar_t e) { return k == LowerAscii(e); });
    });
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

    std::sort(g_app.images.begin(), g_app.images.end(),
              [from = prefix.size()](const std::wstring& a, const std::wstring& b) { return SortsBefore(a, b, from); });
    RerangeIndex();
}
