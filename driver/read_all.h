#pragma once

#include <windows.h>

#include <string>

// Everything in an open file, from its start.
inline std::string ReadAll(HANDLE file)
{
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    return bytes;
}
