// SFStream beside the platform's Scripting.FileSystemObject, from JScript, in one run, over
// one file of 400,000 lines of 50 characters (20.8 MB):
//   line loop:  while (!s.EOS) s.ReadText(-1)   beside   while (!ts.AtEndOfStream) ts.ReadLine()
//               (the file opened so that others may read, and so that others may also write)
//   search:     s.Find(text in the last line)    beside   s.ReadText(-2) of the same file
// (Wine's TextStream.ReadAll takes tens of seconds on this file, so the whole-file read is
// compared with the native read in bench_sfstream.exe instead.)
//   tools/winerun --tree build/win cscript.exe //nologo T:/bench/sfstream.js
var LINES = 400000;
var PATH = "T:\\bench\\sfstream-lines.txt";
var sf = new ActiveXObject("Orvanta.utilctls.SFMain");
var fso = new ActiveXObject("Scripting.FileSystemObject");

function now() { return new Date().getTime(); }

function pad(n, width) {
  var t = "" + n;
  while (t.length < width) t = "0" + t;
  return t;
}

// Lines of exactly 50 characters; the last one carries the search target.
function makeFile() {
  var filler = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  var s = sf.CreateFile(PATH);
  var chunk = [];
  for (var i = 0; i < LINES; i++) {
    var text = i == LINES - 1 ? "needle in the last line" : "line " + pad(i, 7) + " ";
    chunk.push(text + filler.substr(0, 50 - text.length));
    if (chunk.length == 1000) {
      s.WriteText(chunk.join("\r\n") + "\r\n");
      chunk = [];
    }
  }
  if (chunk.length) s.WriteText(chunk.join("\r\n") + "\r\n");
  s.Close();
}

// mode 0x20: read, others may read; 0x40: read, others may also write (a log being written)
function oursLines(mode) {
  var s = sf.OpenFile(PATH, mode);
  var n = 0, last = "";
  var t0 = now();
  while (!s.EOS) { last = s.ReadText(-1); n++; }
  var t = now() - t0;
  s.Close();
  if (n != LINES || last.length != 50) throw new Error("SFStream: " + n + " lines, last '" + last + "'");
  return t;
}

function theirsLines() {
  var ts = fso.OpenTextFile(PATH, 1);
  var n = 0, last = "";
  var t0 = now();
  while (!ts.AtEndOfStream) { last = ts.ReadLine(); n++; }
  var t = now() - t0;
  ts.Close();
  if (n != LINES || last.length != 50) throw new Error("FSO: " + n + " lines");
  return t;
}

function oursAll() {
  var s = sf.OpenFile(PATH, 0x20);
  s.maxTextBuff = 64 * 1024 * 1024;
  var t0 = now();
  var text = s.ReadText(-2);
  var t = now() - t0;
  s.Close();
  if (text.length != LINES * 52) throw new Error("SFStream: " + text.length + " characters");
  return t;
}

function oursFind() {
  var s = sf.OpenFile(PATH, 0x20);
  var t0 = now();
  var at = s.Find("needle in the last");
  var t = now() - t0;
  s.Close();
  if (at != (LINES - 1) * 52) throw new Error("Find: " + at);
  return t;
}

function best(f, runs) {
  var b = -1;
  for (var i = 0; i < runs; i++) {
    var t = f();
    if (b < 0 || t < b) b = t;
  }
  return b;
}

function ratio(a, b) { return b > 0 ? (a / b).toFixed(2) + "x" : "n/a"; }

makeFile();
oursAll();  // warm the file cache
var lines = best(function () { return oursLines(0x20); }, 3);
var sharedLines = best(function () { return oursLines(0x40); }, 3);
var fsoLines = best(theirsLines, 3);
var all = best(oursAll, 3);
var find = best(oursFind, 3);
fso.DeleteFile(PATH);

WScript.Echo("400,000 lines of 50 characters (20.8 MB), from JScript, best of 3");
WScript.Echo("line loop  SFStream ReadText(-1), others may read " + lines + " ms, FSO ReadLine " + fsoLines + " ms, ratio " + ratio(lines, fsoLines));
WScript.Echo("line loop  SFStream ReadText(-1), others may write " + sharedLines + " ms, FSO ReadLine " + fsoLines + " ms, ratio " + ratio(sharedLines, fsoLines));
WScript.Echo("search     SFStream Find near the end " + find + " ms, ReadText(-2) " + all + " ms, ratio " + ratio(find, all));
