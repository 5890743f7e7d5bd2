#pragma once

#include <string>

// Ask for a folder with the system's folder picker. True, with its
// file-system path in `path`, when one was chosen; otherwise `path` is untouched.
bool PickFolder(std::wstring& path);
