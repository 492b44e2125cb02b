# prelivo_add_pe_check(<target> [ICON] [VERSION] [MANIFEST] [GUI|CONSOLE])
#
# Adds a CTest test that runs tools/check-pe on the target's executable: it
# must import nothing but Windows system DLLs (no MinGW runtime DLL) and,
# with the keywords, carry the icon, the version resource and the manifest,
# and be a GUI (no console window) or a console program. The check runs on
# the build machine, not under Wine: it reads the file, it does not start it.
# The test is named <prefix>pe.<target>, with the prefix of the other tests
# of the configuration (win32., win64.). Elsewhere than on Windows it does
# nothing.

function(prelivo_add_pe_check target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 1 ARG "ICON;VERSION;MANIFEST;GUI;CONSOLE" "" "")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "prelivo_add_pe_check: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(ARG_GUI AND ARG_CONSOLE)
    message(FATAL_ERROR "prelivo_add_pe_check(${target}): GUI and CONSOLE exclude each other")
  endif()
  if(NOT TARGET ${target})
    message(FATAL_ERROR "prelivo_add_pe_check: no target ${target}")
  endif()

  set(options "")
  foreach(keyword ICON VERSION MANIFEST GUI CONSOLE)
    if(ARG_${keyword})
      string(TOLOWER "--${keyword}" option)
      list(APPEND options ${option})
    endif()
  endforeach()

  set(check_pe "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../tools/check-pe")
  cmake_path(NORMAL_PATH check_pe)
  set(tool "${check_pe}")
  if(CMAKE_OBJDUMP)
    set(tool ${CMAKE_COMMAND} -E env "PRELIVO_OBJDUMP=${CMAKE_OBJDUMP}" "${check_pe}")
  endif()
  add_test(NAME ${PRELIVO_TEST_PREFIX}pe.${target} COMMAND ${tool} ${options} $<TARGET_FILE:${target}>)
endfunction()
