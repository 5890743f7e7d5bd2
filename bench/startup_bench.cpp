// The real Backdrift.exe against its floor (floor.cpp) and against the
// minimal program of its kind (size_baseline.cpp), all started from here under
// the same system: time to the message loop, then at rest its CPU time,
// threads and private bytes.
//   startup_bench <folder of pictures> <pictures in it>
#include "bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace {

constexpr wchar_t kProgram[] = L"Backdrift.exe";
constexpr wchar_t kMinimal[] = L"size_baseline.exe";
constexpr wchar_t kMinimalClass[] = L"SizeBaseline";

// Every order of the four starts (24), four times over: one start can take
// half or twice as long as the next under Wine, and fewer runs left the
// figure a few hundredths from where the next run of the benchmark put it.
constexpr int kRuns = 96;
// A program's exit goes on after its process has ended (its tray icon is
// taken away, the system cleans up): the next start waits for that.
constexpr DWORD kSettleMs = 200;
constexpr double kMaxRatioToFloor = 1.05;
constexpr DWORD kIdleMs = 30000;
constexpr DWORD kSpinMs = 300; // the calibration's burst, of CPU time
constexpr char kIdleCpu[] = "Idle: CPU time over 30 s";
constexpr char kMemory[] = "Memory: private bytes after start-up";
// With the parent's id: the calibration child is burning, and has burnt its share.
constexpr wchar_t kSpinning[] = L"Local\\BackdriftBenchSpinning";
constexpr wchar_t kSpun[] = L"Local\\BackdriftBenchSpun";

double OwnCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return FileTimeSeconds(kernel) + FileTimeSeconds(user);
}

// The calibration child: burns kSpinMs of its own CPU time, however long a
// busy machine makes that take, saying when it starts and when it is done.
int Spin(const std::wstring& parent)
{
    HANDLE spinning = OpenEventW(EVENT_MODIFY_STATE, FALSE, (kSpinning + parent).c_str());
    HANDLE spun = OpenEventW(EVENT_MODIFY_STATE, FALSE, (kSpun + parent).c_str());
    if (spinning && spun) {
        SetEvent(spinning);
        volatile unsigned long long work = 0;
        for (const double start = OwnCpuSeconds(); OwnCpuSeconds() - start < kSpinMs / 1e3;) {
            work = work + 1;
        }
        SetEvent(spun);
    }
    if (spinning) {
        CloseHandle(spinning);
    }
    if (spun) {
        CloseHandle(spun);
    }
    Sleep(INFINITE);
    return 0;
}

// Which reading of another process's CPU time follows a known burst of
// work: GetProcessTimes, else the sum of its thread times (Wine answers
// GetProcessTimes for another process with the caller's own times).
enum class CpuSource { ProcessTimes, ThreadTimes, None };

CpuSource CalibrateCpu()
{
    const std::wstring self = std::to_wstring(GetCurrentProcessId());
    HANDLE spinning = CreateEventW(nullptr, TRUE, FALSE, (kSpinning + self).c_str());
    HANDLE spun = CreateEventW(nullptr, TRUE, FALSE, (kSpun + self).c_str());
    Program spinner(BuiltProgram(L"startup_bench.exe"), nullptr, L"--spin " + self);
    CpuSource source = CpuSource::None;
    if (WaitForSingleObject(spinning, kWaitMs) == WAIT_OBJECT_0) {
        const Usage before = ReadUsage(spinner.process(), spinner.pid());
        if (WaitForSingleObject(spun, kWaitMs) == WAIT_OBJECT_0) {
            const Usage after = ReadUsage(spinner.process(), spinner.pid());
            const double seen = 0.8 * kSpinMs / 1e3; // most of the burst, allowing for clock-tick accounting
            if (after.cpuProcessTimes - before.cpuProcessTimes >= seen) {
                source = CpuSource::ProcessTimes;
            } else if (after.cpuThreadTimes - before.cpuThreadTimes >= seen) {
                source = CpuSource::ThreadTimes;
            }
        }
    }
    CloseHandle(spinning);
    CloseHandle(spun);
    return source;
}

double Cpu(const Usage& usage, CpuSource source)
{
    return source == CpuSource::ProcessTimes ? usage.cpuProcessTimes : usage.cpuThreadTimes;
}

// Seconds to the message loop, or a negative value if the program did not
// get there or did not end cleanly on WM_CLOSE; `usage` what it uses there.
double TimeStart(const wchar_t* exe, const wchar_t* windowClass, Usage* usage = nullptr)
{
    Program program(BuiltProgram(exe), windowClass);
    const double seconds = program.WaitUntilReady();
    if (usage && seconds >= 0) {
        *usage = ReadUsage(program.process(), program.pid());
    }
    const bool closed = program.Close();
    Sleep(kSettleMs);
    return closed ? seconds : -1;
}

void MeasureStartup(const std::wstring& folder, unsigned long pictures)
{
    // Once each first, so that every timed start finds the files and libraries in the caches.
    DeleteFileW(SettingsPath().c_str());
    TimeStart(kMinimal, kMinimalClass);
    TimeStart(kFloor, kFloorClass);
    TimeStart(kProgram, kWindowClass);

    std::vector<double> minimal, floor, first, withFolder;
    // Private bytes at the message loop, of the same starts, and where the system reported them.
    std::vector<double> minimalBytes, floorBytes, firstBytes, withFolderBytes;
    const char* bytesSource = "";
    struct Start {
        std::vector<double>* times;
        std::vector<double>* privateBytes;
        const wchar_t* exe;
        const wchar_t* windowClass;
        bool withFolder; // else a first start: no settings, no folder
    };
    const Start starts[] = {{&minimal, &minimalBytes, kMinimal, kMinimalClass, false},
                            {&floor, &floorBytes, kFloor, kFloorClass, false},
                            {&first, &firstBytes, kProgram, kWindowClass, false},
                            {&withFolder, &withFolderBytes, kProgram, kWindowClass, true}};
    // Interleaved, so that a slow spell falls on all four, and in every order
    // in turn: a start runs faster or slower for the program that ran just
    // before it (whose exit the taskbar may still be handling), so each
    // program follows each other one as often, and Backdrift starts before
    // the floor as often as after it.
    size_t order[] = {0, 1, 2, 3};
    for (int run = 0; run < kRuns; ++run) {
        for (const size_t i : order) {
            const Start& start = starts[i];
            if (start.withFolder) {
                WriteSettingsFile(folder, -1);
            } else {
                DeleteFileW(SettingsPath().c_str());
            }
            Usage usage;
            start.times->push_back(TimeStart(start.exe, start.windowClass, &usage));
            start.privateBytes->push_back(static_cast<double>(usage.privateBytes));
            bytesSource = usage.privateSource;
        }
        std::next_permutation(std::begin(order), std::end(order));
    }
    for (const auto* values :
         {&minimal, &floor, &first, &withFolder, &minimalBytes, &floorBytes, &firstBytes, &withFolderBytes}) {
        for (const double value : *values) {
            if (value <= 0) {
                for (const char* figure : {"Start-up: to the message loop", kMemory}) {
                    PrintRow(figure, "a start failed, did not end on WM_CLOSE or showed no private bytes",
                             Format("<= %.2f x floor", kMaxRatioToFloor), Verdict::Missed);
                }
                return;
            }
        }
    }

    // The folder start must really have read the pictures: its first click shows the first one.
    WriteSettingsFile(folder, -1);
    Program check;
    const bool clicked = check.WaitUntilReady() >= 0 && Click(check.window());
    const bool loaded = clicked &&
                        GetPrivateProfileIntW(kSettingsSection, key::Index, -1, SettingsPath().c_str()) == 0 &&
                        check.Close();

    // Each run's Backdrift start against the floor's of the same run: the two
    // started within a second of each other, under the same load. A start
    // takes some 90 ms on a quiet machine and two to four times that on a busy
    // one, from second to second; medians taken apart let a busy spell fall on
    // one program's starts more than the other's.
    // Private bytes alike: now and then a start reads a few hundred KB below
    // the program's usual figure, enough to move a single pair's ratio by 0.06.
    std::vector<double> ratios, bytesRatios;
    for (size_t run = 0; run < first.size(); ++run) {
        ratios.push_back(first[run] / floor[run]);
        bytesRatios.push_back(firstBytes[run] / floorBytes[run]);
    }
    const double base = Median(minimal);
    const double ratio = Median(ratios);
    const double bytesRatio = Median(bytesRatios);
    std::printf("start-up, median of %d: minimal program %.1f ms, floor %.1f ms, Backdrift %.1f ms, with %lu "
                "pictures %.1f ms\n",
                kRuns, base * 1e3, Median(floor) * 1e3, Median(first) * 1e3, pictures, Median(withFolder) * 1e3);
    const auto [floorLeast, floorMost] = std::ranges::minmax(floorBytes);
    const auto [firstLeast, firstMost] = std::ranges::minmax(firstBytes);
    std::printf("private bytes at the message loop: floor %.0f to %.0f KB, Backdrift %.0f to %.0f KB\n",
                floorLeast / 1024, floorMost / 1024, firstLeast / 1024, firstMost / 1024);
    PrintRow("Start-up: to the message loop",
             Format("%.2f x floor (median of %d runs' ratios; %.0f vs %.0f ms)", ratio, kRuns, Median(first) * 1e3,
                    Median(floor) * 1e3),
             Format("<= %.2f x floor", kMaxRatioToFloor), MetIf(ratio <= kMaxRatioToFloor));
    PrintRow("Start-up: against the minimal program",
             Format("%.2f x minimal (%.0f ms)", Median(first) / base, base * 1e3), "reported", Verdict::Reported);
    PrintRow(Format("Start-up: with %lu pictures", pictures),
             loaded ? Format("%.2f x minimal (%.0f ms)", Median(withFolder) / base, Median(withFolder) * 1e3)
                    : std::string("the folder's pictures were not loaded"),
             "reported", loaded ? Verdict::Reported : Verdict::Missed);
    PrintRow(kMemory,
             Format("%.2f x floor (median of %d runs' ratios; %.0f vs %.0f KB; %s)", bytesRatio, kRuns,
                    Median(firstBytes) / 1024, Median(floorBytes) / 1024, bytesSource),
             Format("<= %.2f x floor", kMaxRatioToFloor), MetIf(bytesRatio <= kMaxRatioToFloor));
    PrintRow("Memory: against the minimal program",
             Format("%.2f x minimal (%.0f KB; %lu pictures: %.0f KB)", Median(firstBytes) / Median(minimalBytes),
                    Median(minimalBytes) / 1024, pictures, Median(withFolderBytes) / 1024),
             "reported", Verdict::Reported);
}

void MeasureRest(const std::wstring& folder)
{
    const CpuSource source = CalibrateCpu();
    Program minimal(BuiltProgram(kMinimal), kMinimalClass);

    // At rest with a folder, as it runs most of the time.
    WriteSettingsFile(folder, -1);
    Program program;
    if (minimal.WaitUntilReady() < 0 || program.WaitUntilReady() < 0) {
        PrintRow(kIdleCpu, "a program did not start", "0 ms", Verdict::Missed);
        return;
    }
    const Usage start = ReadUsage(program.process(), program.pid());
    const Usage minimalStart = ReadUsage(minimal.process(), minimal.pid());
    Sleep(kIdleMs);
    const Usage end = ReadUsage(program.process(), program.pid());
    const Usage minimalEnd = ReadUsage(minimal.process(), minimal.pid());
    const bool ended = program.Close() && minimal.Close();

    if (source == CpuSource::None || !ended) {
        PrintRow(kIdleCpu,
                 ended ? "no CPU reading of another process follows its work" : "a program did not end on WM_CLOSE",
                 "0 ms", Verdict::Missed);
    } else {
        const double idle = Cpu(end, source) - Cpu(start, source);
        PrintRow(kIdleCpu,
                 Format("%.0f ms (minimal %.0f ms; %s)", idle * 1e3,
                        (Cpu(minimalEnd, source) - Cpu(minimalStart, source)) * 1e3,
                        source == CpuSource::ProcessTimes ? "GetProcessTimes" : "thread times"),
                 "0 ms", MetIf(idle == 0));
    }
    PrintRow("Idle: threads", Format("%d (minimal %d)", end.threads, minimalEnd.threads), "<= minimal",
             MetIf(end.threads > 0 && end.threads <= minimalEnd.threads));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wstring(argv[1]) == L"--spin") {
        return Spin(argv[2]);
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: startup_bench <folder of pictures> <pictures in it>\n");
        return 2;
    }
    const unsigned long pictures = std::wcstoul(argv[2], nullptr, 10);
    MeasureStartup(argv[1], pictures);
    MeasureRest(argv[1]);
    return 0;
}
