# The Windows programs: the window (Tarnscan.exe), the console program for
# scripted live scans (tarnscan-console.exe, a name that cannot clash with
# the window's on a file system that ignores case) and the small programs
# the Wine tests drive. The runtime is linked in, so each .exe runs on a
# bare Windows without MinGW's DLLs.

# ANSI entry points throughout: the program works in the system code page.
# Windows 7 headers keep newer API out of reach by accident.
target_compile_definitions(tarnscan_platform PUBLIC NOMINMAX WIN32_LEAN_AND_MEAN
                           _WIN32_WINNT=0x0601 WINVER=0x0601)
target_link_libraries(tarnscan_win32 PUBLIC
  ole32 uuid shell32 comctl32 version advapi32 gdi32 user32)

set(TARNSCAN_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

tarnscan_sources(GUI_SOURCES app/gui)
enable_language(RC)
add_executable(tarnscan_gui WIN32 ${GUI_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/src/app/gui/tarnscan.rc)
set_target_properties(tarnscan_gui PROPERTIES OUTPUT_NAME Tarnscan)
target_link_libraries(tarnscan_gui PRIVATE tarnscan_app tarnscan_win32)
target_link_options(tarnscan_gui PRIVATE ${TARNSCAN_STATIC_RUNTIME})

tarnscan_sources(CONSOLE_SOURCES app/console)
add_executable(tarnscan_console ${CONSOLE_SOURCES})
set_target_properties(tarnscan_console PROPERTIES OUTPUT_NAME tarnscan-console)
target_link_libraries(tarnscan_console PRIVATE tarnscan_app tarnscan_win32)
target_link_options(tarnscan_console PRIVATE ${TARNSCAN_STATIC_RUNTIME})

# Helpers of the Wine tests (scripts/test-windows.sh): one program per file.
option(TARNSCAN_WINDOWS_TEST_HELPERS "Build the helper programs of the Wine tests" ON)
if(TARNSCAN_WINDOWS_TEST_HELPERS)
  file(GLOB helper_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/windows/win/*.cpp)
  foreach(source IN LISTS helper_sources)
    get_filename_component(name ${source} NAME_WE)
    string(REPLACE "_" "-" exe_name "test-${name}")
    add_executable(test_win_${name} ${source})
    set_target_properties(test_win_${name} PROPERTIES OUTPUT_NAME ${exe_name})
    target_link_libraries(test_win_${name} PRIVATE tarnscan_app tarnscan_win32)
    target_include_directories(test_win_${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    target_link_options(test_win_${name} PRIVATE ${TARNSCAN_STATIC_RUNTIME})
  endforeach()
endif()
