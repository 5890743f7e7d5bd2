#pragma once
// The program's settings file, in the user's roaming profile.
#include <string>

std::wstring RoamingAppData();
std::wstring SettingsDir();  // %APPDATA%\Backdrift
std::wstring SettingsPath(); // %APPDATA%\Backdrift\config.ini
// The file as the program writes it with every value at its default but the folder and position given; with
// neither, the file a first save writes.
std::wstring SettingsFileText(const std::wstring& folder = L"", int index = -1);
// Writes that file, in UTF-16 as the program does; or only its first `keep` characters, as a write cut short would.
void WriteSettingsFile(const std::wstring& folder, int index, size_t keep = std::wstring::npos);
// Are all seven keys in the [Backdrift] section, with this folder? `problem` tells what is not.
bool SettingsComplete(const std::wstring& folder, std::string* problem);
