// ScpAggregate as a JScript program uses it: one program in JScript and VBScript whose
// functions call each other by bare name, common items, and the current error.
var a = new ActiveXObject("Orvanta.utilctls.ScpAggregate");
Test.Check(a.versionString == "1.3, Orvanta ScriptAggregate", "versionString");
Test.Check(a.lastError == "ERROR INFORMATION NOT AVAILABLE", "no error yet");
a.Add("Test", Test);
var rates = new ActiveXObject("Orvanta.utilctls.VarDictionary");
rates.Add("normal", 3);
a.Add("Rates", rates);
Test.Check(a.AddEngine("JScript") == true && a.AddEngine("VBScript") == true, "two languages");
a.AddText("JScript", "function price(n) { return n * Rates.Item('normal'); }\nfunction quote(n) { return 'costs ' + withTax(n); }");
a.AddText("VBScript", "Function withTax(n)\nwithTax = price(n) + 1\nEnd Function");
Test.Check(a.Run() == true, "Run: " + a.lastError);
Test.Check(a.script("JScript").quote(2) == "costs 7", "JScript calls VBScript, which calls JScript");
Test.Check(a.script("VBScript").withTax(1) == 4 && a.script().price(1) == 3, "script by language and the first one");
Test.Check(a.WhereIsDefined("withTax", 1) == "VBScript" && a.WhereIsDefined("price") == 1, "WhereIsDefined");
Test.Check(a.AddText("VBScript", "Function (") == false && a.errorHost == 2, "a compile error points at VBScript");
Test.Check(/VBScript/.test(a.lastError), "lastError is the VBScript manager's: " + a.lastError);
var failed = null;
try { a.script("Perl"); } catch (e) { failed = e; }
Test.Check(failed != null && failed.description == "Scripting engine not found for the specified language.", "unknown language");
a.Close();
Test.Check(a.Count == 2 && a.AddEngine("VBScript") == true, "after Close the items stay and languages can be added");
