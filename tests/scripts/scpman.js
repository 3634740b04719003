// ScpMan as a JScript program sees it: the collection, a second manager running
// VBScript, managers calling each other's scripts, errors and the frozen collection.
var m = new ActiveXObject("Orvanta.Scphost.ScpMan2");
Test.Check(m.versionString == "1.3, Orvanta ScriptHost", "versionString");
Test.Check(m.Add("Test", Test) == 1, "Add gives the position");
Test.Check(m.Add("TEST", 1) == 0, "a name is taken ignoring case");
Test.Check(m.AddEx("Num", 5, 2) == 2, "AddEx gives the position");
Test.Check(m.Count == 2 && m.Count() == 2, "Count as property and as call");
Test.Check(m.Item(2) == 5 && m("Num") == 5, "Item by position and by name");
Test.Check(m.Item(3) === undefined, "Item beyond the end is empty");
Test.Check(m.Key(1) == "Test" && m.Key(9) === "", "Key");
Test.Check(m.Option("Num") == 2 && m.Option("Test") == 0, "Option");
var names = [];
for (var e = new Enumerator(m); !e.atEnd(); e.moveNext()) names.push(e.item());
Test.Check(names.join(",") == "Test,Num", "enumerating the names: " + names.join(","));
Test.Check(m.Remove("num") == true && m.Count == 1, "Remove");
Test.Check(m.lastError == "(no source reported),,(Line:0, Char:0, Context:0),", "empty lastError");

var failed = false;
try { m.Run(); } catch (err) { failed = true; }
Test.Check(failed, "Run without an engine fails");
Test.Check(m.LoadEngine("NoSuchLanguage") == false, "unknown language");

// The second manager runs VBScript and reaches the Test object through its own item.
Test.Check(m.LoadEngine("VBScript") == true, "LoadEngine VBScript");
Test.Check(m.LoadEngine("VBScript") == false, "a second LoadEngine needs Close");
Test.Check(m.AddText("Function Twice(a)\nTwice = a * 2\nEnd Function\nTest.Check True, \"inner VBScript runs\"") == true, "AddText");
Test.Check(m.Run() == true && m.locked == 1, "Run locks the collection");
Test.Check(m.Clear() === undefined && m.Count == 1, "Clear does nothing while locked");
Test.Check(m.Eval("Twice(21)") == 42, "Eval");
Test.Check(m.script.Twice(4) == 8, "calling through script");
Test.Check(m.IsDefined("Twice") == true && m.IsDefined("Thrice") == false, "IsDefined");
Test.Check(m.AddTextEx("Dim fromEx : fromEx = 3", 10, 7) == true && m.Eval("fromEx") == 3, "AddTextEx");

// A JScript manager sees the VBScript one's globals by bare name and through the item.
var j = new ActiveXObject("Orvanta.Scphost.ScpMan2");
j.AddEx("VB", m, 4);
j.AddEx("VBGlobals", m, 3);
Test.Check(j.LoadEngine("JScript") == true, "LoadEngine JScript");
j.AddText("function viaItem() { return VB.Twice(3); }\nfunction viaGlobal() { return Twice(5); }");
Test.Check(j.Run() == true, "Run JScript: " + j.lastError);
Test.Check(j.Eval("viaItem()") == 6, "through the item name");
Test.Check(j.Eval("viaGlobal()") == 10, "by bare name");
// And back, added while the VBScript manager runs.
Test.Check(m.AddEx("JS", j, 4) == 2, "added to a running manager");
Test.Check(m.Eval("JS.viaGlobal() + 1") == 11, "VBScript calls JScript");

// A script error: the flag is false and the record describes it.
Test.Check(m.AddText("Err.Raise 5, \"Src\", \"Desc\"") == false, "AddText of failing code");
Test.Check(m.lastError == "Source:Src,Desc,(Line:0, Char:0, Context:0),", "lastError: " + m.lastError);
var d = m.lastErrorEx;
Test.Check(d.Count == 6 && d.Item("Source") == "Src" && d.Item("Description") == "Desc" && d.Item("Line") == 0, "lastErrorEx");
Test.Check(m.lastErrorEx !== d, "a new dictionary each time");

// Wine's engines cannot clone themselves; a manager without engine can.
failed = false;
try { m.Clone(); } catch (err) { failed = true; }
Test.Check(failed, "Clone of a running Wine engine fails");
var bare = new ActiveXObject("Orvanta.Scphost.ScpMan2");
bare.Add("x", 1);
var copy = bare.Clone();
Test.Check(copy.Count == 1 && copy.Item("x") == 1 && copy.locked == 0, "Clone copies the items");

// VBScript leaves the started state: the first Stop keeps the lock, the second frees it.
m.Stop();
Test.Check(m.locked == 1, "first Stop keeps the lock");
m.Stop();
Test.Check(m.locked == 0 && m.Remove("JS") == true, "second Stop unlocks");
failed = false;
try { m.scriptObject; } catch (err) { failed = true; }
Test.Check(failed, "scriptObject is not implemented");

m.Close();
j.Close();
Test.Check(m.locked == 0 && m.Count == 1, "Close keeps the items");
m.Clear();
j.Clear();
