# Toolchain for the board: ARM926EJ-S (i.MX21), bare metal, Debian's
# arm-none-eabi GCC with newlib.  No FPU on this core, so soft float.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_ASM_COMPILER arm-none-eabi-gcc)

# There is nothing to run a test executable on: compiler checks build a library.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(VELM_ARM_CPU_FLAGS "-mcpu=arm926ej-s -marm -mfloat-abi=soft")
set(CMAKE_C_FLAGS_INIT "${VELM_ARM_CPU_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${VELM_ARM_CPU_FLAGS} -fno-exceptions -fno-rtti")
set(CMAKE_ASM_FLAGS_INIT "${VELM_ARM_CPU_FLAGS}")

# objcopy and size from the same toolchain as the compiler.
find_program(VELM_ARM_GCC_PATH arm-none-eabi-gcc REQUIRED)
get_filename_component(_velm_arm_bin "${VELM_ARM_GCC_PATH}" DIRECTORY)
find_program(CMAKE_OBJCOPY arm-none-eabi-objcopy HINTS "${_velm_arm_bin}" REQUIRED)
find_program(CMAKE_SIZE arm-none-eabi-size HINTS "${_velm_arm_bin}" REQUIRED)

# Libraries and headers come from the toolchain only, never from the build machine.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
