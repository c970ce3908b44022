# Sanitizer and fuzzing builds, chosen per build folder by cache variables:
#   -DKV_SANITIZE="address;undefined"   AddressSanitizer + UndefinedBehaviorSanitizer
#   -DKV_SANITIZE=thread                ThreadSanitizer
#   -DKV_BUILD_FUZZ=ON                  the libFuzzer targets in fuzz/ (clang only); every
#                                       library is then built with coverage for the fuzzer
# A finding ends the program (no recovery), so a test that meets one fails.
set(KV_SANITIZE "" CACHE STRING "Sanitizers for every target: address;undefined or thread")

# What every test of a sanitizer build runs with (kv_tests adds it to ctest's environment).
set(KV_SANITIZER_ENV "")
if(KV_SANITIZE)
  list(JOIN KV_SANITIZE "," kv_sanitizers)
  add_compile_options(-fsanitize=${kv_sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${kv_sanitizers})
  # Full stacks for every allocation (libraries built without frame pointers cut the
  # fast ones short), so that leak suppressions can name the library's own function.
  set(KV_SANITIZER_ENV
      "ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:detect_stack_use_after_return=1:strict_string_checks=1"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp:print_suppressions=0"
      "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp")
endif()

if(KV_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KV_BUILD_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
