# PC tree: Dravik and its tests (64-bit, Qt 6).
find_package(Qt6 REQUIRED COMPONENTS Core SerialPort Widgets Test)
include(cmake/googletest.cmake)

file(GLOB VELM_LOADER_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/loader/*.cpp)
add_executable(loader_tests ${VELM_LOADER_TESTS})
target_link_libraries(loader_tests PRIVATE Qt6::Core Qt6::SerialPort GTest::gtest_main)
gtest_discover_tests(loader_tests DISCOVERY_TIMEOUT 30)
