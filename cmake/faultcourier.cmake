# 32-bit tree: FaultCourier.exe and its tests.

file(GLOB FC_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/crashreport/*.cpp ${CMAKE_SOURCE_DIR}/tools/crashreport/*.c)
list(FILTER FC_SOURCES EXCLUDE REGEX ".*/winmain\\.cpp$")
# Launcher sources that FaultCourier shares (the table reader, the helpers).
set(FC_SHARED_SOURCES ${SRC}/core/wideformat.cpp ${SRC}/core/strings.cpp)
include(${CMAKE_SOURCE_DIR}/tools/crashreport/shared_sources.cmake OPTIONAL)

add_library(faultcourier_lib STATIC ${FC_SOURCES} ${FC_SHARED_SOURCES})
target_include_directories(faultcourier_lib PUBLIC ${CMAKE_SOURCE_DIR}/tools/crashreport ${SRC}/core ${GENERATED})
target_compile_definitions(faultcourier_lib PUBLIC FAULTCOURIER)
target_link_libraries(faultcourier_lib PUBLIC z wininet comctl32 ole32 oleaut32 uuid gdi32 shell32 shlwapi version advapi32 user32 kernel32)

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
    "${GENERATED}/faultcourier_texts.tbl;${FC_ART};${GENERATED}/faultcourier_watermark.jpg;${CMAKE_SOURCE_DIR}/tools/crashreport/resource_ids.h")
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${GENERATED} -I${CMAKE_SOURCE_DIR}/resources")
  set(FC_RC_SOURCES ${FC_RC})
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/tools/crashreport/winmain.cpp)
  add_executable(FaultCourier WIN32 ${CMAKE_SOURCE_DIR}/tools/crashreport/winmain.cpp ${FC_RC_SOURCES})
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
