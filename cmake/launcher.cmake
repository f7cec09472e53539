# 64-bit tree: Launcher.exe, its library and its tests.

# Every source of the launcher except the entry point goes into one static
# library, so the tests link the same code the program runs.
file(GLOB_RECURSE LAUNCHER_SOURCES CONFIGURE_DEPENDS ${SRC}/*.cpp ${SRC}/*.c)
list(FILTER LAUNCHER_SOURCES EXCLUDE REGEX ".*/winmain\\.cpp$")

add_library(lzmadec STATIC /usr/include/lzma/LzmaDec.c)
target_include_directories(lzmadec PUBLIC /usr/include/lzma)
target_compile_definitions(lzmadec PRIVATE _7ZIP_ST)

# The browser runtime and Direct3D 11 are bound lazily: delay-load
# import libraries made from our own lists of the functions the launcher
# calls, so that a machine without them reaches the crash handler's
# delay-load hook (or the launcher's own fallback) instead of failing to start.
find_program(MINGW_DLLTOOL NAMES ${TOOLCHAIN_PREFIX}-dlltool REQUIRED)
set(DELAYLOAD_LIBS)
function(add_delayload_lib dll def)
  set(lib ${CMAKE_BINARY_DIR}/lib${dll}_delay.a)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${MINGW_DLLTOOL} --input-def ${def} --dllname ${dll}.dll --output-delaylib ${lib}
    DEPENDS ${def}
    COMMENT "Delay-load import library of ${dll}.dll")
  set(DELAYLOAD_LIBS ${DELAYLOAD_LIBS} ${lib} PARENT_SCOPE)
endfunction()
add_delayload_lib(libcef ${SRC}/browser/runtime/libcef.def)
add_delayload_lib(d3d11 ${CMAKE_SOURCE_DIR}/cmake/delayload/d3d11.def)
add_custom_target(delayload_libs DEPENDS ${DELAYLOAD_LIBS})

add_library(launcher_lib STATIC ${LAUNCHER_SOURCES})
add_dependencies(launcher_lib delayload_libs)
target_include_directories(launcher_lib PUBLIC ${SRC} ${SRC}/core ${SRC}/crash ${SRC}/window ${SRC}/steps ${SRC}/update ${SRC}/browser ${SRC}/browser/archive ${SRC}/browser/runtime ${GENERATED})
target_link_libraries(launcher_lib PUBLIC lzmadec ${DELAYLOAD_LIBS} z wininet ws2_32 shlwapi shell32 ole32 oleaut32 uuid
  comctl32 comdlg32 gdi32 msimg32 uxtheme winmm version advapi32 crypt32 dbghelp user32 kernel32)

make_text_table(${CMAKE_SOURCE_DIR}/resources/launcher_texts.txt ${GENERATED}/launcher_texts.tbl)
set(LAUNCHER_RC ${CMAKE_SOURCE_DIR}/resources/launcher.rc)
set_source_files_properties(${LAUNCHER_RC} PROPERTIES OBJECT_DEPENDS ${GENERATED}/launcher_texts.tbl)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${GENERATED} -I${CMAKE_SOURCE_DIR}/resources")

# The Win32 window's artwork (bitmaps 501 to 524, icon 525), drawn by a
# script into the generated folder; the script replaces files atomically, so
# targets that build it side by side do no harm.
set(ARTWORK_FILES launcher.ico)
foreach(state pressed hover normal)
  foreach(row 0 1 2 3 4)
    list(APPEND ARTWORK_FILES button_${row}_${state}.bmp)
  endforeach()
endforeach()
foreach(state pressed hover disabled normal)
  list(APPEND ARTWORK_FILES main_${state}.bmp)
endforeach()
list(TRANSFORM ARTWORK_FILES PREPEND ${GENERATED}/artwork/)
add_custom_command(OUTPUT ${ARTWORK_FILES}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/make_artwork.py ${GENERATED}/artwork
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make_artwork.py
  COMMENT "Launcher artwork")
set_property(SOURCE ${LAUNCHER_RC} APPEND PROPERTY OBJECT_DEPENDS ${ARTWORK_FILES}
  ${CMAKE_SOURCE_DIR}/resources/launcher.manifest)
# Made once, before any of the targets that compile the resource script:
# targets making the same table side by side would read it half written.
add_custom_target(launcher_resources DEPENDS ${GENERATED}/launcher_texts.tbl ${ARTWORK_FILES})
add_dependencies(launcher_lib launcher_resources)

# The HTML interface the browser shows, packed with the artwork.
file(GLOB INTERFACE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/interface/*)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/launcher.zip
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/make_interface_zip.py ${CMAKE_BINARY_DIR}/launcher.zip
          ${CMAKE_SOURCE_DIR}/resources/interface ${GENERATED}/artwork
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make_interface_zip.py ${INTERFACE_SOURCES} ${ARTWORK_FILES}
  COMMENT "Interface archive launcher.zip")
add_custom_target(interface_archive ALL DEPENDS ${CMAKE_BINARY_DIR}/launcher.zip)

add_executable(Launcher WIN32 ${SRC}/winmain.cpp ${LAUNCHER_RC})
target_link_libraries(Launcher PRIVATE launcher_lib)
target_link_options(Launcher PRIVATE -municode)

# Helpers for the test and demo runs: the test CA installer, the game stand-in,
# the driver of the launcher's window.
file(GLOB TEST_TOOLS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*.cpp)
foreach(tool ${TEST_TOOLS})
  get_filename_component(name ${tool} NAME_WE)
  add_executable(${name} ${tool})
  target_link_libraries(${name} PRIVATE crypt32 ws2_32)
  target_link_options(${name} PRIVATE -municode)
endforeach()
# The game's stand-in carries the game's own file name.
if(TARGET game_standin)
  set_target_properties(game_standin PROPERTIES OUTPUT_NAME Vantorel.x64)
endif()

# The whole-launcher runs and the firewall cases find the local data folder
# from the test process itself. Once the staged-files cases have run (their
# link is made by a Unix "ln" started from the test process), Wine's shell
# answers that lookup with E_FAIL in the same process, and DXGI makes no
# factory there either; the launcher's own processes are not touched. So
# these cases run in a process of their own.
set(STEPS_APART "LauncherRunTest.*:SharedSectionTest.*:FirewallTest.*")
foreach(area core steps update window browser crash)
  set(apart)
  if(area STREQUAL steps)
    set(apart APART ${STEPS_APART})
  endif()
  add_area_tests(${area} ${apart} LIBS launcher_lib EXTRA ${LAUNCHER_RC} ${CMAKE_SOURCE_DIR}/tests/support/log_capture.cpp
    ${CMAKE_SOURCE_DIR}/tests/support/launcher_process.cpp)
endforeach()

# A browser run without the runtime skips the cases that need it and ends
# with 77 (failing instead under CI): the area is then shown as skipped.
if(TEST browser)
  set_tests_properties(browser PROPERTIES SKIP_RETURN_CODE 77)
endif()

# The support chain sends its old folder to the recycle bin, which Wine keeps
# below $HOME: the steps tests run with a home of their own.
if(TEST steps)
  file(MAKE_DIRECTORY ${TEST_ROOT}/home)
  set_property(TEST steps steps_apart APPEND PROPERTY ENVIRONMENT "HOME=${TEST_ROOT}/home")
endif()
if(TARGET steps_tests AND TARGET diagnostic_standin)
  add_dependencies(steps_tests diagnostic_standin)
endif()

# The core tests drive the test runner with the game's stand-in.
if(TARGET core_tests AND TARGET game_standin)
  add_dependencies(core_tests game_standin)
endif()

# The crash tests run a program that crashes with the launcher's own crash
# handler, beside a FaultCourier stand-in.
if(TARGET crashtest)
  target_link_libraries(crashtest PRIVATE launcher_lib)
endif()
if(TARGET crash_tests AND TARGET crashtest AND TARGET faultcourier_standin)
  add_dependencies(crash_tests crashtest faultcourier_standin)
endif()
# The update runs publish the same two as a release's launcher copy that crashes.
if(TARGET update_tests AND TARGET crashtest AND TARGET faultcourier_standin)
  add_dependencies(update_tests crashtest faultcourier_standin)
endif()

# The system language as the launcher sees it comes from the locale Wine is
# started with.
if(TARGET core_tests)
  add_test(NAME core_language COMMAND core_tests --gtest_filter=SettingsTest.NoStoredLanguageFollowsTheSystemLocale)
  set_tests_properties(core_language PROPERTIES
    ENVIRONMENT "TEST_ROOT=${TEST_ROOT};TEST_WINE_LOCALE=de_DE.UTF-8;TEST_SYSTEM_LANGUAGE=de" TIMEOUT 300)
endif()

# Benchmarks are built, not run by ctest.
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/bench/*.cpp)
foreach(bench ${BENCH_SOURCES})
  get_filename_component(name ${bench} NAME_WE)
  add_executable(${name} ${bench})
  target_link_libraries(${name} PRIVATE launcher_lib)
endforeach()

# The browser tests read zips written by Python beside their executable.
if(TARGET browser_tests)
  set(TEST_ZIPS ${CMAKE_BINARY_DIR}/test_zips/mixed.zip)
  add_custom_command(OUTPUT ${TEST_ZIPS}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/browser/make_test_zips.py ${CMAKE_BINARY_DIR}/test_zips
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/browser/make_test_zips.py
    COMMENT "Browser test zips")
  add_custom_target(browser_test_zips DEPENDS ${TEST_ZIPS})
  add_dependencies(browser_tests browser_test_zips)
endif()
