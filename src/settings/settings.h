#pragma once

#include <string>

// Settings directory: "<roaming AppData>\Backdrift" (created on demand), else
// the executable's folder, else ".". Resolved afresh on every call.
std::wstring GetConfigDir();
std::wstring GetConfigPath();

// An existing folder, not a file.
bool IsDirectory(const std::wstring& path);

// Full path of the running executable, of any length; empty if the system gives none.
std::wstring GetExePath();

// Read and validate the seven persistent fields of g_app.
void LoadSettings();
// Rewrite all seven persistent fields of g_app.
void SaveSettings();
