// Read and rewrite a configuration file.
//   kestrunc samples/settings.js [file.cfg]
// A program keeps its settings in a text configuration file. This sample writes a
// starting file (when none is given), reads it, counts the program's starts, changes
// one setting, adds a section, and writes the file back. Without a parameter it works on
// settings-demo.cfg next to itself and deletes it at the end.
var cf = Host.CreateObject("Orvanta.utilctls.ConfigFile");
var fs = Host.CreateObject("Orvanta.utilctls.SFMain");
var demo = Host.ParameterCount(false) == 0;
var path = demo ? Host.RuntimeParameter("ScriptPath") + "settings-demo.cfg" : Host.Parameter(1);

// 1. A starting file. CreateSection gives a section (it holds records and sections),
//    CreateRecord a record (it holds values). A plain value added to a section becomes
//    a record of that name with one value.
if (demo) {
  var start = cf.CreateSection();
  start.Add("Title", "Orvanta notes");
  start.Add("Starts", 0);
  var win = cf.CreateSection();
  var size = cf.CreateRecord();
  size.Add("cx", 640);
  size.Add("cy", 480);
  win.Add("Size", size);
  start.Add("Window", win);
  cf.Write(path, start);
}

// 2. Read it. Items are found by name, ignoring case; a record used without an index
//    (or with index 1) gives its first value.
var cfg = cf.Read(path);
Host.WriteLine("Title: " + cfg("Title")(1));
Host.WriteLine("Window: " + cfg("Window")("Size")("cx") + " x " + cfg("Window")("Size")("cy"));

// 3. Change it. Records and sections read from a file allow assignment.
var starts = cfg("Starts");
starts.Item(1) = starts(1) + 1;
cfg("Window")("Size").Item("cx") = 800;
if (cfg("Recent") === undefined) {   // a missing item reads as empty
  var recent = cf.CreateSection();
  recent.Add("File", "T:\\notes\\today.txt");
  cfg.Add("Recent", recent);
}

// 4. Write it back and show what the file now holds.
cf.Write(path, cfg);
var text = fs.OpenFile(path, 0x40);     // read only, others may read and write
text.codePage = 65001;                // the file is UTF-8
Host.Write(text.ReadText(-2));
text.Close();
if (demo) fs.DeleteFile(path);
