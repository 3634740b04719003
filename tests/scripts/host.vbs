' The Host object as VBScript sees it in kestrunc, started without script parameters.
CheckEqual Host.ParameterCount(False), 0, "no script parameters"
CheckEqual Host.ParameterCount(1), 2, "host parameters"
CheckEqual Host.SysParameter(1), "nohelp", "first host parameter"

' Members called as statements, with and without parentheses.
Host.Clear
Host.WriteLine "statement call"
Host.Write("call with parentheses" & vbCrLf)

' A missing argument fails with a bad parameter count.
On Error Resume Next
n = Host.ParameterCount
CheckEqual Err.Number, 450, "ParameterCount without argument: wrong number of arguments"
Err.Clear
s = Host.Parameter(1)
Check Err.Number <> 0, "a parameter that does not exist raises an error"
Err.Clear
s = Host.RuntimeParameter("SCRIPTFILE")
CheckEqual Err.Number, 0, "runtime parameter names ignore case"
Check Right(s, 8) = "host.vbs", "ScriptFile names this script: " & s
Err.Clear
' VBScript passes variables by reference.
idx = 1
s = Host.SysParameter(idx)
CheckEqual s, "nohelp", "argument passed by reference"
On Error GoTo 0

' Ask reads the answer from standard input; there is none, so it is 0 (not True).
a = Host.Ask("Proceed?")
CheckEqual a, 0, "no answer is No"

Set d = Host.CreateObject("Scripting.Dictionary")
d.Add "k", "v"
CheckEqual d("k"), "v", "object created by ProgID"

' Exit ends the program once the global code has run.
Host.Exit
Check True, "code after Exit still runs to the end of the global code"
