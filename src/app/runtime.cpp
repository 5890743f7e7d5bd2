// C++ runtime support for a program that throws no exceptions and has no
// console. The standard library's own versions report an error by throwing,
// and its default terminate handler prints the demangled exception type to
// standard error; both pull the whole unwinding and demangling machinery
// into the executable, for errors that here can only mean that memory ran
// out. Such an error ends the process at once, as a crash would.
#include <windows.h>

#include <cstdlib>
#include <exception>
#include <new>

namespace {

[[noreturn]] void EndAtOnce()
{
    RaiseFailFastException(nullptr, nullptr, 0);
    TerminateProcess(GetCurrentProcess(), ERROR_NOT_ENOUGH_MEMORY);
    __builtin_unreachable();
}

} // namespace

void* operator new(std::size_t size)
{
    if (void* memory = std::malloc(size != 0 ? size : 1)) {
        return memory;
    }
    EndAtOnce();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

// What the standard containers and strings call where they would throw. A
// use of any other throwing helper (std::stoi's, say) takes in the library's
// own file of them, which then clashes with these at link time: the build
// fails rather than grow. What else would bring the unwinder in, a test of
// the linker map catches (tests/executable_guard.sh).
namespace std {

void __throw_bad_alloc()
{
    EndAtOnce();
}

void __throw_bad_array_new_length()
{
    EndAtOnce();
}

void __throw_length_error(const char*)
{
    EndAtOnce();
}

void __throw_logic_error(const char*)
{
    EndAtOnce();
}

void __throw_out_of_range_fmt(const char*, ...)
{
    EndAtOnce();
}

} // namespace std

// The C runtime's start-up installs a handler for errors of its math
// functions, whose default prints them to standard error; the program does no
// floating-point math and has no console, so its own handler only lets the
// runtime carry on, and the printing code is not linked in.
struct _exception;
extern "C" int __cdecl _matherr(struct _exception*)
{
    return 0;
}

namespace __gnu_cxx {

void __verbose_terminate_handler()
{
    EndAtOnce();
}

} // namespace __gnu_cxx
