// Compound files as a JScript writer uses them: streams by path, text written and read
// back after the file is opened again, the contents listed.
var fs = new ActiveXObject("Orvanta.utilctls.SFMain");
var path = "T:\\scripts\\sfstorage-js.stg";

var stg = fs.CreateStorageFile(path, 18 | 0x1000);
var notes = stg.CreateSubStream("docs/2024\\notes");
notes.WriteText("first line", 1);
notes.WriteText("second line");
stg.CreateStream("readme").WriteText("hello");
stg.classID = "{0C1A8E6B-7E3A-4F55-9B1E-2D6C7F0A1B2C}";
// A compound file opens each element once at a time: the open stream is not opened a
// second time, but its path is found and described while it is open.
var failed = "";
try { stg.OpenSubStream("docs/2024/notes"); } catch (e) { failed = (e.number >>> 0).toString(16); }
Test.Check(failed == "80030005", "an open stream is not opened twice: " + failed);
Test.Check(stg.SubItemExists("docs") == -1, "docs is a storage");
Test.Check(stg.SubItemExists("docs/2024/notes") == 1, "notes is a stream");
Test.Check(stg.SubItemExists("docs/nothing") == 0, "nothing is there");
Test.Check(stg.GetSubItemInfo("docs/2024/notes").Size == 23, "the open stream's size");
notes.Close();
stg = null;
CollectGarbage();

stg = fs.OpenStorageFile(path);
Test.Check(stg.classID == "{0C1A8E6B-7E3A-4F55-9B1E-2D6C7F0A1B2C}", "class id kept: " + stg.classID);
var s = stg.OpenSubStream("/docs/2024/notes");
Test.Check(s.ReadText(-1) == "first line", "first line back");
Test.Check(s.ReadText(-1) == "second line", "second line back");
Test.Check(s.EOS == 1, "at the end");
s.Close();
var info = stg.GetSubItemInfo("docs\\2024\\notes");
Test.Check(info.Type == 2 && info.Size == 23 && info.name == "notes", "notes described: " + info.name + " " + info.Size);

// contents: one SFInfo per element, by name.
var list = stg.contents;
var names = [];
for (var e = new Enumerator(list); !e.atEnd(); e.moveNext()) names.push(e.item());
names.sort();
Test.Check(names.join(",") == "docs,readme", "contents names: " + names.join(","));
Test.Check(list("docs").Type == 1 && list("readme").Type == 2 && list("readme").Size == 5, "contents types and sizes");
Test.Check(list.Count == 2, "two elements");

// Errors reach the script with their texts.
try { stg.classID = "Orvanta.utilctls.SFMain"; } catch (e) { failed = e.description; }
Test.Check(failed == "The string does not represent CLSID.", "a ProgID is no class id: " + failed);
try { stg.CopyTo(fs.CreateMemoryStream()); failed = ""; } catch (e) { failed = e.description; }
Test.Check(failed == "Passed parameter is not a SFStorage object.", "copy into a stream: " + failed);
stg.Close();
try { stg.contents; failed = ""; } catch (e) { failed = e.description; }
Test.Check(failed == "Object closed or not initialized correctly.", "closed: " + failed);
try { fs.CreateStorageFile("T:\\scripts\\no\\such\\dir\\x.stg"); failed = ""; } catch (e) { failed = e.description; }
Test.Check(failed == "Failed to open or create OLE storage file.", "missing folder: " + failed);
fs.DeleteFile(path);
