# kestrunc from the command line: usage, the input loop over standard input, Ask,
# and the exit codes. Scripts are written into the build tree, seen as T:/ in Wine.
#   cmake -DWINERUN=... -DKESTRUNC=... -DTREE=<build tree> -P KestruncTest.cmake
set(dir ${TREE}/scripts/console)
file(MAKE_DIRECTORY ${dir})
set(failures 0)

# run(<name> <stdin text> <expected code> <args...>): sets out and err, in hexadecimal
# (file(READ) as text drops carriage returns).
function(run name input code)
  file(WRITE ${dir}/${name}.in "${input}")
  execute_process(COMMAND ${WINERUN} ${KESTRUNC} ${ARGN}
    INPUT_FILE ${dir}/${name}.in OUTPUT_FILE ${dir}/${name}.out ERROR_FILE ${dir}/${name}.err
    RESULT_VARIABLE rc TIMEOUT 120)
  file(READ ${dir}/${name}.out o HEX)
  file(READ ${dir}/${name}.err e HEX)
  set(out "${o}" PARENT_SCOPE)
  set(err "${e}" PARENT_SCOPE)
  if(NOT rc STREQUAL "${code}")
    message(SEND_ERROR "${name}: exit code ${rc}, expected ${code}\nstdout: ${o}\nstderr: ${e}")
  endif()
endfunction()

function(expect name actual expected)
  string(HEX "${expected}" expected)
  if(NOT actual STREQUAL expected)
    message(SEND_ERROR "${name}:\n  got      [${actual}]\n  expected [${expected}]")
  endif()
endfunction()

# No script: help unless -nohelp, exit code 2.
run(usage "" 2)
string(HEX "\r\nOrvanta Kestrun 2.4\r\n" help)
string(FIND "${out}" "${help}" at)
if(NOT at EQUAL 0)
  message(SEND_ERROR "usage: no help text in [${out}]")
endif()
run(usage_nohelp "" 2 -nohelp -END x)
expect(usage_nohelp "${out}" "")

# The input loop: label and "> ", one line per OnInput, the default for an empty line.
file(WRITE ${dir}/input.js [[
Host.SetInput("default");
Host.RequestInput("Name");
function OnInput(t) {
  Host.WriteLine("got [" + t + "]");
  if (t != "last") Host.RequestInput("Next");
}
]])
run(input "abc\r\n\nlast\nnot read\n" 0 T:/scripts/console/input.js)
expect(input "${out}" "Name> got [abc]\r\nNext> got [default]\r\nNext> got [last]\r\n")
# End of input ends the program normally.
run(input_eof "abc\n" 0 T:/scripts/console/input.js)
expect(input_eof "${out}" "Name> got [abc]\r\nNext> ")

# Ask: y or yes in any case is 1, anything else 0.
file(WRITE ${dir}/ask.js [[
for (var i = 0; i < 3; i++) { var a = Host.Ask("Go"); Host.WriteLine(a ? "yes " + (a == 1) : "no"); }
Host.Msg("done");
]])
run(ask "YES\nn\n" 0 T:/scripts/console/ask.js)
expect(ask "${out}" "Go (y/n) yes true\r\nGo (y/n) no\r\nGo (y/n) \r\nno\r\ndone\r\n")

# Exit with input pending: no prompt.
file(WRITE ${dir}/exit.js "Host.RequestInput('x'); Host.Exit(); Host.WriteLine('after');\n")
run(exit "line\n" 0 T:/scripts/console/exit.js)
expect(exit "${out}" "after\r\n")

# Failures: exit code 1, the message on standard error.
run(missing "" 1 T:/scripts/console/missing.js)
expect(missing "${err}" "Error: Error - empty file or incorrect script language\r\n")
file(WRITE ${dir}/syntax.js "Host.WriteLine('never';\n")
run(syntax "" 1 T:/scripts/console/syntax.js)
expect(syntax "${out}" "")
string(HEX "Error: " prefix)
string(FIND "${err}" "${prefix}" at)
if(NOT at EQUAL 0)
  message(SEND_ERROR "syntax: stderr [${err}]")
endif()
file(WRITE ${dir}/noinput.vbs "Host.RequestInput \"x\"\n")
run(noinput "line\n" 1 -nohelp T:/scripts/console/noinput.vbs)
expect(noinput "${out}" "x> ")

# Registration options: one line per library, exit code 0 only when it succeeded.
run(register "" 0 -register T:/bin/regprobe.dll)
expect(register "${out}" "T:/bin/regprobe.dll SUCCEEDED\r\n")
run(unregister "" 1 -unregister T:/bin/regprobe.dll)
expect(unregister "${out}" "T:/bin/regprobe.dll FAILED\r\n")
run(register_missing "" 1 -register T:/bin/no-such.dll)
expect(register_missing "${out}" "Cannot load T:/bin/no-such.dll\r\n")
run(register_plain "" 1 /register C:\\windows\\system32\\version.dll)
expect(register_plain "${out}" "DllRegisterServer not found in C:\\windows\\system32\\version.dll\r\n")
run(unregister_plain "" 1 -unregister C:\\windows\\system32\\version.dll)
expect(unregister_plain "${out}" "DllUnregisterServer not found in C:\\windows\\system32\\version.dll\r\n")
run(repair "" 0 -repair)
expect(repair "${out}" "C:\\windows\\system32\\jscript.dll SUCCEEDED\r\nC:\\windows\\system32\\vbscript.dll SUCCEEDED\r\n")
