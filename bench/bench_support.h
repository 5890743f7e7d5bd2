#pragma once
// What the benchmark programs share besides the program driver: the rows of
// the results table and folders of pictures.
#include "driver/driver.h"

#include <windows.h>

#include <string>
#include <vector>

double Median(std::vector<double> values);
std::string Format(const char* format, ...);

// One row of the table that tools/bench.sh prints: it gathers every line of a
// benchmark's output that starts with "row" and a tab.
enum class Verdict { Met, Missed, Reported };
void PrintRow(const std::string& figure, const std::string& measured, const std::string& target, Verdict verdict);
inline Verdict MetIf(bool met)
{
    return met ? Verdict::Met : Verdict::Missed;
}

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
