# Build settings shared by every target of the launcher.

# Warnings are errors everywhere; applied per target so third-party code
# (GoogleTest built from source for Windows) keeps its own settings.
function(tarn_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# The stub carries no C++ runtime: no C++ headers at all (-nostdinc++; they
# would also make MinGW swap printf for its own, larger one), no exceptions, no
# RTTI, no thread-safe statics (their guards live in libstdc++), and sections
# that the linker can collect.
function(tarn_stub_flags target)
  tarn_warnings(${target})
  target_compile_definitions(${target} PRIVATE __USE_MINGW_ANSI_STDIO=0)
  target_compile_options(${target} PRIVATE -Os -nostdinc++ -fno-exceptions -fno-rtti
    -fno-threadsafe-statics -fno-asynchronous-unwind-tables -ffunction-sections -fdata-sections)
endfunction()

# Links with the C driver so that libstdc++ cannot creep in unnoticed. Windows
# stubs are console programs unless WINDOWS is given (GUI subsystem).
function(tarn_stub_link target)
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections -static-libgcc)
  if(WIN32 AND "${ARGN}" STREQUAL "WINDOWS")
    target_link_options(${target} PRIVATE -mwindows)
  elseif(WIN32)
    target_link_options(${target} PRIVATE -mconsole)
  endif()
  # UBSan's checks of calls through function pointers (the JNI tables) live in
  # its C++ runtime, which the C driver leaves out.
  if(TARN_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_link_options(${target} PRIVATE -fsanitize-link-c++-runtime)
  endif()
endfunction()

# JNI headers come from the installed JDK; Windows adds its own jni_md.h.
set(TARN_JDK_HOME "/usr/lib/jvm/java-17-openjdk-amd64" CACHE PATH "JDK that provides jni.h")
if(NOT EXISTS ${TARN_JDK_HOME}/include/jni.h)
  message(FATAL_ERROR "jni.h not found under ${TARN_JDK_HOME}/include: run scripts/install-deps")
endif()
if(WIN32)
  set(TARN_JNI_INCLUDES ${CMAKE_SOURCE_DIR}/src/platform/jni ${TARN_JDK_HOME}/include)
  set(TARN_RESOURCES ${CMAKE_SOURCE_DIR}/res/tarn.rc)
  set_source_files_properties(${TARN_RESOURCES} PROPERTIES OBJECT_DEPENDS
    "${CMAKE_SOURCE_DIR}/res/tarn.ico;${CMAKE_SOURCE_DIR}/res/tarn.manifest")
else()
  set(TARN_JNI_INCLUDES ${TARN_JDK_HOME}/include ${TARN_JDK_HOME}/include/linux)
  # Linux has no resources: the same string table is compiled in.
  set(TARN_STRING_TABLE ${CMAKE_BINARY_DIR}/generated/string_table.cpp)
  add_custom_command(OUTPUT ${TARN_STRING_TABLE}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${CMAKE_SOURCE_DIR}/res/tarn.rc -DOUTPUT=${TARN_STRING_TABLE}
            -P ${CMAKE_SOURCE_DIR}/cmake/string_table.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/res/tarn.rc ${CMAKE_SOURCE_DIR}/cmake/string_table.cmake
    COMMENT "Compiling the message string table")
endif()

# The linux-x64-asan preset: every target built with AddressSanitizer and
# UndefinedBehaviorSanitizer (any finding ends the program), and with clang's
# coverage hooks so that the fuzz targets in tests/fuzz can link it.
option(TARN_SANITIZE "Build with ASan, UBSan and the libFuzzer targets (clang)" OFF)
if(TARN_SANITIZE)
  # No vptr check: the stub's code has no RTTI, and objects it makes look
  # corrupt to that check in the test code that has.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()
