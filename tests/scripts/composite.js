// A composite from a definition file, as a JScript program uses one: its VBScript and
// JScript components call each other through the context, the class is registered per
// machine and created by ProgID, here and from a second script.
var def = "T:\\scripts\\composite-parts\\composite.def";
var creator = new ActiveXObject("Orvanta.utilctls.VaryDispCreator");
var c = creator.CreateObject(def);
Test.Check(c.Add(2, 3) == 5, "a VBScript member");
Test.Check(c.Describe(2, 3) == "2+3=5", "JScript calling VBScript through the context");
Test.Check(c.Shout("hi") == "<HI>", "VBScript calling JScript through the context");
var failed = null;
try { c.Ghost(); } catch (e) { failed = e; }
Test.Check(failed != null, "members of a skipped component are not added");
failed = null;
try { c.Fail(); } catch (e) { failed = e; }
Test.Check(failed != null && /calc failed on purpose/.test(failed.description),
           "a script error reaches the caller: " + (failed && failed.description));

// With bCtl the builder comes back, and its composite is the loaded one.
var vd = creator.CreateObject(def, true);
Test.Check(vd.ObjectCount == 2 && vd.MemberCount == 4 && vd.ContextName == "Ctx", "the builder");
Test.Check(vd.theObject.Add(1, 1) == 2, "through theObject");

// Registered per machine, the class is made by ProgID; the file is read at each creation.
creator.RegisterClass(def);
var made = new ActiveXObject("OrvantaTest.Composite");
Test.Check(made.Describe(1, 2) == "1+2=3", "created by ProgID");
var second = new ActiveXObject("Orvanta.Scphost.ScpMan2");
second.Add("Test", Test);
second.LoadEngine("VBScript");
second.AddText("Set o = CreateObject(\"OrvantaTest.Composite\")\nTest.Check o.Add(20, 22) = 42, \"created by ProgID from VBScript\"");
Test.Check(second.Run() == true, "the second script ran: " + second.lastError);
second.Close();
creator.UnRegisterClass(def);
failed = false;
try { new ActiveXObject("OrvantaTest.Composite"); } catch (e) { failed = true; }
Test.Check(failed, "gone after UnRegisterClass");

// The object creator's composite routes: a definition file by name, a stream as definition.
var vc = new ActiveXObject("Orvanta.utilctls.VessaCreator");
Test.Check(vc.CreateObject(def).Add(1, 2) == 3, "a definition file through the object creator");
var cf = new ActiveXObject("Orvanta.utilctls.ConfigFile");
var s = new ActiveXObject("Orvanta.utilctls.SFMain").CreateMemoryStream();
cf.WriteToBinaryStream(s, cf.Read("T:\\scripts\\composite-parts\\inline.def"));
s.Pos = 0;
Test.Check(vc.CreateObject(s).Add(2, 2) == 4, "a stream through the object creator");
s.Pos = 0;
Test.Check(creator.CreateObject(s, false, 4).Add(3, 3) == 6, "a stream through the creator");

// Bad definitions are refused with the loader's message and nothing is registered.
failed = null;
try { creator.CreateObject("T:\\scripts\\composite-parts\\missing.def"); } catch (e) { failed = e; }
Test.Check(failed != null && failed.number == (0x80040000 | 10139), "a missing definition: " + (failed && failed.number));
failed = null;
try { creator.RegisterClass("composite.def"); } catch (e) { failed = e; }
Test.Check(failed != null && failed.description == "Full path to a file is required.", "a relative path");
