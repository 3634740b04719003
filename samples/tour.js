// A short tour of the toolkit, run by `make run`.
var out = (typeof Host != "undefined") ? function (s) { Host.WriteLine(s); } : function (s) { WScript.Echo(s); };
out("Orvanta tour");
out("JScript " + ScriptEngineMajorVersion() + "." + ScriptEngineMinorVersion());
