# Sanitizer and fuzzing builds, chosen per build folder by cache variables:
#   -DKV_SANITIZE="address;undefined"   AddressSanitizer + UndefinedBehaviorSanitizer
#   -DKV_SANITIZE=thread                ThreadSanitizer
#   -DKV_BUILD_FUZZ=ON                  the libFuzzer targets in fuzz/ (clang only); every
#                                       library is then built with coverage for the fuzzer
# A finding ends the program (no recovery), so a test that meets one fails.
set(KV_SANITIZE "" CACHE STRING "Sanitizers for every target: address;undefined or thread")

if(KV_SANITIZE)
  list(JOIN KV_SANITIZE "," kv_sanitizers)
  add_compile_options(-fsanitize=${kv_sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${kv_sanitizers})
endif()

if(KV_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KV_BUILD_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
