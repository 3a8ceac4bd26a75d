# Release packages: both Windows programs, built with their own toolchains,
# signed when a certificate is given, checked, and packed into dist/ as one
# ZIP each with a README.txt, and SHA256SUMS. The same commit gives the same
# bytes wherever and whenever it is built (scripts/release.py for the ZIPs).
include(ExternalProject)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(release_py ${PROJECT_SOURCE_DIR}/scripts/release.py)

set(readme_txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt)
add_custom_command(OUTPUT ${readme_txt}
                   COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/readme_txt.py
                           ${PROJECT_SOURCE_DIR}/docs/manual.md ${readme_txt}
                   DEPENDS ${PROJECT_SOURCE_DIR}/docs/manual.md ${PROJECT_SOURCE_DIR}/scripts/readme_txt.py
                   COMMENT "Writing README.txt for Windows users")
add_custom_target(readme_txt ALL DEPENDS ${readme_txt})

enable_testing()

# Signing: the certificate (chain) and its key, and optionally a file holding
# the key's passphrase, read at configure time; their paths, never the
# passphrase, go into the build files.
set(sign)
if(DEFINED ENV{OSTRIVEL_SIGN_CERT} OR DEFINED ENV{OSTRIVEL_SIGN_KEY})
  if(NOT DEFINED ENV{OSTRIVEL_SIGN_CERT} OR NOT DEFINED ENV{OSTRIVEL_SIGN_KEY})
    message(FATAL_ERROR "Signing needs both OSTRIVEL_SIGN_CERT and OSTRIVEL_SIGN_KEY")
  endif()
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
  set(sign $ENV{OSTRIVEL_SIGN_CERT} $ENV{OSTRIVEL_SIGN_KEY})
  if(DEFINED ENV{OSTRIVEL_SIGN_PASS_FILE})
    list(APPEND sign $ENV{OSTRIVEL_SIGN_PASS_FILE})
  endif()
  message(STATUS "Signing both programs with $ENV{OSTRIVEL_SIGN_CERT}")
else()
  message(STATUS "Not signing: OSTRIVEL_SIGN_CERT and OSTRIVEL_SIGN_KEY are not set")
endif()
# Restaged when the signing changes, and only then.
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/sign.txt CONTENT "${sign}\n")

# Each package: its toolchain, objdump and the PE format of its program.
set(win32_toolchain mingw-i686)
set(win32_objdump i686-w64-mingw32-objdump)
set(win32_format pei-i386)
set(win64_toolchain mingw-x64)
set(win64_objdump x86_64-w64-mingw32-objdump)
set(win64_format pei-x86-64)
set(built)
set(staged)
foreach(package win32 win64)
  set(toolchain ${${package}_toolchain})
  set(format ${${package}_format})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${package})
  # The PE time stamp is 0: the programs' bytes then depend on their source
  # and toolchain only (the linker ignores SOURCE_DATE_EPOCH with it).
  ExternalProject_Add(ostrivel_${package}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${toolchain}.cmake
               -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF
               -DCMAKE_EXE_LINKER_FLAGS=-Wl,--no-insert-timestamp
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${dir} --target ostrivel
    BUILD_BYPRODUCTS ${dir}/ostrivel.exe
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
  list(APPEND built ${dir}/ostrivel.exe)
  set(program ${CMAKE_CURRENT_BINARY_DIR}/pack/${package}/ostrivel.exe)
  list(APPEND staged ${program})

  # The checks read the programs as they are packed, signed or not.
  find_program(objdump_${package} ${${package}_objdump} REQUIRED)
  add_test(NAME imports_${package}
           COMMAND sh ${PROJECT_SOURCE_DIR}/tests/imports.sh ${objdump_${package}} ${program})
  add_test(NAME header_${package}
           COMMAND sh ${PROJECT_SOURCE_DIR}/tests/header.sh ${objdump_${package}} ${program})
  if(package STREQUAL win32)
    add_test(NAME instructions_${package}
             COMMAND sh ${PROJECT_SOURCE_DIR}/tests/instructions.sh ${objdump_${package}}
                     ${program})
  endif()
  add_test(NAME format_${package}
           COMMAND sh -c "\"$1\" -f \"$2\" | grep -q \"file format $3\\$\""
                   format ${objdump_${package}} ${program} ${format})
endforeach()

list(SUBLIST sign 0 2 sign_files)
add_custom_command(OUTPUT ${staged}
                   COMMAND ${Python3_EXECUTABLE} ${release_py} stage ${CMAKE_CURRENT_BINARY_DIR} ${sign}
                   DEPENDS ${built} ostrivel_win32 ostrivel_win64 ${release_py}
                           ${CMAKE_CURRENT_BINARY_DIR}/sign.txt ${sign_files}
                   COMMENT "Staging both programs for packing")
add_custom_target(programs ALL DEPENDS ${staged})

# Packed by the workflow's last step, once the checks passed; dist/ is
# emptied first, so it holds this build's packages alone.
add_custom_target(packages
                  COMMAND ${Python3_EXECUTABLE} ${release_py} pack ${PROJECT_VERSION}
                          ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR} ${PROJECT_SOURCE_DIR}/dist
                  DEPENDS ${staged} ${readme_txt}
                  COMMENT "Packing dist/")
add_dependencies(packages programs readme_txt)
