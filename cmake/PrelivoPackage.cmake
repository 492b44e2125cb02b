# The release package for Windows: prelivo-<version>-win32.zip (or -win64)
# with both programs, the README, the licence and a SHA-256 list of them,
# and a .sha256 file beside the zip. Made by `cpack` in a Windows build
# folder.
set(_package_files prelivo.exe prelivo-join.exe README.md LICENSE)
install(TARGETS prelivo prelivo-join RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
# Written after the files are in place, so it lists what is shipped.
install(CODE "
  set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(sums \"\")
  foreach(f ${_package_files})
    file(SHA256 \"\${dir}/\${f}\" hash)
    string(APPEND sums \"\${hash}  \${f}\\n\")
  endforeach()
  file(WRITE \"\${dir}/SHA256SUMS\" \"\${sums}\")
")

string(REGEX REPLACE "\\.$" "" _flavour "${PRELIVO_TEST_PREFIX}")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME prelivo)
set(CPACK_PACKAGE_VENDOR "the Prelivo authors")
set(CPACK_PACKAGE_FILE_NAME "prelivo-${PROJECT_VERSION}-${_flavour}")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
include(CPack)
