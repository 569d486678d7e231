# Checks one manual page: groff must format it without a single warning, and
# it must hold every section of SECTIONS ("|"-separated section names).
#   cmake -DGROFF=path -DPAGE=file -DSECTIONS="NAME|SYNOPSIS" -P check_page.cmake
execute_process(COMMAND ${GROFF} -ww -man -z ${PAGE}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT "${output}${errors}" STREQUAL "")
  message(FATAL_ERROR "${PAGE}: groff status ${status}:\n${output}${errors}")
endif()
file(READ ${PAGE} text)
string(REPLACE "|" ";" sections "${SECTIONS}")
foreach(section IN LISTS sections)
  string(FIND "${text}" "\n.SH ${section}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${PAGE}: no section ${section}")
  endif()
endforeach()
message(STATUS "${PAGE}: formats without warnings, sections ${SECTIONS}")
