#include "bench_support.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

double Median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string Format(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

void PrintRow(const std::string& figure, const std::string& measured, const std::string& target, Verdict verdict)
{
    const char* said = verdict == Verdict::Met ? "yes" : verdict == Verdict::Missed ? "NO" : "-";
    std::printf("row\t%s\t%s\t%s\t%s\n", figure.c_str(), measured.c_str(), target.c_str(), said);
    std::fflush(stdout);
}

PictureFolder::PictureFolder(int count) : count_(count)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    for (unsigned n = GetCurrentProcessId();; ++n) {
        path_ = std::wstring(temp) + L"backdrift-bench-" + std::to_wstring(n);
        if (CreateDirectoryW(path_.c_str(), nullptr)) {
            break;
        }
    }
    for (int i = 0; i < count_; ++i) {
        WriteBytes(Picture(i), "small picture");
    }
}

PictureFolder::~PictureFolder()
{
    for (int i = 0; i < count_; ++i) {
        DeleteFileW(Picture(i).c_str());
    }
    RemoveDirectoryW(path_.c_str());
}
