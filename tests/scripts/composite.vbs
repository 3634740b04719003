' A composite assembled in VBScript: a plain object and a script manager behind one
' object, invoke kinds, and script errors with the component's name.
Set vd = CreateObject("Orvanta.utilctls.VaryDisp")
vd.ContextName = "Ctx"
Set d = CreateObject("Orvanta.utilctls.VarDictionary")
d.Add "a", 1
Set sm = CreateObject("Orvanta.Scphost.ScpMan2")
sm.LoadEngine "JScript"
sm.AddText "function twice(x) { return 2 * x; } function siblings() { return Ctx.Count; } function boom() { throw new Error('boom here'); }"
sm.Run
Test.Check vd.AddObject("Dict", d) = 1 And vd.AddObject("Js", sm) = 2, "identifiers"
vd.AddMember "Size", "Dict", "Count", 2
vd.AddMember "Twice", 2, "twice"
vd.AddMember "Siblings", "Js", "siblings"
vd.AddMember "Boom", "Js", "boom"
Set o = vd.theObject
Test.Check o.Size = 1, "a get-only member read as a property"
Test.Check o.Twice(21) = 42, "a script member"
Test.Check o.Siblings() = 2, "the script sees the context"
On Error Resume Next
o.Boom
Test.Check Err.Source = "Composite VaryDisp error in component Js", "the source names the component: " & Err.Source
Err.Clear
vd.ContextName = "Other"
Test.Check Err.Number <> 0, "the context name is fixed once components exist"
Err.Clear
On Error GoTo 0
vd.RemoveObject "Dict"
Test.Check vd.ObjectCount = 1 And vd.MemberCount = 3 And vd.ObjectID(1) = 2, "removing a component takes its members"
