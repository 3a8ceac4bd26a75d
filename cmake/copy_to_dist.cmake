# CPack post-build script: copies the packages just made to dist/.
file(MAKE_DIRECTORY ${CPACK_OSTRIVEL_DIST_DIR})
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(COPY ${package} DESTINATION ${CPACK_OSTRIVEL_DIST_DIR})
  get_filename_component(name ${package} NAME)
  message(STATUS "Package: ${CPACK_OSTRIVEL_DIST_DIR}/${name}")
endforeach()
