# The three shipped programs, cross-compiled with mingw-w64.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(VELTA_WARNINGS -Wall -Wextra -Wno-missing-field-initializers -Werror=return-type)

velta_sources(VELTA_WIN_REAL_SOURCES platform/win/real)
velta_sources(VELTA_NT_REAL_SOURCES platform/nt/real)
velta_sources(VELTA_UI_WIN32_SOURCES app/ui/win32)
velta_sources(VELTA_MARKER_NATIVE_SOURCES boot/marker/native)
velta_sources(VELTA_EXECUTOR_NATIVE_SOURCES boot/executor/native)
velta_sources(VELTA_BOOT_NATIVE_SOURCES boot/native)

# Boot-time programs: freestanding C++, native subsystem, ntdll only.
set(VELTA_FREESTANDING_FLAGS
  -ffreestanding -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -fno-unwind-tables -fno-stack-protector -fno-threadsafe-statics -mno-stack-arg-probe
  -fno-builtin -nostdlib)

set(VELTA_FREESTANDING_LIB_SOURCES ${VELTA_COMMON_SOURCES} ${VELTA_BOOT_SHARED_SOURCES})
if(VELTA_FREESTANDING_LIB_SOURCES)
  add_library(velta_common_freestanding STATIC ${VELTA_FREESTANDING_LIB_SOURCES})
  target_compile_options(velta_common_freestanding PRIVATE ${VELTA_FREESTANDING_FLAGS} ${VELTA_WARNINGS})
  target_include_directories(velta_common_freestanding PUBLIC ${CMAKE_SOURCE_DIR})
else()
  add_library(velta_common_freestanding INTERFACE)
  target_include_directories(velta_common_freestanding INTERFACE ${CMAKE_SOURCE_DIR})
endif()

function(velta_native_program name)
  add_executable(${name} ${ARGN} ${VELTA_NT_REAL_SOURCES} ${VELTA_BOOT_NATIVE_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${VELTA_FREESTANDING_FLAGS} ${VELTA_WARNINGS})
  target_link_libraries(${name} PRIVATE velta_common_freestanding)
  target_link_options(${name} PRIVATE
    -nostdlib -nostartfiles -Wl,--subsystem,native -Wl,-e,NtProcessStartup
    -Wl,--dynamicbase -Wl,--nxcompat -Wl,--high-entropy-va)
  target_link_libraries(${name} PRIVATE ntdll)
  set_target_properties(${name} PROPERTIES OUTPUT_NAME ${name} SUFFIX ".exe"
    LINKER_LANGUAGE CXX)
endfunction()

velta_native_program(VeltamoorMarker ${VELTA_MARKER_SOURCES} ${VELTA_MARKER_NATIVE_SOURCES})
velta_native_program(VeltamoorMoveLab ${VELTA_EXECUTOR_SOURCES} ${VELTA_EXECUTOR_NATIVE_SOURCES})

# The desktop program carries both boot-time images as resources, so the resource script is
# generated with their paths and recompiled whenever either image changes.
set(VELTA_MARKER_IMAGE ${CMAKE_BINARY_DIR}/VeltamoorMarker.exe)
set(VELTA_MOVELAB_IMAGE ${CMAKE_BINARY_DIR}/VeltamoorMoveLab.exe)
set(VELTA_MANIFEST ${CMAKE_SOURCE_DIR}/app/resources/Veltamoor.manifest)
configure_file(${CMAKE_SOURCE_DIR}/app/resources/Veltamoor.rc.in ${CMAKE_BINARY_DIR}/Veltamoor.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/Veltamoor.rc PROPERTIES
  OBJECT_DEPENDS "${VELTA_MARKER_IMAGE};${VELTA_MOVELAB_IMAGE};${VELTA_MANIFEST}")

enable_language(RC)
add_executable(Veltamoor WIN32
  ${VELTA_APP_SOURCES} ${VELTA_UI_WIN32_SOURCES} ${VELTA_WIN_REAL_SOURCES}
  ${VELTA_COMMON_SOURCES} ${CMAKE_BINARY_DIR}/Veltamoor.rc)
add_dependencies(Veltamoor VeltamoorMarker VeltamoorMoveLab)
target_include_directories(Veltamoor PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(Veltamoor PRIVATE UNICODE _UNICODE)
target_compile_options(Veltamoor PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${VELTA_WARNINGS}>)
target_link_options(Veltamoor PRIVATE -municode -static -static-libgcc -static-libstdc++)
target_link_libraries(Veltamoor PRIVATE
  ole32 oleaut32 wbemuuid bcrypt advapi32 shell32 user32 gdi32 comctl32 uxtheme kernel32)

# A probe of the WMI layer over the real COM runtime; the host tests run it under Wine.
velta_sources(VELTA_WMI_SOURCES app/wmi)
add_executable(VeltamoorWmiProbe ${CMAKE_SOURCE_DIR}/tests/wmi_wine/probe/wmi_probe.cpp ${VELTA_WMI_SOURCES}
  ${CMAKE_SOURCE_DIR}/platform/win/real/com.cpp ${CMAKE_SOURCE_DIR}/platform/win/real/guid.cpp)
target_include_directories(VeltamoorWmiProbe PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(VeltamoorWmiProbe PRIVATE UNICODE _UNICODE)
target_compile_options(VeltamoorWmiProbe PRIVATE ${VELTA_WARNINGS})
target_link_options(VeltamoorWmiProbe PRIVATE -municode -static -static-libgcc -static-libstdc++)
target_link_libraries(VeltamoorWmiProbe PRIVATE ole32 oleaut32)
