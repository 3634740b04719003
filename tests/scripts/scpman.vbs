' ScpMan as a VBScript program sees it: a second manager running JScript, managers
' calling each other's scripts, and the error record.
Set m = CreateObject("Orvanta.Scphost.ScpMan2")
Test.Check m.Add("Test", Test) = 1, "Add gives the position"
Test.Check m.AddEx("Num", 5) = 2, "AddEx with its default option"
Test.Check m.Count = 2 And m(2) = 5 And m.Item("num") = 5, "Count and Item"
Test.Check m.Key(1) = "Test" And m.Option("Num") = 0, "Key and Option"
names = ""
For Each n In m
  names = names & n & ","
Next
Test.Check names = "Test,Num,", "For Each over the names: " & names
Test.Check m.Remove(2), "Remove by position"
Test.Check Not m.Remove(2), "nothing left at 2"

Test.Check m.LoadEngine("JScript"), "LoadEngine JScript"
Test.Check m.AddText("function twice(a) { Test.Check(true, 'inner JScript runs'); return a * 2; }"), "AddText"
Test.Check m.Run(), "Run"
Test.Check m.locked = 1, "locked after Run"
Test.Check m.Eval("twice(21)") = 42, "Eval"
Test.Check m.script.twice(4) = 8, "calling through script"
Test.Check m.IsDefined("twice") And Not m.IsDefined("thrice"), "IsDefined"

' A VBScript manager sees the JScript one's globals.
Set v = CreateObject("Orvanta.Scphost.ScpMan2")
v.AddEx "JS", m, 4
v.AddEx "JSGlobals", m, 3
Test.Check v.LoadEngine("VBScript"), "LoadEngine VBScript"
v.AddText "Function ViaItem()" & vbLf & "ViaItem = JS.twice(3)" & vbLf & "End Function" & vbLf & _
          "Function ViaGlobal()" & vbLf & "ViaGlobal = twice(5)" & vbLf & "End Function"
Test.Check v.Run(), "Run VBScript: " & v.lastError
Test.Check v.Eval("ViaItem()") = 6, "through the item name"
Test.Check v.Eval("ViaGlobal()") = 10, "by bare name"
Test.Check m.AddEx("VB", v, 3) = 2, "added to a running manager"
Test.Check m.Eval("ViaItem() + 1") = 7, "JScript calls VBScript by bare name"

' Errors.
Test.Check Not m.AddText("throw new Error('bad thing');"), "AddText of failing code"
Test.Check InStr(m.lastError, ",bad thing,(Line:0, Char:") > 0, "lastError: " & m.lastError
Set d = m.lastErrorEx
Test.Check d.Count = 6 And d("Description") = "bad thing", "lastErrorEx"
Test.Check IsEmpty(d("SourceLine")), "no source line"
On Error Resume Next
x = m.Eval("no_such_name")
Test.Check Err.Number <> 0, "Eval of an unknown name raises"
Err.Clear
On Error GoTo 0

v.Stop
v.Stop
Test.Check v.locked = 0, "two Stops unlock"
m.Close
v.Close
Test.Check m.locked = 0 And m.Count = 2, "Close keeps the items"
m.Clear
v.Clear
Test.Check m.Count = 0, "Clear after Close"
