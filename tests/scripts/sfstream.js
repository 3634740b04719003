// Files and streams as a JScript writer uses them: open, write lines, read them back.
var fs = new ActiveXObject("Orvanta.utilctls.SFMain");
var path = "T:\\scripts\\sfstream-js.txt";

var out = fs.CreateFile(path);
out.WriteText("first line", 1);
out.WriteText("second line", 1);
out.WriteText("tail");
Test.Check(out.Size == 29, "size after three writes: " + out.Size);
out.Close();

var f = fs.OpenFile(path, 0x40);
Test.Check(f.ReadText(-1) == "first line", "first line");
Test.Check(f.Pos == 12, "position after the separator: " + f.Pos);
Test.Check(f.ReadText(-1) == "second line", "second line");
Test.Check(f.EOS == 0, "not at the end yet");
Test.Check(f.ReadText(-1) == "tail", "last line without separator");
Test.Check(f.EOS == 1 && f.ReadText(-1) == "", "empty at the end");
f.Pos = 0;
Test.Check(f.ReadText() == "first line\r\nsecond line\r\ntail", "ReadText() reads the rest");
f.Pos = 0;
Test.Check(f.Find("second") == 12 && f.Pos == 12, "Find leaves the position at the match");
Test.Check(f.Find("nothing", 1) == -1 && f.Pos == 12, "Find with flag 1 restores the position");
var info = f.Stats();
Test.Check(info.Type == 2 && info.Size == 29 && info.valid == 1, "Stats describes the file");

var failed = false;
try { fs.OpenFile(path, 0x40).WriteText("x"); } catch (e) { failed = true; }
Test.Check(failed, "a read-only stream refuses writes");
try { fs.OpenFile("T:\\scripts\\no-such-file.txt"); } catch (e) { failed = e.number; }
Test.Check(failed == -2147287038, "missing file: STG_E_FILENOTFOUND, got " + failed);
f.Close();
try { f.ReadText(-1); failed = ""; } catch (e) { failed = e.description; }
Test.Check(failed == "Object closed or not initialized correctly.", "closed stream: " + failed);

// Memory streams, separators and Unicode text.
var m = fs.CreateMemoryStream();
m.textLineSeparator = ";";
m.unicodeText = 1;
m.WriteText("a;b;;c");
m.Pos = 0;
var parts = [];
while (!m.EOS) parts.push(m.ReadText(-1));
Test.Check(parts.join("|") == "a|b||c", "lines by a custom separator: " + parts.join("|"));
Test.Check(m.Size == 12, "UTF-16 text takes two bytes a character");
var target = fs.CreateMemoryStream();
m.Pos = 2;
Test.Check(m.CopyTo(target, -1) == 10, "CopyTo copies the rest");
target.unicodeText = 1;
target.Pos = 0;
Test.Check(target.ReadText(-2) == ";b;;c", "copied text");
var c = new ActiveXObject("Orvanta.utilctls.SFStream");
Test.Check(c.elementType == 0, "a new stream is closed");
fs.DeleteFile(path);
Test.Check(fs.FileExists(path) == 0, "file deleted");
