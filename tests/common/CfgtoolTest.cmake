# Runs cfgtool as users do: dump to JSON, reformat, convert to and from the binary form,
# and the exit codes of failures.
# Called with -DCFGTOOL=... -DDATA=... -DWORK=...
function(expect_run code)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL code)
    message(FATAL_ERROR "${ARGN}: exit ${rc}, expected ${code}\n${err}")
  endif()
  set(last_out "${out}" PARENT_SCOPE)
  set(last_err "${err}" PARENT_SCOPE)
endfunction()

function(expect_same_file a b)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${a} ${b} RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${a} differs from ${b}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

expect_run(0 ${CFGTOOL} dump ${DATA}/example.cfg)
file(WRITE ${WORK}/example.json "${last_out}")
expect_same_file(${WORK}/example.json ${DATA}/example.json)

expect_run(0 ${CFGTOOL} fmt ${DATA}/example.cfg ${WORK}/example.fmt.cfg)
expect_same_file(${WORK}/example.fmt.cfg ${DATA}/example.fmt.cfg)
file(COPY ${DATA}/example.cfg DESTINATION ${WORK})
expect_run(0 ${CFGTOOL} fmt ${WORK}/example.cfg)
expect_same_file(${WORK}/example.cfg ${DATA}/example.fmt.cfg)

# The binary form: written by fmt --binary, dumped to the same tree, and back to text.
expect_run(0 ${CFGTOOL} fmt --binary ${DATA}/example.cfg ${WORK}/example.bin)
expect_run(0 ${CFGTOOL} dump ${WORK}/example.bin)
file(WRITE ${WORK}/example.bin.json "${last_out}")
expect_same_file(${WORK}/example.bin.json ${DATA}/example.json)
expect_run(0 ${CFGTOOL} fmt ${WORK}/example.bin ${WORK}/example.bin.cfg)
expect_same_file(${WORK}/example.bin.cfg ${DATA}/example.fmt.cfg)
expect_run(0 ${CFGTOOL} fmt --binary ${WORK}/example.bin ${WORK}/example.bin)
expect_run(0 ${CFGTOOL} dump ${WORK}/example.bin)
file(WRITE ${WORK}/example.bin.json "${last_out}")
expect_same_file(${WORK}/example.bin.json ${DATA}/example.json)
expect_run(2 ${CFGTOOL} fmt --binary ${DATA}/example.cfg ${WORK}/no/such/dir.bin)
expect_run(1 ${CFGTOOL} fmt --binary ${DATA}/example.cfg)

expect_run(2 ${CFGTOOL} dump ${WORK}/missing.cfg)
if(NOT last_err MATCHES "^cfgtool: cannot read [^\n]*missing.cfg\n$")
  message(FATAL_ERROR "unexpected message: ${last_err}")
endif()
expect_run(2 ${CFGTOOL} fmt ${DATA}/example.cfg ${WORK}/no/such/dir.cfg)
expect_run(1 ${CFGTOOL} dump)
expect_run(1 ${CFGTOOL} convert ${DATA}/example.cfg)
