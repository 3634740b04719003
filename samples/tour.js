// A short tour of the toolkit, run by `make run` in the console host:
//   kestrunc samples/tour.js [parameters...]
// It shows the Host object, an ordered dictionary and a second script manager in
// which a VBScript calls back into this script's objects.
Host.WriteLine("Orvanta tour");
Host.WriteLine("JScript " + ScriptEngineMajorVersion() + "." + ScriptEngineMinorVersion() +
               ", running " + Host.RuntimeParameter("ScriptFile"));

// Command-line parameters: the host's (before the script) and the script's (after it).
Host.WriteLine("Host parameters: " + Host.ParameterCount(true) + ", script parameters: " +
               Host.ParameterCount(false));
for (var i = 1; i <= Host.ParameterCount(false); i++)
  Host.WriteLine("  parameter " + i + ": " + Host.Parameter(i));

// An ordered dictionary: items keep their order and are found by name or position.
var fruit = Host.CreateObject("orvanta.utilctls.VarDictionary");
fruit.Add("apple", 3);
fruit.Add("pear", 5);
fruit.Add("plum", 7);
Host.WriteLine("Dictionary of " + fruit.Count + " items; second is " + fruit.Key(2) +
               ", pear = " + fruit.Item("PEAR"));

// A second script manager runs VBScript that sees the dictionary and the Host object.
var inner = Host.CreateObject("Orvanta.Scphost.ScpMan2");
inner.Add("fruit", fruit);
inner.Add("Host", Host);
inner.LoadEngine("VBScript");
inner.AddText("Function Total()\n" +
              "  For i = 1 To fruit.Count : Total = Total + fruit.Item(i) : Next\n" +
              "End Function\n" +
              "Host.WriteLine \"VBScript says hello from \" & ScriptEngine");
inner.Run();
Host.WriteLine("Total computed in VBScript: " + inner.script.Total());
inner.Close();
Host.WriteLine("Done.");
