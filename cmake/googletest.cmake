# GoogleTest, built from its sources along with the tests.
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE) # the program links the C runtime statically
# SYSTEM: its headers' warnings are not ours, in our test programs either.
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(MSVC)
    # GoogleTest builds itself with -W4 -WX whatever we ask; a newer compiler's warnings must not stop our build.
    get_target_property(flags gtest COMPILE_FLAGS)
    string(REPLACE "-WX" "" flags "${flags}")
    set_target_properties(gtest PROPERTIES COMPILE_FLAGS "${flags}")
endif()

include(GoogleTest)
