// ConfigFile.Read of a text file of 200 sections x 100 records x 3 values beside a
// JScript loop building the same dictionaries with CreateSection, CreateRecord and Add;
// and ReadFromBinaryStream of the same tree beside Read. One run, figures side by side.
//   tools/winerun --tree build/win cscript.exe //nologo T:/bench/configfile.js
var SECTIONS = 200, RECORDS = 100;
var cf = new ActiveXObject("Orvanta.utilctls.ConfigFile");
var fs = new ActiveXObject("Orvanta.utilctls.SFMain");
var path = "T:\\bench\\configfile-bench.cfg";

function build() {
  var root = cf.CreateSection();
  for (var s = 0; s < SECTIONS; s++) {
    var section = cf.CreateSection();
    for (var r = 0; r < RECORDS; r++) {
      var record = cf.CreateRecord();
      record.Add("count", r);
      record.Add("title", "record " + r + " of section " + s);
      record.Add("scale", r / 8);
      section.Add("Record" + r, record);
    }
    root.Add("Section" + s, section);
  }
  return root;
}

function time(f) {
  var t0 = new Date().getTime();
  var result = f();
  return {ms: new Date().getTime() - t0, result: result};
}

function best(f, runs) {
  var b = null;
  for (var i = 0; i < runs; i++) {
    var t = time(f);
    if (b === null || t.ms < b.ms) b = t;
  }
  return b;
}

var loop = best(build, 2);
cf.Write(path, loop.result);
var read = best(function () { return cf.Read(path); }, 3);
if (read.result("Section199")("Record99")("count") != 99) throw new Error("Read gave a wrong tree");

var stream = fs.CreateMemoryStream();
cf.WriteToBinaryStream(stream, read.result);
var binary = best(function () { stream.Pos = 0; return cf.ReadFromBinaryStream(stream); }, 3);
if (binary.result("Section199")("Record99")("title") != "record 99 of section 199") throw new Error("binary tree wrong");

function ms(t) { return (t.ms < 1 ? "<1" : t.ms) + " ms"; }
WScript.Echo("200 sections x 100 records x 3 values, from JScript (best of runs)");
WScript.Echo("JScript loop (CreateSection, CreateRecord, Add): " + ms(loop));
WScript.Echo("ConfigFile.Read of the text file:                " + ms(read) +
             "   speed-up " + (loop.ms / Math.max(read.ms, 1)).toFixed(1) + "x (target 20x)");
WScript.Echo("ConfigFile.ReadFromBinaryStream:                 " + ms(binary) +
             "   binary / text " + (binary.ms / Math.max(read.ms, 1)).toFixed(2) + " (target <= 1)");
