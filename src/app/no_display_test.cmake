# Runs the dialog with no display configured and with one that cannot be reached: each
# time one line on stderr naming quillfen-cli, and exit status 2.
foreach(display "" ":97")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=QT_QPA_PLATFORM --unset=WAYLAND_DISPLAY
            DISPLAY=${display} ${PROGRAM}
    RESULT_VARIABLE status ERROR_VARIABLE err OUTPUT_VARIABLE out TIMEOUT 30)
  string(REGEX MATCHALL "\n" newlines "${err}")
  list(LENGTH newlines lines)
  if(NOT status EQUAL 2 OR NOT lines EQUAL 1 OR NOT err MATCHES "no display.*quillfen-cli")
    message(FATAL_ERROR "DISPLAY='${display}': status ${status}, ${lines} lines:\n${err}")
  endif()
endforeach()
