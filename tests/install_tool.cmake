# Installs the build tree into a fresh prefix for the end-to-end tests of pgmdev-tool.
# Arguments: BUILD_DIR, PREFIX.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install into ${PREFIX} failed (${result}):\n${output}")
endif()
