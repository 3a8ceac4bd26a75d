# Release packages: both Windows programs, built with their own toolchains,
# checked, and packed with CPack as one ZIP each with a README.txt.
include(ExternalProject)

find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(readme_txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt)
add_custom_command(OUTPUT ${readme_txt}
                   COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/readme_txt.py
                           ${PROJECT_SOURCE_DIR}/README.md ${readme_txt}
                   DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/scripts/readme_txt.py
                   COMMENT "Writing README.txt for Windows users")
add_custom_target(readme_txt ALL DEPENDS ${readme_txt})

enable_testing()
add_test(NAME readme_txt
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/readme_txt.py --check
                 ${PROJECT_SOURCE_DIR}/README.md ${readme_txt})

# Each package: its toolchain, objdump and the PE format of its program.
set(win32_toolchain mingw-i686)
set(win32_objdump i686-w64-mingw32-objdump)
set(win32_format pei-i386)
set(win64_toolchain mingw-x64)
set(win64_objdump x86_64-w64-mingw32-objdump)
set(win64_format pei-x86-64)
foreach(package win32 win64)
  set(toolchain ${${package}_toolchain})
  set(format ${${package}_format})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${package})
  ExternalProject_Add(ostrivel_${package}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${toolchain}.cmake
               -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${dir} --target ostrivel
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)

  find_program(objdump_${package} ${${package}_objdump} REQUIRED)
  add_test(NAME imports_${package}
           COMMAND sh ${PROJECT_SOURCE_DIR}/tests/imports.sh ${objdump_${package}} ${dir}/ostrivel.exe)
  if(package STREQUAL win32)
    add_test(NAME instructions_${package}
             COMMAND sh ${PROJECT_SOURCE_DIR}/tests/instructions.sh ${objdump_${package}}
                     ${dir}/ostrivel.exe)
  endif()
  add_test(NAME format_${package}
           COMMAND sh -c "\"$1\" -f \"$2\" | grep -q \"file format $3\\$\""
                   format ${objdump_${package}} ${dir}/ostrivel.exe ${format})

  install(PROGRAMS ${dir}/ostrivel.exe DESTINATION . COMPONENT ${package})
  install(FILES ${readme_txt} DESTINATION . COMPONENT ${package})
  string(TOUPPER ${package} upper)
  set(CPACK_ARCHIVE_${upper}_FILE_NAME ostrivel-${PROJECT_VERSION}-${package})
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ostrivel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL win32 win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Packed in the build tree, then copied to dist/ alone.
set(CPACK_OSTRIVEL_DIST_DIR ${PROJECT_SOURCE_DIR}/dist) # CPACK_: passed to the script
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/copy_to_dist.cmake)
include(CPack)
