' VarDictionary as a VBScript writer sees it.
Option Explicit
Dim d, k, s, inner, copy, copied, found, ok
Set d = CreateObject("orvanta.utilctls.VarDictionary")
Test.Check d.Add("one", 1) = 1, "Add returns the position"
Test.Check d.Add("ONE", 2) = -1, "a duplicate name is refused"
d.Add "two", 2
Test.Check d("one") = 1 And d.Item("TWO") = 2 And d(2) = 2, "default member by name and position"
Test.Check IsEmpty(d("none")) And IsEmpty(d(3)), "a missing item is empty"

On Error Resume Next
d("one") = 10
Test.Check Err.Description = "Assignment is not allowed - see itemsAssignmentAllowed property", "assignment needs the flag: " & Err.Description
Err.Clear
On Error GoTo 0
d.itemsAssignmentAllowed = True
Test.Check d.itemsAssignmentAllowed = 1, "flags read as 1"
d("one") = 10
d.Item("three") = 3
Test.Check d("one") = 10 And d.Key(3) = "three", "assignment replaces or appends"

s = ""
For Each k In d
  s = s & k & "=" & d(k) & ";"
Next
Test.Check s = "one=10;two=2;three=3;", "For Each over keys: " & s
d.enumItems = 1
s = ""
For Each k In d
  s = s & k & ";"
Next
Test.Check s = "10;2;3;", "For Each over items: " & s

Set inner = CreateObject("orvanta.utilctls.VarDictionary")
inner.Add "leaf", "green"
inner.itemsAssignmentAllowed = 1
d.Add "inner", inner
Test.Check d("inner")("leaf") = "green", "nested lookup"
Set copy = d.Clone()
Set copied = copy("inner")
copied("leaf") = "copied"
Test.Check inner("leaf") = "green", "Clone copies nested dictionaries"
Set found = d.FindByValue("leaf", "green")
Test.Check found.Count = 1, "FindByValue finds the holder"
Test.Check found(1)("leaf") = "green", "the hit is the nested dictionary"

' By-reference arguments: a variable holding a number is a position.
k = 2
Test.Check d(k) = 2, "a numeric variable is a position"
k = "two"
Test.Check d(k) = 2, "a text variable is a name"

d.Add "s", "text"
On Error Resume Next
d.Key "nothing"
ok = (Err.Description = "Key not found")
Err.Clear
d.readOnly = True
d.Remove "one"
ok = ok And (Err.Number = &H80042799) And (Err.Description = "Object is in read-only mode.")
Err.Clear
d.ClearEx 0, 8
ok = ok And (Err.Number = 0)
On Error GoTo 0
Test.Check ok, "errors carry their texts and ids; ClearEx works while read-only"
Test.Check d.Count = 4 And IsEmpty(d("s")), "ClearEx removed the strings only"
d.readOnly = False
Test.Check d.Remove("one"), "Remove answers True-ish"
Test.Check d.Count = 3 And d.Key(1) = "two", "removed"
