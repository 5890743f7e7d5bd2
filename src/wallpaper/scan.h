#pragma once

#include <array>
#include <string_view>

// File-name extensions taken as pictures, lower case, without the dot.
inline constexpr std::array<std::wstring_view, 9> ImageExtensions = {
    L"jpg", L"jpeg", L"png", L"bmp", L"gif", L"jfif", L"tif", L"tiff", L"webp",
};

// Is this file name (not a path) a picture by its extension?
bool IsImageFileName(std::wstring_view name);

// Rebuild g_app.images from the top level of g_app.folder, sorted; end the
// shuffle cycle and bring g_app.index into range for the new list.
void ScanFolder();
