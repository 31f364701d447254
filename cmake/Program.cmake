# The Windows programs: Tessaline.exe (resident synth, configurator, converter,
# installer), the driver library Tessaline.dll, and their tests.
#
# Each area folder of the program becomes an object library, all of them one
# static library `tslapp`, so tests link exactly the code the program runs.

set(TSL_APP_AREAS ui core ipc synth mixer converter configurator tray install)
set(TSL_APP_OBJECTS)
foreach(area IN LISTS TSL_APP_AREAS)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${area}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "/core/main\\.cpp$")
  if(srcs)
    add_library(tslapp_${area} OBJECT ${srcs})
    target_include_directories(tslapp_${area} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/backend/include)
    target_compile_options(tslapp_${area} PRIVATE ${TSL_WARNINGS})
    list(APPEND TSL_APP_OBJECTS $<TARGET_OBJECTS:tslapp_${area}>)
  endif()
endforeach()

add_library(tslapp STATIC ${TSL_APP_OBJECTS})
target_include_directories(tslapp PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/backend/include)
target_link_libraries(tslapp PUBLIC tslbass comctl32 comdlg32 shlwapi shell32 ole32 oleaut32 uuid
  advapi32 user32 gdi32 winmm setupapi wininet psapi version dwmapi uxtheme)

# Artwork: the SVG drawings of res/art rendered into the bitmaps and icons the
# resource script takes (rsvg-convert from librsvg2-bin).
find_program(TSL_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(TSL_PYTHON python3 REQUIRED)
file(GLOB art_svgs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/art/*.svg)
set(TSL_ART_DIR ${CMAKE_BINARY_DIR}/art)
set(TSL_ART_FILES)
foreach(name strip knob meter_off meter_on mute_on mute_off solo_on solo_off menu_button menu_load menu_save
             menu_copy menu_reset menu_system_mixer menu_port)
  list(APPEND TSL_ART_FILES ${TSL_ART_DIR}/${name}.bmp)
endforeach()
list(APPEND TSL_ART_FILES ${TSL_ART_DIR}/tray.ico ${TSL_ART_DIR}/mixer.ico)
add_custom_command(OUTPUT ${TSL_ART_FILES}
  COMMAND ${TSL_PYTHON} ${CMAKE_SOURCE_DIR}/res/art/render-art.py ${CMAKE_SOURCE_DIR}/res/art ${TSL_ART_DIR}
  DEPENDS ${art_svgs} ${CMAKE_SOURCE_DIR}/res/art/render-art.py
  COMMENT "Rendering the artwork")
add_custom_target(tsl_art DEPENDS ${TSL_ART_FILES})
file(GLOB rc_parts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/*.rc ${CMAKE_SOURCE_DIR}/mixer/mixer_resources.h)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/tessaline.rc PROPERTIES OBJECT_DEPENDS "${TSL_ART_FILES};${rc_parts}")

# The program's resources in `target` (the program, and the tests that create its windows).
function(tsl_add_resources target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/res/tessaline.rc)
  target_include_directories(${target} PRIVATE ${TSL_ART_DIR})
  add_dependencies(${target} tsl_art)
endfunction()

add_executable(Tessaline WIN32 ${CMAKE_SOURCE_DIR}/core/main.cpp)
tsl_add_resources(Tessaline)
target_link_libraries(Tessaline PRIVATE tslapp)
target_compile_options(Tessaline PRIVATE ${TSL_WARNINGS})
target_link_options(Tessaline PRIVATE -municode)

# The driver library: loaded into every client program, so it links nothing of
# the synth and keeps its dependencies to the system's own DLLs.
# Its code is also an object library of its own, so the driver's unit tests
# (tests/unit/driver) link exactly what the library runs.
file(GLOB driver_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/driver/*.cpp)
if(driver_srcs)
  add_library(tsldriver_objs OBJECT ${driver_srcs})
  target_include_directories(tsldriver_objs PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(tsldriver_objs PRIVATE ${TSL_WARNINGS})
  add_library(TessalineDriver SHARED $<TARGET_OBJECTS:tsldriver_objs> ${CMAKE_SOURCE_DIR}/driver/Tessaline.def)
  set_target_properties(TessalineDriver PROPERTIES OUTPUT_NAME Tessaline PREFIX "" ARCHIVE_OUTPUT_NAME tessaline_driver)
  target_include_directories(TessalineDriver PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(TessalineDriver PRIVATE ${TSL_WARNINGS})
  target_link_libraries(TessalineDriver PRIVATE winmm advapi32 user32)
endif()

# A default installation in the build tree: what the README's main job and the
# end-to-end tests start the synth from.
set(TSL_STAGE ${CMAKE_BINARY_DIR}/stage)
add_custom_target(stage ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TSL_STAGE}/lang
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Tessaline> ${TSL_STAGE}/
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/lang ${TSL_STAGE}/lang
  DEPENDS Tessaline)
if(TARGET TessalineDriver)
  add_custom_command(TARGET stage POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:TessalineDriver> ${TSL_STAGE}/)
endif()

# What the installer ships: the program and the driver library stripped of
# their debug information, which stays beside them in .debug files (linked by
# name, so a debugger or a crash report's symbolizer finds it again).
set(TSL_RELEASE ${CMAKE_BINARY_DIR}/release)
add_custom_target(release
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TSL_RELEASE}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/lang ${TSL_RELEASE}/lang)
foreach(target Tessaline TessalineDriver)
  if(TARGET ${target})
    set(out ${TSL_RELEASE}/$<TARGET_FILE_NAME:${target}>)
    add_custom_command(TARGET release POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> ${out}.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-debug --strip-unneeded --add-gnu-debuglink=${out}.debug
              $<TARGET_FILE:${target}> ${out}
      WORKING_DIRECTORY ${TSL_RELEASE}
      VERBATIM)
    add_dependencies(release ${target})
  endif()
endforeach()

# A MIDI-file player that drives the driver library as a client program does:
# the main job's demo, and a way to hear the synth without a sequencer.
add_executable(tsl-play ${CMAKE_SOURCE_DIR}/tools/demo/tsl-play.cpp)
target_link_libraries(tsl-play PRIVATE tslbass winmm)
target_compile_options(tsl-play PRIVATE ${TSL_WARNINGS})
target_link_options(tsl-play PRIVATE -municode)
add_dependencies(stage tsl-play)
add_custom_command(TARGET stage POST_BUILD COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:tsl-play> ${TSL_STAGE}/)

# Tests: tests/support is the automation helper (Windows code that drives the
# program as a user would); tests/unit/<area> and tests/e2e become one binary each.
if(TARGET GTest::gtest)
  file(GLOB support_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
  # test_main.cpp is every test program's own (tsl_test).
  list(FILTER support_srcs EXCLUDE REGEX "/test_main\\.cpp$")
  add_library(tsltest_support STATIC ${support_srcs})
  target_include_directories(tsltest_support PUBLIC ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/backend/include)
  target_link_libraries(tsltest_support PUBLIC GTest::gtest user32 gdi32 advapi32 shell32 crypt32 wininet setupapi)
  target_compile_options(tsltest_support PRIVATE ${TSL_WARNINGS} ${TSL_TEST_OPTIONS})
  # PNG screenshots through stb_image_write (Debian's libstb-dev).
  find_file(TSL_STB_IMAGE_WRITE_H stb_image_write.h PATHS /usr/include/stb NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  configure_file(${TSL_STB_IMAGE_WRITE_H} ${CMAKE_BINARY_DIR}/stb/include/stb/stb_image_write.h COPYONLY)
  target_include_directories(tsltest_support SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/stb/include)
  target_compile_definitions(tsltest_support PUBLIC
    TSL_STAGE_DIR="${TSL_STAGE}" TSL_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TSL_BUILD_DIR="${CMAKE_BINARY_DIR}")

  set(TSL_TESTS_WITH_RESOURCES mixer tray)
  file(GLOB unit_dirs LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/unit/*)
  foreach(dir IN LISTS unit_dirs)
    if(IS_DIRECTORY ${dir})
      get_filename_component(area ${dir} NAME)
      file(GLOB_RECURSE tsrcs CONFIGURE_DEPENDS ${dir}/*.cpp)
      if(tsrcs AND area STREQUAL "driver")
        tsl_test(unit_driver_tests ${tsrcs} $<TARGET_OBJECTS:tsldriver_objs> LIBS tsltest_support winmm advapi32 user32)
      elseif(tsrcs)
        tsl_test(unit_${area}_tests ${tsrcs} LIBS tslapp tsltest_support)
        # Tests that open the program's own windows need its dialogs and images.
        if(area IN_LIST TSL_TESTS_WITH_RESOURCES)
          tsl_add_resources(unit_${area}_tests)
        endif()
      endif()
    endif()
  endforeach()

  # The configurator's tests open its real windows (they need the program's
  # resources), run the engine on the no-sound device with the synth tests'
  # configuration helper, and write tiny soundfonts with the back end's test writer.
  if(TARGET unit_configurator_tests)
    tsl_add_resources(unit_configurator_tests)
    target_sources(unit_configurator_tests PRIVATE
      ${CMAKE_SOURCE_DIR}/tests/unit/synth/synth_test_support.cpp ${CMAKE_SOURCE_DIR}/backend/tests/synth/sf2_writer.cpp)
    target_include_directories(unit_configurator_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit/synth
      ${CMAKE_SOURCE_DIR}/backend/tests ${CMAKE_SOURCE_DIR}/backend/src)
  endif()

  file(GLOB e2e_dirs LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/e2e/*)
  foreach(dir IN LISTS e2e_dirs)
    if(IS_DIRECTORY ${dir})
      get_filename_component(area ${dir} NAME)
      file(GLOB_RECURSE tsrcs CONFIGURE_DEPENDS ${dir}/*.cpp)
      if(tsrcs)
        # Some drive the program's own channel server or engine in-process
        # (exact counts at the streams), so they link the program's code too.
        tsl_test(e2e_${area}_tests ${tsrcs} LIBS tslapp tsltest_support)
        add_dependencies(e2e_${area}_tests stage)
        set_tests_properties(e2e_${area}_tests PROPERTIES RUN_SERIAL TRUE LABELS e2e)
      endif()
    endif()
  endforeach()

  if(TARGET e2e_configurator_tests)
    target_sources(e2e_configurator_tests PRIVATE ${CMAKE_SOURCE_DIR}/backend/tests/synth/sf2_writer.cpp)
    target_include_directories(e2e_configurator_tests PRIVATE ${CMAKE_SOURCE_DIR}/backend/tests ${CMAKE_SOURCE_DIR}/backend/src)
  endif()

  # The installer's round trip runs in a Wine prefix of its own, made anew for
  # every test run (a cold prefix costs its start-up once per run).
  if(TEST e2e_installer_tests)
    set(installer_wine ${CMAKE_BINARY_DIR}/wine-installer)
    add_test(NAME e2e_installer_prefix_fresh COMMAND bash -c
      "TSL_WINE_ROOT='${installer_wine}' '${CMAKE_SOURCE_DIR}/tools/wine-run' --stop; rm -rf '${installer_wine}'")
    add_test(NAME e2e_installer_prefix_stop COMMAND ${CMAKE_COMMAND} -E env TSL_WINE_ROOT=${installer_wine}
      ${CMAKE_SOURCE_DIR}/tools/wine-run --stop)
    set_tests_properties(e2e_installer_prefix_fresh PROPERTIES FIXTURES_SETUP installer_prefix RUN_SERIAL TRUE)
    set_tests_properties(e2e_installer_prefix_stop PROPERTIES FIXTURES_CLEANUP installer_prefix RUN_SERIAL TRUE)
    set_tests_properties(e2e_installer_tests PROPERTIES FIXTURES_REQUIRED installer_prefix
      ENVIRONMENT "TSL_WINE_ROOT=${installer_wine};TSL_AUDIO_CAPTURE=${installer_wine}/capture.wav")
  endif()

  # Small Windows programs the end-to-end tests start (test clients, encoders).
  file(GLOB helper_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/programs/*.cpp)
  foreach(src IN LISTS helper_srcs)
    get_filename_component(prog ${src} NAME_WE)
    add_executable(${prog} ${src})
    target_include_directories(${prog} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${prog} PRIVATE ${TSL_WARNINGS})
    target_link_libraries(${prog} PRIVATE winmm user32 advapi32)
    add_dependencies(stage ${prog})
  endforeach()
  # The tray's tests hold a hotkey from another process.
  if(TARGET unit_tray_tests)
    add_dependencies(unit_tray_tests tsl-hotkey-holder)
  endif()
endif()

# The converter's tests build its real window from the program's resources and
# start the stand-in encoder.
if(TARGET unit_converter_tests)
  tsl_add_resources(unit_converter_tests)
  add_dependencies(unit_converter_tests tsl-encoder-standin)
endif()

# Converter benchmark: built only when bench/converter/run.sh asks for it.
file(GLOB conv_bench_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/converter/*.cpp)
if(conv_bench_srcs)
  add_executable(tsl_converter_bench EXCLUDE_FROM_ALL ${conv_bench_srcs})
  target_link_libraries(tsl_converter_bench PRIVATE tslapp)
  target_compile_options(tsl_converter_bench PRIVATE ${TSL_WARNINGS})
  target_link_options(tsl_converter_bench PRIVATE -municode)
endif()
