# Included before the sources when KINVAR_FUZZ is on: with clang and libFuzzer
# the whole core is built with coverage for the fuzzer and with AddressSanitizer
# and UndefinedBehaviorSanitizer; without them the fuzz targets are skipped.
# KINVAR_FUZZ_READY tells scripts/fuzz.sh whether there is anything to run.
set(KINVAR_FUZZ_ENABLED OFF)
set(KINVAR_FUZZ_READY OFF CACHE INTERNAL "")
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(STATUS "Fuzz targets skipped: they need clang (CXX=clang++), "
                 "not ${CMAKE_CXX_COMPILER_ID}")
  return()
endif()

include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer,address,undefined")
check_cxx_source_compiles([[
#include <cstddef>
#include <cstdint>
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }
]] KINVAR_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
if(NOT KINVAR_HAVE_LIBFUZZER)
  message(STATUS "Fuzz targets skipped: clang cannot link libFuzzer with the sanitizers "
                 "(libfuzzer-14-dev and libclang-rt-14-dev install them)")
  return()
endif()

set(KINVAR_FUZZ_ENABLED ON)
set(KINVAR_FUZZ_READY ON CACHE INTERNAL "")
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)
