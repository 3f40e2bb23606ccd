# Linux host: the portable code against the simulated PC, its tests and the lab.
include(CTest)
find_package(GTest REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(nlohmann_json 3 REQUIRED)
include(GoogleTest)

set(VELTA_WARNINGS -Wall -Wextra -Wno-missing-field-initializers -Werror=return-type)
velta_sources(VELTA_SIM_SOURCES sim)

# One library holds everything portable: the programs' code, the shared records and the
# simulated PC behind both layers. Tests and the lab link it.
add_library(velta_host STATIC
  ${VELTA_COMMON_SOURCES} ${VELTA_BOOT_SHARED_SOURCES} ${VELTA_APP_SOURCES}
  ${VELTA_MARKER_SOURCES} ${VELTA_EXECUTOR_SOURCES} ${VELTA_SIM_SOURCES})
target_include_directories(velta_host PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(velta_host PRIVATE ${VELTA_WARNINGS})
target_link_libraries(velta_host PUBLIC OpenSSL::Crypto nlohmann_json::nlohmann_json)

# The lab program.
velta_sources(VELTA_LAB_SOURCES lab)
if(VELTA_LAB_SOURCES)
  # The built-in machine is lab/machines/demo.json, compiled in.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/lab/machines/demo.json)
  file(READ ${CMAKE_SOURCE_DIR}/lab/machines/demo.json VELTA_DEMO_MACHINE_JSON)
  configure_file(${CMAKE_SOURCE_DIR}/lab/builtin_machine.cpp.in ${CMAKE_BINARY_DIR}/generated/builtin_machine.cpp @ONLY)
  add_executable(veltamoor-lab ${VELTA_LAB_SOURCES} ${CMAKE_BINARY_DIR}/generated/builtin_machine.cpp)
  target_compile_options(veltamoor-lab PRIVATE ${VELTA_WARNINGS})
  target_link_libraries(veltamoor-lab PRIVATE velta_host)
endif()

# Every folder under tests/ with .cpp files becomes one GoogleTest program named after it.
# tests/support holds shared test helpers, built once and linked into each of them.
velta_sources(VELTA_TEST_SUPPORT_SOURCES tests/support)
add_library(velta_test_support STATIC ${VELTA_TEST_SUPPORT_SOURCES})
target_compile_options(velta_test_support PRIVATE ${VELTA_WARNINGS})
target_compile_definitions(velta_test_support PUBLIC
  VELTA_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VELTA_WINDOWS_BUILD_DIR="${CMAKE_SOURCE_DIR}/build/windows"
  VELTA_HOST_BUILD_DIR="${CMAKE_BINARY_DIR}")
target_link_libraries(velta_test_support PUBLIC velta_host GTest::gtest)

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
