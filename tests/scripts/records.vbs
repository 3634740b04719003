' Records and binary data as a VBScript writer uses them, byte arrays included: a header
' built with SFBinaryData and written with WriteBin, records behind it, a walk back and an
' update in place. (Wine's VBScript cannot index byte arrays; the checks read them back
' through SFBinaryData.)
Option Explicit
Dim fs, path, s, bd, bytes, rec, filter, ok, n, seen, e, back

Set fs = CreateObject("Orvanta.utilctls.SFMain")
path = "T:\scripts\records-vbs.bin"

Set bd = CreateObject("Orvanta.utilctls.SFBinaryData")
bd.Size = 12
bd.String(0, 4) = "RECS"
bd.Unit(4, 3) = 2
bd.UnicodeString(8, 2) = "ok"
bytes = bd.Value
Test.Check VarType(bytes) = 8209, "Value is a byte array"
Test.Check VarType(bd.Data(0, 3)) = 8209, "Data slice is a byte array"

Set s = fs.CreateFile(path)
n = s.WriteBin(bytes)
Test.Check n = 12, "header written: " & n

Set rec = CreateObject("Orvanta.utilctls.SFRecord")
rec.AddField "id", 3
rec.AddField "name", 8, 6
rec.AddField "flag", 11
Set filter = CreateObject("Orvanta.utilctls.SFFilter")
filter.StreamBegin = 12
filter.unicodeText = 0
filter.ByteOrder = 1
rec.BindTo s, filter
Test.Check filter.buffSize = 12, "record size in code-page mode: " & filter.buffSize
rec.Field("id").Value = 1
rec.Field("name").Value = "first"
rec.Field("flag").Value = True
ok = rec.Write()
rec.Field("id").Value = 2
rec.Field("name").Value = "second one"
rec.Field("flag").Value = False
ok = rec.Write()
Test.Check s.Size = 36 And rec.RecordCount = 2, "two records behind the header: " & s.Size

seen = ""
ok = rec.MoveFirst()
Do While ok
  seen = seen & rec.Field(1).Value & ":" & rec.Field(2).Value & ":" & rec.Field(3).Value & ";"
  ok = rec.MoveNext()
Loop
Test.Check seen = "1:first:True;2:second:False;", "walked back: " & seen

ok = rec.MoveFirst()
rec.Field("id").Value = 100
ok = rec.Update()
Test.Check CBool(ok) And s.Pos = 12, "Update stays at the record: " & s.Pos

' The header and the big-endian id, read back as bytes.
s.Pos = 0
Set back = CreateObject("Orvanta.utilctls.SFBinaryData")
back.Value = s.ReadBin(16)
Test.Check back.Size = 16 And back.String(0, 4) = "RECS", "header text: " & back.String(0, 4)
Test.Check back.UnicodeString(8, 2) = "ok" And back.Unit(4, 3) = 2, "header units"
back.ByteOrder = 1
Test.Check back.Unit(12, 3) = 100, "the updated id is stored big-endian: " & back.Unit(12, 3)
back.Data(12, 15) = bd.Data(4, 7)
Test.Check back.Unit(12, 3) = &H2000000 And back.Size = 16, "Data put copies a slice: " & back.Unit(12, 3)

On Error Resume Next
back.Value = "not bytes"
e = Err.Description
Err.Clear
On Error GoTo 0
Test.Check e = "Safe array of VT_UI1 expected", "Value needs a byte array: " & e
On Error Resume Next
rec.Add 5
e = Err.Description
Err.Clear
On Error GoTo 0
Test.Check e = "Not a field object.", "Add needs a field: " & e
s.Close
