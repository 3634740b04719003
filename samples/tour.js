// A short tour of the toolkit, run by `make run` in the console host:
//   kestrunc samples/tour.js [parameters...]
// It shows the Host object, an ordered dictionary, a second script manager in which a
// VBScript calls back into this script's objects, files, streams and storages, a
// configuration file, a record file, a composite and a script thread.
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

// Files: write lines in UTF-8, read them back one at a time, then keep a copy inside a
// compound file and list what it holds.
var fs = Host.CreateObject("Orvanta.utilctls.SFMain");
var folder = Host.RuntimeParameter("ScriptPath");
var notes = fs.CreateFile(folder + "tour-notes.txt");
notes.codePage = 65001;
notes.WriteText("first line\r\nsecond line, \u00e9t\u00e9\r\nthird line\r\n");
notes.Pos = 0;
for (var n = 1; !notes.EOS; n++)
  Host.WriteLine("  line " + n + ": " + notes.ReadText(-1));
var store = fs.CreateStorageFile(folder + "tour-store.bin", 0x1012);
var copy = store.CreateSubStream("notes/2026/tour.txt");
notes.Pos = 0;
notes.CopyTo(copy, notes.Size);
copy.Close();
notes.Close();
var items = store.OpenSubStorage("notes").contents;
for (var k = 1; k <= items.Count; k++)
  Host.WriteLine("  stored: notes\\" + items.Key(k) + " (" + (items.Item(k).Type == 1 ? "storage" : "stream") + ")");
Host.WriteLine("  tour.txt holds " + store.GetSubItemInfo("notes\\2026\\tour.txt").Size + " bytes");
store.Close();
fs.DeleteFile(folder + "tour-notes.txt");
fs.DeleteFile(folder + "tour-store.bin");

// Configuration: a section holding one record of two values, written as text and read back.
var cf = Host.CreateObject("Orvanta.utilctls.ConfigFile");
var settings = cf.CreateSection();
var size = cf.CreateRecord();
size.Add("cx", 640);
size.Add("cy", 480);
settings.Add("Window", size);
cf.Write(folder + "tour.cfg", settings);
var read = cf.Read(folder + "tour.cfg");
Host.WriteLine("Configuration read back: window " + read("Window")("cx") + " x " + read("Window")("cy"));
fs.DeleteFile(folder + "tour.cfg");

// Records: a fixed layout (an integer and 8 characters) written three times to a memory
// stream, then the second record read back by its number.
var rec = Host.CreateObject("Orvanta.utilctls.SFRecord");
rec.AddField("n", 3);
rec.AddField("word", 8, 8);
rec.BindTo(fs.CreateMemoryStream(), Host.CreateObject("Orvanta.utilctls.SFFilter"));
var words = ["one", "two", "three"];
for (var w = 0; w < words.length; w++) {
  rec.Field("n").Value = w + 1;
  rec.Field("word").Value = words[w];
  rec.Write();
}
rec.Move(1, 0);
Host.WriteLine("Records: " + rec.RecordCount + ", the second is " + rec.Field("n").Value + " " + rec.Field("word").Value);
// A composite: one object whose members are carried out by others. Here the dictionary
// answers Size, and a VBScript function answers Double.
var calc = Host.CreateObject("Orvanta.Scphost.ScpMan2");
calc.LoadEngine("VBScript");
calc.AddText("Function Double(x)\nDouble = 2 * x\nEnd Function");
calc.Run();
var vd = Host.CreateObject("Orvanta.utilctls.VaryDisp");
vd.AddObject("Fruit", fruit);
vd.AddObject("Calc", calc);
vd.AddMember("Size", "Fruit", "Count", 2);
vd.AddMember("Double", "Calc", "Double");
var both = vd.theObject;
Host.WriteLine("Composite: Size " + both.Size + ", Double(21) " + both.Double(21));
calc.Close();

// Threads: a second JScript runs on a thread of its own. This script hands it a number
// through their shared dictionary, starts its routine in the background and waits for it
// (samples/threads.js shows more).
var worker = Host.CreateObject("Orvanta.utilctls.COMScriptThread");
worker.Value.Add("n", 10);
worker.Start("JScript", "function Sum() { var s = 0; for (var i = 1; i <= Context.Item('n'); i++) s += i; return s; }", 10000);
worker.Execute("Sum");
worker.Wait(10000);
Host.WriteLine("Script thread: 1 + ... + 10 = " + worker.Result);
worker.Stop();
Host.WriteLine("Done.");
