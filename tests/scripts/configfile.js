// ConfigFile as a JScript writer uses it: build a configuration, write it, read it
// back, change it and write it again, in a text file, the registry and a stream.
var cf = new ActiveXObject("Orvanta.utilctls.ConfigFile");
var fs = new ActiveXObject("Orvanta.utilctls.SFMain");
var path = "T:\\scripts\\configfile-js.cfg";

var root = cf.CreateSection();
var win = cf.CreateSection();
win.Info.Class = "Frame";
var size = cf.CreateRecord();
size.Add("cx", 240);
size.Add("cy", 320);
win.Add("Size", size);
win.Add("Opacity", 0.75);
root.Add("Window", win);
root.Add("Title", "Main view");
cf.Write(path, root);

var back = cf.Read(path);
Test.Check(back.Root == path, "Root is the file name: " + back.Root);
Test.Check(back("Window")("Size")("cx") == 240 && back("window")("size")("CY") == 320, "named values by name");
Test.Check(back("Window").Info.Class == "Frame" && back("Window").Root == "Window", "class name and section name");
Test.Check(back("Title")(1) == "Main view" && back("Window")("Opacity")(1) == 0.75, "plain values became records");

back("Window")("Size").Item("cx") = 100;
back("Window").Add("Extra", "added");
cf.Write(path, back);
var again = cf.Read(path);
Test.Check(again("Window")("Size")("cx") == 100 && again("Window")("Extra")(1) == "added", "changes were written");

function errorOf(f) {
  try { f(); } catch (e) { return e.description; }
  return "no error";
}
Test.Check(errorOf(function () { cf.Write(path, cf.CreateRecord()); }) ==
           "Object is not a section. Only sections can be saved directly.", "a record cannot be written");
Test.Check(errorOf(function () { cf.Write(path, fs); }) == "Not a Orvanta VariantDictionary collection",
           "an object that is no dictionary");
Test.Check(errorOf(function () { cf.Write(path, null); }) == "NULL configuration pointer", "null collection");
Test.Check(cf.Read(path)("Window")("Size")("cx") == 100, "failed writes left the file alone");
Test.Check(errorOf(function () { cf.ErrorMode = 16; }) == "Invalid error mode" && cf.ErrorMode == 0,
           "error mode range");
Test.Check(errorOf(function () { cf.Read("T:\\scripts\\no-such.cfg"); }) == "Failed to read file", "missing file");

cf.PreserveStringsWide = 1;
cf.ErrorMode = 1;
Test.Check(errorOf(function () { cf.Write(path, back); }) == "Unsupported feature requested from the text file driver",
           "error mode 1 refuses wide strings in a text file");
cf.ErrorMode = 2;
cf.Write(path, back);
Test.Check(cf.Read(path)("Title")(1) == "Main view", "error mode 2 writes strings plainly");

// The registry.
var branch = "Software\\OrvantaTest\\ConfigFileJs";
cf.WriteToRegistry(1, branch, back);
var reg = cf.ReadFromRegistry(1, branch);
Test.Check(reg.Info.Class == branch, "the branch is the result's class");
Test.Check(reg("Title")(1) == "Main view" && reg("Window")("Size")(1) == 320, "a record keeps its last value");
Test.Check(errorOf(function () { cf.ReadFromRegistry(1, "Software\\OrvantaTest\\Missing"); }) ==
           "Failed to open the registry branch specified", "a missing branch");

// A binary stream, wide strings included.
var s = fs.CreateMemoryStream();
cf.WriteToBinaryStream(s, back);
s.Pos = 0;
var fromStream = cf.ReadFromBinaryStream(s);
Test.Check(fromStream("Title")(1) == "Main view" && fromStream("Window")("Size")("cy") == 320, "stream round trip");
Test.Check(errorOf(function () { cf.ReadFromBinaryStream(cf); }) == "Parameter is not a stream or not initialized.",
           "a non-stream object");
