# PC tree: Dravik and its tests (64-bit, Qt 6).
find_package(Qt6 REQUIRED COMPONENTS Core Gui SerialPort Widgets Test)
include(cmake/googletest.cmake)

# The simulated board of the host tree, which the end-to-end tests and the
# benchmark program into; the top-level test.sh builds the host tree first.
set(VELM_SIMULATOR ${CMAKE_SOURCE_DIR}/build/host/bin/${VELM_REFERENCE_BUILD})
set(VELM_SIMULATOR_ARGS "")
include(cmake/dravik_core.cmake)

# Dravik's window, as a library the window tests drive, and the program.
file(GLOB DRAVIK_APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/loader/app/*.cpp ${CMAKE_SOURCE_DIR}/loader/app/*.h)
list(FILTER DRAVIK_APP_SOURCES EXCLUDE REGEX "/main\\.cpp$")
add_library(dravik_app STATIC ${DRAVIK_APP_SOURCES})
set_target_properties(dravik_app PROPERTIES AUTOMOC ON)
target_compile_options(dravik_app PRIVATE -Wall -Wextra)
target_include_directories(dravik_app PUBLIC ${CMAKE_SOURCE_DIR}/loader/app)
target_link_libraries(dravik_app PUBLIC dravik_core Qt6::Gui Qt6::Widgets)

add_executable(Dravik ${CMAKE_SOURCE_DIR}/loader/app/main.cpp)
target_link_libraries(Dravik PRIVATE dravik_app)

file(GLOB VELM_LOADER_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/loader/test_*.cpp)
add_executable(loader_tests ${VELM_LOADER_TESTS} ${CMAKE_SOURCE_DIR}/tests/loader/loader_main.cpp)
target_link_libraries(loader_tests PRIVATE dravik_core loader_test_support Qt6::Core Qt6::SerialPort GTest::gtest)
gtest_discover_tests(loader_tests DISCOVERY_TIMEOUT 30)

# The window on Qt's offscreen platform.
file(GLOB DRAVIK_WINDOW_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/loader/window/*.cpp)
add_executable(dravik_window_tests ${DRAVIK_WINDOW_TESTS})
target_compile_definitions(dravik_window_tests PRIVATE
  DRAVIK_SCREENSHOT="${CMAKE_BINARY_DIR}/dravik-window.png")
target_link_libraries(dravik_window_tests PRIVATE dravik_app loader_test_support Qt6::Test GTest::gtest)
gtest_discover_tests(dravik_window_tests DISCOVERY_TIMEOUT 30
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# Figures: Store's throughput into the simulated board in real time.
add_executable(bench_store ${CMAKE_SOURCE_DIR}/tests/loader/bench/bench_store.cpp)
target_link_libraries(bench_store PRIVATE dravik_core loader_board_support)
target_include_directories(bench_store PRIVATE ${CMAKE_SOURCE_DIR}/tests)
