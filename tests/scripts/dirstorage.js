// Folder storages and file streams as a JScript writer uses them: folders created and
// opened, their paths, files opened and created, a file stream read and written through
// an SFStream, and the failures answered with 0.
var fs = new ActiveXObject("Orvanta.utilctls.SFMain");
var root = "T:\\scripts\\dirstorage-js";
try { fs.DeleteFolder(root, 1); } catch (e) {}

var d = new ActiveXObject("Orvanta.binsrv.DirStorage");
Test.Check(d.Path == "", "a new folder storage is closed");
Test.Check(d.OpenDirectory(root) == 0, "a missing folder is not opened");
Test.Check(d.CreateDirectory(root) == 1 && d.Path == root, "created: " + d.Path);
Test.Check(d.CreateDirectory(root + "\\a\\b") == 0, "only one level is created");
Test.Check(d.OpenDirectory(root, 0x1000) == 0, "opening refuses the create bit");
Test.Check(d.Path == root, "a failed open keeps the folder: " + d.Path);
var twin = new ActiveXObject("Orvanta.binsrv.DirStorage.free");
Test.Check(twin.CreateDirectory(root + "/sub") == 1 && twin.Path == root + "\\sub", "the twin, with a slash: " + twin.Path);
Test.Check(fs.FolderExists(root + "\\sub") == 1, "the folder is there");

var f = new ActiveXObject("Orvanta.binsrv.FileStream");
Test.Check(f.OpenFile(root + "\\note.txt") == 0, "a missing file is not opened");
Test.Check(f.CreateFile(root + "\\note.txt") == 1, "file created");
var s = new ActiveXObject("Orvanta.utilctls.Stream");
s.SetStream(f);
s.WriteText("first", 1);
s.WriteText("second");
s.Pos = 0;
Test.Check(s.ReadText(-1) == "first" && s.ReadText(-1) == "second", "lines through SFStream");
Test.Check(s.Stats().name == "note.txt" && s.Stats().Size == 13, "the stat record names the file: " + s.Stats().name + " " + s.Stats().Size);
Test.Check(f.OpenFile(root + "\\note.txt", 2) == 0, "no sharing bits");
f.Close();
try { s.Size; Test.Check(false, "a closed file stream has no size"); } catch (e) { Test.Check(true, ""); }
Test.Check(f.OpenFile(root + "\\note.txt", 0x40) == 1, "opened read-only, shared");
var g = new ActiveXObject("Orvanta.binsrv.FileStream.free");
Test.Check(g.OpenFile(root + "\\note.txt", 0x40) == 1, "a second reader");
s.SetStream(g);
Test.Check(s.ReadText() == "first\r\nsecond", "the second reader reads from the start");
f.Close();
g.Close();

d.Close();
Test.Check(d.Path == "", "closed");
fs.DeleteFolder(root, 1);
Test.Check(fs.FolderExists(root) == 0, "scratch folder removed");
