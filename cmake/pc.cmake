# PC tree: Dravik and its tests (64-bit, Qt 6).
find_package(Qt6 REQUIRED COMPONENTS Core SerialPort Widgets Test)
include(cmake/googletest.cmake)

# Dravik without a window: image files, RLE16, macro compiler, font list,
# memory-image builder, .BIN files.
file(GLOB DRAVIK_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/loader/core/*.cpp)
add_library(dravik_core STATIC ${DRAVIK_CORE_SOURCES})
target_include_directories(dravik_core PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/loader)
target_compile_options(dravik_core PRIVATE -Wall -Wextra)
target_link_libraries(dravik_core PUBLIC Qt6::Core)

file(GLOB VELM_LOADER_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/loader/*.cpp)
add_executable(loader_tests ${VELM_LOADER_TESTS})
target_link_libraries(loader_tests PRIVATE dravik_core Qt6::Core Qt6::SerialPort GTest::gtest_main)
gtest_discover_tests(loader_tests DISCOVERY_TIMEOUT 30)
