# prelivo_add_windows_resources(<target> DESCRIPTION "<text>" [ICON] [MANIFEST <file>])
#
# Gives a Windows executable its resources from a resource script generated
# for it:
#   ICON      the program icon (ui/resources/prelivo.ico) at IDI_PRELIVO, 1.
#             Explorer shows the icon group with the lowest identifier as the
#             file's icon, so nothing may come before it.
#   VERSIONINFO with DESCRIPTION as FileDescription and the project version,
#             always.
#   MANIFEST  <file> as the application manifest (RT_MANIFEST, identifier 1,
#             the one the loader reads for an executable). A relative path is
#             taken from the calling directory.
# Elsewhere than on Windows it does nothing, so callers need no guard.

set(PRELIVO_COPYRIGHT "Copyright (C) 2026 the Prelivo authors"
    CACHE STRING "LegalCopyright of the executables' version resource")

function(prelivo_add_windows_resources target)
  if(NOT WIN32)
    return()
  endif()
  set(resources "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../ui/resources")
  cmake_path(NORMAL_PATH resources)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "ICON" "DESCRIPTION;MANIFEST" "")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "prelivo_add_windows_resources: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "prelivo_add_windows_resources: no target ${target}")
  endif()
  if(NOT DEFINED ARG_DESCRIPTION OR ARG_DESCRIPTION STREQUAL "")
    message(FATAL_ERROR "prelivo_add_windows_resources(${target}): DESCRIPTION is required")
  endif()

  # A resource script string doubles its quotes and, like C, escapes backslashes.
  string(REPLACE "\\" "\\\\" description "${ARG_DESCRIPTION}")
  string(REPLACE "\"" "\"\"" description "${description}")
  string(REPLACE "\\" "\\\\" copyright "${PRELIVO_COPYRIGHT}")
  string(REPLACE "\"" "\"\"" copyright "${copyright}")

  if(PROJECT_VERSION_MAJOR STREQUAL "")
    message(FATAL_ERROR "prelivo_add_windows_resources(${target}): project ${PROJECT_NAME} has no VERSION")
  endif()
  set(tweak "${PROJECT_VERSION_TWEAK}")
  if(tweak STREQUAL "")
    set(tweak 0)
  endif()
  set(version_numbers "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${tweak}")

  set(depends "")
  # UTF-8 throughout, so that a description in Chinese survives; both windres
  # and Microsoft's rc honour the pragma.
  set(rc "// Generated for ${target} by prelivo_add_windows_resources.\n")
  string(APPEND rc "#pragma code_page(65001)\n#include <windows.h>\n")
  if(ARG_ICON)
    set(icon "${resources}/prelivo.ico")
    string(APPEND rc "#include \"${resources}/resource.h\"\n\n")
    string(APPEND rc "IDI_PRELIVO ICON \"${icon}\"\n")
    list(APPEND depends "${icon}" "${resources}/resource.h")
  endif()
  if(DEFINED ARG_MANIFEST)
    cmake_path(ABSOLUTE_PATH ARG_MANIFEST BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
               NORMALIZE OUTPUT_VARIABLE manifest)
    if(NOT EXISTS "${manifest}")
      message(FATAL_ERROR "prelivo_add_windows_resources(${target}): no manifest ${manifest}")
    endif()
    string(APPEND rc "1 24 \"${manifest}\"\n")
    list(APPEND depends "${manifest}")
  endif()
  string(APPEND rc "
1 VERSIONINFO
FILEVERSION ${version_numbers}
PRODUCTVERSION ${version_numbers}
FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_APP
FILESUBTYPE VFT2_UNKNOWN
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    // English (United States), Unicode
    BLOCK \"040904B0\"
    BEGIN
      VALUE \"CompanyName\", \"Prelivo\"
      VALUE \"FileDescription\", \"${description}\"
      VALUE \"FileVersion\", \"${PROJECT_VERSION}\"
      VALUE \"InternalName\", \"$<TARGET_FILE_BASE_NAME:${target}>\"
      VALUE \"LegalCopyright\", \"${copyright}\"
      VALUE \"OriginalFilename\", \"$<TARGET_FILE_NAME:${target}>\"
      VALUE \"ProductName\", \"Prelivo\"
      VALUE \"ProductVersion\", \"${PROJECT_VERSION}\"
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x409, 1200
  END
END
")

  # file(GENERATE) for the file name, which only the generator knows for sure.
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc")
  file(GENERATE OUTPUT "${script}" CONTENT "${rc}")
  target_sources(${target} PRIVATE "${script}")
  # The script only names the icon and the manifest; without these the
  # build would not notice when either changes.
  set_source_files_properties("${script}" TARGET_DIRECTORY ${target} PROPERTIES
    GENERATED TRUE
    OBJECT_DEPENDS "${depends}")
endfunction()
