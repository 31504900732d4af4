# Adds every file matching a glob of the given directory as one executable each, named after
# the file, linked with the given libraries. Used for tests, benchmarks and fuzzers, so that
# each area adds its own file without touching a shared list.
function(pgmdev_glob_sources out_var pattern)
  file(GLOB found CONFIGURE_DEPENDS ${pattern})
  list(SORT found)
  set(${out_var} ${found} PARENT_SCOPE)
endfunction()
