#pragma once
// Files, text and the registry, as the program leaves them.
#include "driver/read_all.h" // ReadBytes

#include <windows.h>

#include <optional>
#include <string>

std::wstring ModuleDir();                       // folder of the running program, where Backdrift.exe is built too
std::wstring BuiltProgram(const wchar_t* name); // a program built beside the running one
std::string Narrow(const std::wstring& text);   // to UTF-8
void WriteBytes(const std::wstring& path, const std::string& bytes);
// A text file as the profile functions see it: UTF-16LE after a byte-order mark, otherwise single-byte ASCII.
std::optional<std::wstring> ReadText(const std::wstring& path);
std::optional<std::wstring> ReadRegString(HKEY root, const wchar_t* key, const wchar_t* name);
void WriteRegString(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value);
