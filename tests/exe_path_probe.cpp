// Writes what GetExePath reports for this program, as UTF-16, to the file named on the command line.
#include "driver/files.h"
#include "settings/settings.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        return 2;
    }
    const std::wstring path = GetExePath();
    WriteBytes(argv[1], std::string(reinterpret_cast<const char*>(path.data()), path.size() * sizeof(wchar_t)));
    return 0;
}
