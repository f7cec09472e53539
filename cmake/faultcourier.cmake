# 32-bit tree: FaultCourier.exe and its tests.

# The driver at the top of tools/crashreport/, its families below it:
# wizard/ (the wizard and its pages), report/ (the report body and its zip
# attachment) and transport/ (the encoders, the POST and the server's answer).
set(FC_DIR ${CMAKE_SOURCE_DIR}/tools/crashreport)
file(GLOB_RECURSE FC_SOURCES CONFIGURE_DEPENDS ${FC_DIR}/*.cpp ${FC_DIR}/*.c)
list(FILTER FC_SOURCES EXCLUDE REGEX ".*/winmain\\.cpp$")
# Launcher sources that FaultCourier shares (the table reader, the helpers).
set(FC_SHARED_SOURCES ${SRC}/core/wideformat.cpp ${SRC}/core/strings.cpp)
include(${FC_DIR}/shared_sources.cmake OPTIONAL)

add_library(faultcourier_lib STATIC ${FC_SOURCES} ${FC_SHARED_SOURCES})
target_include_directories(faultcourier_lib PUBLIC ${FC_DIR} ${FC_DIR}/wizard ${FC_DIR}/report ${FC_DIR}/transport
  ${SRC}/core ${GENERATED})
target_compile_definitions(faultcourier_lib PUBLIC FAULTCOURIER)
target_link_libraries(faultcourier_lib PUBLIC z wininet comctl32 ole32 oleaut32 uuid gdi32 shell32 shlwapi version advapi32 user32 kernel32 ntdll)

set(FC_RC ${CMAKE_SOURCE_DIR}/resources/faultcourier.rc)
set(FC_RC_SOURCES)
if(EXISTS ${FC_RC})
  make_text_table(${CMAKE_SOURCE_DIR}/resources/faultcourier_texts.txt ${GENERATED}/faultcourier_texts.tbl)
  # The wizard's artwork, drawn by a script; the watermark becomes a JPEG.
  find_program(IMAGEMAGICK_CONVERT convert REQUIRED)
  set(FC_ART ${GENERATED}/faultcourier_watermark.ppm ${GENERATED}/faultcourier_header.bmp
      ${GENERATED}/faultcourier.ico ${GENERATED}/faultcourier_progress.avi)
  add_custom_command(OUTPUT ${FC_ART}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/resources/faultcourier_art.py ${GENERATED}
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/faultcourier_art.py
    COMMENT "FaultCourier artwork")
  add_custom_command(OUTPUT ${GENERATED}/faultcourier_watermark.jpg
    COMMAND ${IMAGEMAGICK_CONVERT} ${GENERATED}/faultcourier_watermark.ppm -strip -interlace none -quality 90
            ${GENERATED}/faultcourier_watermark.jpg
    DEPENDS ${GENERATED}/faultcourier_watermark.ppm
    COMMENT "FaultCourier watermark JPEG")
  set_source_files_properties(${FC_RC} PROPERTIES OBJECT_DEPENDS
    "${GENERATED}/faultcourier_texts.tbl;${FC_ART};${GENERATED}/faultcourier_watermark.jpg;${FC_DIR}/resource_ids.h")
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${GENERATED} -I${CMAKE_SOURCE_DIR}/resources")
  set(FC_RC_SOURCES ${FC_RC})
  # Made once, before any target compiles the resource script: targets making
  # the same files side by side would read them half written.
  add_custom_target(faultcourier_resources DEPENDS ${GENERATED}/faultcourier_texts.tbl ${FC_ART}
    ${GENERATED}/faultcourier_watermark.jpg)
  add_dependencies(faultcourier_lib faultcourier_resources)
endif()

if(EXISTS ${FC_DIR}/winmain.cpp)
  add_executable(FaultCourier WIN32 ${FC_DIR}/winmain.cpp ${FC_RC_SOURCES})
  target_link_libraries(FaultCourier PRIVATE faultcourier_lib)
  target_link_options(FaultCourier PRIVATE -municode)
endif()

add_area_tests(crashreport LIBS faultcourier_lib EXTRA ${FC_RC_SOURCES})

# Benchmarks are built, not run by ctest.
file(GLOB FC_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/bench/crashreport/*.cpp)
foreach(bench ${FC_BENCH_SOURCES})
  get_filename_component(name ${bench} NAME_WE)
  add_executable(${name} ${bench})
  target_link_libraries(${name} PRIVATE faultcourier_lib)
  target_link_options(${name} PRIVATE -municode)
endforeach()
