# One interface target carries the language standard, warnings and sanitizer flags;
# every library, executable and test links it.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

add_library(nandell_options INTERFACE)
target_compile_options(nandell_options INTERFACE -Wall -Wextra -Werror)
# GCC 12 at -O3 reports "-Wrestrict" for std::string's operator+ on a literal and a temporary
# (GCC bug 105651, fixed in GCC 13): a false positive inside the standard library.
target_compile_options(nandell_options INTERFACE
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)
target_compile_definitions(nandell_options INTERFACE _FILE_OFFSET_BITS=64)
if(WIN32)
  # Windows 7 and later, the wide (UTF-16) Windows calls, and no min and max macros.
  target_compile_definitions(nandell_options INTERFACE _WIN32_WINNT=0x0601 WINVER=0x0601
                             UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
else()
  # Debian's hardening of the linker: the relocation table is made read-only before the
  # program starts.
  target_link_options(nandell_options INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()
target_include_directories(nandell_options INTERFACE ${PROJECT_SOURCE_DIR})

if(NANDELL_SANITIZE)
  set(NANDELL_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
                              -fno-omit-frame-pointer)
  target_compile_options(nandell_options INTERFACE ${NANDELL_SANITIZER_FLAGS})
  target_link_options(nandell_options INTERFACE ${NANDELL_SANITIZER_FLAGS})
endif()

# nandell_add_module(NAME SOURCES... [DEPS ...]): one static library per module.
function(nandell_add_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(nandell_${name} STATIC ${ARG_SOURCES})
  target_link_libraries(nandell_${name} PUBLIC nandell_options ${ARG_DEPS})
endfunction()
