// The Host object as JScript sees it in kestrunc, started with the script parameters
// p1 and "two words".
var E_FAIL = -2147467259;

checkEqual(Host.ParameterCount(false), 2, "script parameters");
checkEqual(Host.ParameterCount(true), 2, "host parameters: nohelp and RUN");
checkEqual(Host.Parameter(1), "p1", "first script parameter");
checkEqual(Host.Parameter(2), "two words", "quoted parameter");
checkEqual(Host.SysParameter(1), "nohelp", "option without its dash");
var file = Host.RuntimeParameter("ScriptFile");
checkEqual(Host.SysParameter(2), file, "the script file as written");
var folder = Host.RuntimeParameter("scriptpath");
checkEqual(file.indexOf(folder), 0, "ScriptPath is the folder of ScriptFile");
check(/[\\\/]$/.test(folder), "ScriptPath ends in a separator: " + folder);

// Errors of the parameter members reach the script as run-time errors.
var e = checkThrows(function () { Host.Parameter("a"); }, "a parameter by name");
checkEqual(e && e.number, E_FAIL, "its error number");
checkThrows(function () { Host.Parameter(3); }, "a parameter past the end");
checkThrows(function () { Host.RuntimeParameter("Nothing"); }, "an unknown runtime parameter");
// Members must be called as methods.
e = checkThrows(function () { var x = Host.Exit; }, "reading Exit as a property");
checkEqual(e && e.number, E_FAIL, "property read error number");
checkThrows(function () { Host.ParameterCount(); }, "ParameterCount without its argument");

// Objects by ProgID; an unknown one fails.
var d = Host.CreateObject("Scripting.Dictionary");
d.Add("k", 5);
checkEqual(d.Item("k"), 5, "object created by ProgID");
e = checkThrows(function () { Host.CreateObject("No.Such.Class"); }, "unknown ProgID");
checkEqual(e && e.number, E_FAIL, "unknown ProgID error number");

// Write and WriteLine convert their argument; extra arguments do nothing.
Host.Write(12);
Host.WriteLine(" written");
Host.Msg("one", "two");
Host.Clear();
check(true, "Clear does nothing on the console");
