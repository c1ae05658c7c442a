# Writes the quillfen-cli man page from the program's own help texts, so that the page
# says what the built program does:
#   cmake -DCLI=... -DHELP2MAN=... -DVERSION=... -DINCLUDE=extra.h2m -DOUT=quillfen-cli.1
#         -P manpage.cmake
# help2man makes the page from `quillfen-cli --help`; each command listed there gets a
# section of its own, made by help2man from `quillfen-cli COMMAND --help`.
foreach(var CLI HELP2MAN VERSION INCLUDE OUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "manpage.cmake: ${var} is not set")
  endif()
endforeach()

function(run_help2man out_var)
  execute_process(COMMAND ${HELP2MAN} --no-info --version-string=${VERSION} ${ARGN} ${CLI}
                  OUTPUT_VARIABLE page RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "help2man ${ARGN} ${CLI} failed (${rc}): ${err}")
  endif()
  set(${out_var} "${page}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${CLI} --help failed (${rc})")
endif()
string(REGEX MATCH "\nSubcommands:\n.*" listed "${help}")
string(REGEX MATCHALL "\n  [a-z][a-z0-9-]*" commands "${listed}")
if(NOT commands)
  message(FATAL_ERROR "${CLI} --help lists no commands")
endif()

set(sections "[COMMANDS]\n")
foreach(command IN LISTS commands)
  string(STRIP "${command}" command)
  run_help2man(page "--help-option=${command} --help")
  # Keep what follows the SYNOPSIS heading; help2man's headings become paragraphs.
  string(REGEX REPLACE "^.*\n\\.SH SYNOPSIS\n" "" body "${page}")
  string(REPLACE "\\fI\\,${command} \\/\\fR" "\\fB${command}\\fR " body "${body}")
  string(REPLACE "\n.SH DESCRIPTION\n" "\n.PP\n" body "${body}")
  string(REPLACE "\n.SH OPTIONS\n" "\n.PP\nOptions:\n" body "${body}")
  string(REGEX REPLACE "\n\\.S[HS] \"?([A-Za-z ]+):?\"?\n" "\n.PP\n\\1:\n" body "${body}")
  string(STRIP "${body}" body)
  string(APPEND sections ".SS \"${command}\"\n.PP\n${body}\n")
endforeach()

get_filename_component(dir "${OUT}" DIRECTORY)
set(commands_include "${dir}/quillfen-cli-commands.h2m")
file(WRITE "${commands_include}" "${sections}")
run_help2man(page "--name=convert ORX camera data files into TIFF and BMP images"
             --include=${commands_include} --include=${INCLUDE})
file(WRITE "${OUT}" "${page}")
