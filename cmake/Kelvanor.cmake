# Helpers shared by every folder.

# Warnings as errors on our own code.
function(kv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# kv_library(<name> [LIBS <libs...>] [PRIVATE_LIBS <libs...>] [RESOURCES <files...>])
# One static library per source folder, made of every .cpp/.h in the folder and its
# subfolders: a folder is one library, and a library is one folder. The folder is its
# include directory, so a library sees its own headers and those of the libraries it
# links, no others. LIBS are part of its interface (what its headers include);
# PRIVATE_LIBS are what its sources are built on and no business of its users (a
# static library still passes them on to the link). Also known as kelvanor::<name>.
#
# The sources are globbed rather than listed: a file added to a folder belongs to
# its library without a second edit, which is how every folder here is meant to
# work. The price is the moc stamp below.
function(kv_library name)
  cmake_parse_arguments(KV "" "" "LIBS;PRIVATE_LIBS;RESOURCES" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${sources} ${KV_RESOURCES})
  add_library(kelvanor::${name} ALIAS ${name})
  # Moc must run again when a file is added to the folder: Ninja's moc step only
  # follows the headers it has already seen, so drop its stamp when the list changes.
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_sources.list)
  string(JOIN "\n" content ${sources})
  set(old "")
  if(EXISTS ${list_file})
    file(READ ${list_file} old)
  endif()
  if(NOT old STREQUAL content)
    file(WRITE ${list_file} "${content}")
    file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/timestamp)
  endif()
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${KV_LIBS} PRIVATE ${KV_PRIVATE_LIBS})
  kv_warnings(${name})
endfunction()

# kv_tests(LIBS <libs...> [SOURCES <extra shared sources>])
# Every tst_<name>.cpp in the current folder becomes the test executable and
# ctest test <folder>_<name>, linked with LIBS and the test-support library
# (tests/support). Tests run on the offscreen platform.
function(kv_tests)
  cmake_parse_arguments(KV "" "" "LIBS;SOURCES;LABELS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" prefix "${rel}")
  foreach(src ${tests})
    get_filename_component(stem ${src} NAME_WE)
    string(REGEX REPLACE "^tst_" "" stem ${stem})
    set(target tst_${prefix}_${stem})
    add_executable(${target} ${src} ${KV_SOURCES})
    target_link_libraries(${target} PRIVATE Qt6::Test test_support ${KV_LIBS})
    kv_warnings(${target})
    add_test(NAME ${prefix}_${stem} COMMAND ${target})
    set_tests_properties(${prefix}_${stem} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false;${KV_SANITIZER_ENV}"
      TIMEOUT 300)
    if(KV_LABELS)
      set_tests_properties(${prefix}_${stem} PROPERTIES LABELS "${KV_LABELS}")
    endif()
  endforeach()
endfunction()
