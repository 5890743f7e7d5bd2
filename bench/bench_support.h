#pragma once
// What the benchmark programs share: the clock, the rows of the results
// table, the settings file, and starting, reading and ending a program from
// outside as the shell would.
#include <windows.h>

#include <string>
#include <vector>

double Seconds();
double Median(std::vector<double> values);
std::string Format(const char* format, ...);

// One row of the table that bench/run.sh prints: it gathers every line of a
// benchmark's output that starts with "row" and a tab.
enum class Verdict { Met, Missed, Reported };
void PrintRow(const std::string& figure, const std::string& measured, const std::string& target, Verdict verdict);
inline Verdict MetIf(bool met)
{
    return met ? Verdict::Met : Verdict::Missed;
}

std::wstring ModuleDir(); // folder of the running benchmark, where Backdrift.exe is built too
std::wstring Utf16(const std::string& text);
std::string Utf8(const std::wstring& text);

// The program's settings file, %APPDATA%\Backdrift\config.ini.
std::wstring SettingsPath();
// A complete settings file as the program writes it (UTF-16, all seven
// keys); or only its first `keep` characters, as a write cut short leaves it.
void WriteSettings(const std::wstring& folder, int index, size_t keep = std::wstring::npos);
// Are all seven keys in the [Backdrift] section, with this folder? `problem` tells what is not.
bool SettingsComplete(const std::wstring& folder, std::string* problem);

// A fresh folder under %TEMP% with `count` small files 0.jpg, 1.jpg, ...;
// removed with its files at the end.
class PictureFolder {
public:
    explicit PictureFolder(int count);
    ~PictureFolder();
    PictureFolder(const PictureFolder&) = delete;
    PictureFolder& operator=(const PictureFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring Picture(int i) const { return path_ + L"\\" + std::to_wstring(i) + L".jpg"; }

private:
    std::wstring path_;
    int count_;
};

// A program of the build, started at construction and ended (if it still
// runs) at destruction.
class Program {
public:
    Program(const std::wstring& exeName, const wchar_t* windowClass, const std::wstring& arguments = L"");
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Seconds from the start until the program waits for input with its
    // hidden window made and answers a message sent to it; negative if it
    // does not within the deadline.
    double WaitUntilReady();
    HWND window() const { return window_; }
    HANDLE process() const { return info_.hProcess; }
    DWORD pid() const { return info_.dwProcessId; }

    // Posts WM_CLOSE to its window; true once it has ended with exit code 0.
    bool Close();
    void Kill();

private:
    PROCESS_INFORMATION info_ = {};
    const wchar_t* windowClass_;
    double started_ = 0;
    HWND window_ = nullptr;
};

// What the system reports about another process. Where the system leaves a
// figure empty for other processes (Wine does so for PrivateUsage and the
// handle count), the same figure is taken from the source it does fill;
// `*Source` names the one used.
struct Usage {
    double cpuProcessTimes = 0; // GetProcessTimes, user + kernel
    double cpuThreadTimes = 0;  // GetThreadTimes summed over its threads
    size_t privateBytes = 0;
    const char* privateSource = "";
    unsigned long handles = 0;
    const char* handleSource = "";
    int threads = 0;
};
Usage ReadUsage(HANDLE process, DWORD pid);
