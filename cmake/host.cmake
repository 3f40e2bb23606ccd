# Linux host: the portable code against the simulated PC, its tests and the lab.
include(CTest)
find_package(GTest REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(nlohmann_json 3 REQUIRED)
include(GoogleTest)

set(VELTA_WARNINGS -Wall -Wextra -Wno-missing-field-initializers -Werror=return-type)

# One library per layer. A library names only the layers below it, so a wrong-direction
# dependency shows as a link error here and as a failure of tests/layers.
#   common   freestanding, as in the boot-time programs
#   boot     the two boot-time programs' code; common and the native layer only
#   app      the desktop program's portable code; common and the Win32 layer
#   sim      the simulated PC behind both layers (its Session Manager runs boot programs,
#            so that part is its own library above boot)
#   lab      machine files and the lab program
velta_sources(VELTA_SIM_SOURCES sim/core sim/storage sim/wmi sim/win sim/nt)
velta_sources(VELTA_SIM_BOOT_SOURCES sim/boot)
velta_sources(VELTA_APP_HOST_SOURCES app/ui/host)

add_library(velta_platform INTERFACE)
target_include_directories(velta_platform INTERFACE ${CMAKE_SOURCE_DIR})

add_library(velta_common STATIC ${VELTA_COMMON_SOURCES})
target_compile_options(velta_common PRIVATE ${VELTA_WARNINGS}
  -ffreestanding -fno-exceptions -fno-rtti -fno-threadsafe-statics)
target_link_libraries(velta_common PUBLIC velta_platform)

add_library(velta_boot STATIC
  ${VELTA_BOOT_SHARED_SOURCES} ${VELTA_MARKER_SOURCES} ${VELTA_EXECUTOR_SOURCES})
target_compile_options(velta_boot PRIVATE ${VELTA_WARNINGS})
target_link_libraries(velta_boot PUBLIC velta_common velta_platform)

add_library(velta_app STATIC ${VELTA_APP_SOURCES} ${VELTA_APP_HOST_SOURCES})
target_compile_options(velta_app PRIVATE ${VELTA_WARNINGS})
target_link_libraries(velta_app PUBLIC velta_common velta_platform)

add_library(velta_sim STATIC ${VELTA_SIM_SOURCES})
target_compile_options(velta_sim PRIVATE ${VELTA_WARNINGS})
target_link_libraries(velta_sim PUBLIC velta_common velta_platform OpenSSL::Crypto)

add_library(velta_sim_boot STATIC ${VELTA_SIM_BOOT_SOURCES})
target_compile_options(velta_sim_boot PRIVATE ${VELTA_WARNINGS})
target_link_libraries(velta_sim_boot PUBLIC velta_boot velta_sim)

# What a program of the simulated PC links: the programs' code and the machine behind it.
add_library(velta_host INTERFACE)
target_link_libraries(velta_host INTERFACE velta_sim_boot velta_boot velta_app velta_sim velta_common)

# The lab: machine files, and the program.
velta_sources(VELTA_LAB_SOURCES lab)
list(FILTER VELTA_LAB_SOURCES EXCLUDE REGEX "/lab/main\\.cpp$")
add_library(velta_lab STATIC ${VELTA_LAB_SOURCES})
target_compile_options(velta_lab PRIVATE ${VELTA_WARNINGS})
target_link_libraries(velta_lab PUBLIC velta_host nlohmann_json::nlohmann_json)

# The built-in machine is lab/machines/demo.json, compiled in.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lab/machines/demo.json)
file(READ ${CMAKE_SOURCE_DIR}/lab/machines/demo.json VELTA_DEMO_MACHINE_JSON)
configure_file(${CMAKE_SOURCE_DIR}/lab/builtin_machine.cpp.in ${CMAKE_BINARY_DIR}/generated/builtin_machine.cpp @ONLY)
add_executable(veltamoor-lab ${CMAKE_SOURCE_DIR}/lab/main.cpp ${CMAKE_BINARY_DIR}/generated/builtin_machine.cpp)
target_compile_options(veltamoor-lab PRIVATE ${VELTA_WARNINGS})
target_link_libraries(veltamoor-lab PRIVATE velta_lab)

# Every folder under tests/ with .cpp files becomes one GoogleTest program named after it.
# tests/support holds shared test helpers, built once and linked into each of them.
velta_sources(VELTA_TEST_SUPPORT_SOURCES tests/support)
add_library(velta_test_support STATIC ${VELTA_TEST_SUPPORT_SOURCES})
target_compile_options(velta_test_support PRIVATE ${VELTA_WARNINGS})
target_compile_definitions(velta_test_support PUBLIC
  VELTA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VELTA_WINDOWS_BUILD_DIR="${CMAKE_SOURCE_DIR}/build/windows"
  VELTA_HOST_BUILD_DIR="${CMAKE_BINARY_DIR}")
target_link_libraries(velta_test_support PUBLIC velta_lab GTest::gtest)

file(GLOB test_dirs LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/*)
foreach(dir IN LISTS test_dirs)
  get_filename_component(name ${dir} NAME)
  if(NOT IS_DIRECTORY ${dir} OR name STREQUAL "support")
    continue()
  endif()
  file(GLOB test_sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(NOT test_sources)
    continue()
  endif()
  add_executable(test_${name} ${test_sources})
  target_compile_options(test_${name} PRIVATE ${VELTA_WARNINGS})
  target_link_libraries(test_${name} PRIVATE velta_test_support GTest::gtest_main)
  gtest_discover_tests(test_${name} DISCOVERY_MODE PRE_TEST PROPERTIES LABELS ${name})
endforeach()
