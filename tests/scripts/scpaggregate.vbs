' ScpAggregate as a VBScript program uses it: a VBScript half and a JScript half of one
' program, run orders, and a language added while the program runs.
Set a = CreateObject("Orvanta.utilctls.ScpAggregate")
a.Add "Test", Test
a.AddEngine "VBScript"
a.AddEngine "JScript"
a.AddText "VBScript", "Dim started" & vbLf & "started = started & ""vb""" & vbLf & _
          "Function Greeting(name)" & vbLf & "Greeting = Decorate(""Hello, "" & name)" & vbLf & "End Function"
a.AddText "JScript", "function Decorate(s) { return '[' + s + ']'; }"
Test.Check a.Run(-1), "Run from the last language"
Test.Check a.script("VBScript").Greeting("you") = "[Hello, you]", "VBScript calls JScript"
Test.Check a.IsDefined("Decorate") And Not a.IsDefined("Nothing"), "IsDefined"
Test.Check a.Connect(), "Connect"
a.Stop
Test.Check a.AddEngine("JScript"), "a language already there"
a.Close
Test.Check a.AddEngine("JScript"), "JScript again after Close"
a.AddText "JScript", "function twice(x) { return 2 * x; }"
a.Run
Test.Check a.script(1).twice(4) = 8, "the new program runs alone"
a.Close
