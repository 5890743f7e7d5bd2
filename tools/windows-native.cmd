@echo off
rem Builds Backdrift natively with the newest Visual Studio installed, 2022
rem or later (the windows preset: all warnings as errors), with GoogleTest's
rem sources fetched where the preset looks for them (build\googletest), and
rem runs the unit tests with run_tests. On a Windows machine with Visual
rem Studio, CMake and git; CI's Windows job runs it.
setlocal
cd /d "%~dp0.."
if not exist build\googletest (
    git clone --quiet --depth 1 --branch release-1.12.1 https://github.com/google/googletest.git build\googletest || exit /b 1
)
cmake --preset windows || exit /b 1
cmake --build --preset windows || exit /b 1
build\windows\bin\run_tests.exe build\windows\bin\unit-tests.txt
