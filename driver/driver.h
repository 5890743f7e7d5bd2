#pragma once
// Drives the real Backdrift.exe from outside, as the shell and a user would, and reads what it leaves behind: for
// the end-to-end tests, the benchmarks and the screenshot tour alike.
#include "driver/files.h"
#include "driver/input.h"
#include "driver/program.h"
#include "driver/settings_file.h"
#include "driver/usage.h"
