# Writes pgmdev-tool's manual page or its bash completion script from the tool itself, so that
# both follow every registered command.
# Arguments: TOOL (the built tool), OUT, MODE (man or completion); for man also HELP2MAN,
# VERSION and INCLUDE (where the commands' section is written for help2man).
get_filename_component(out_dir ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})

function(run_tool out_var)
  execute_process(COMMAND ${TOOL} ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output
                  ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "pgmdev-tool ${ARGN} failed (${result}): ${error}")
  endif()
  set(${out_var} "${output}" PARENT_SCOPE)
endfunction()

if(MODE STREQUAL "completion")
  run_tool(script --bash-completion)
  file(WRITE ${OUT} "${script}")
  return()
endif()

# One section per command with its whole help, for help2man to include.
run_tool(commands --list-commands)
string(REPLACE "\n" ";" commands "${commands}")
set(include "[COMMANDS]\nEach command's help, with an example.\n")
foreach(command IN LISTS commands)
  if(command STREQUAL "")
    continue()
  endif()
  string(REPLACE " " ";" words "${command}")
  run_tool(help ${words} --help)
  # roff: a backslash is \e; a line may not begin with a control character.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND include ".SS \"pgmdev-tool ${command}\"\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${INCLUDE} "${include}")

execute_process(
  COMMAND ${HELP2MAN} --no-info --version-string=${VERSION} --include=${INCLUDE}
          "--name=device programmer names, databases and user flash devices" --output=${OUT}
          ${TOOL}
  RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "help2man failed (${result}): ${error}")
endif()
