' Files and streams as a VBScript writer uses them, byte arrays included. (Wine's
' VBScript has no ChrW, UBound or LenB on byte arrays; the suite avoids them.)
Option Explicit
Dim fs, path, s, bytes, m, n, line, count, e
Set fs = CreateObject("Orvanta.utilctls.SFMain")
path = "T:\scripts\sfstream-vbs.txt"

Set s = fs.CreateFile(path)
s.WriteText "alpha", 1
s.WriteText "beta", 1
s.Pos = 0
bytes = s.ReadBin(5)
' Wine's VBScript holds byte arrays (VarType 8209) but cannot index them.
Test.Check VarType(bytes) = 8209, "ReadBin gives a byte array"
Test.Check s.Pos = 5, "position after ReadBin"
s.Pos = s.Size
n = s.WriteBin(bytes)
Test.Check n = 5 And s.Size = 18, "WriteBin appends the array: " & s.Size
s.Pos = 0
count = 0
Do While s.EOS = 0
  line = s.ReadText(-1)
  count = count + 1
Loop
Test.Check count = 3 And line = "alpha", "three lines, the last one is the copy: " & line
Set s = Nothing

Set s = fs.OpenFile(path, &H40)
Test.Check s.ReadText(5) = "alpha", "counted read"
Test.Check s.Find("b" & "eta", 2) = 11, "Find after the match"
s.Pos = 0
Test.Check s.Find(CByte(98)) = 7 And s.Pos = 7, "Find a byte"
s.Close

On Error Resume Next
Set s = fs.OpenFile(path, 2)
e = Err.Number
On Error GoTo 0
Test.Check e = &H800300FF, "no sharing bits: STG_E_INVALIDFLAG " & Hex(e)

Set m = fs.CreateMemoryStream()
On Error Resume Next
n = m.WriteBin("not bytes")
Test.Check Err.Description = "Safe array of VT_UI1 expected", "WriteBin needs a byte array: " & Err.Description
Err.Clear
bytes = m.ReadBin(-1)
Test.Check Err.Description = "Negative size specified.", "ReadBin(-1): " & Err.Description
Err.Clear
On Error GoTo 0
bytes = m.ReadBin(0)
Test.Check IsEmpty(bytes), "ReadBin at the end is empty"
m.codePage = 1252
m.WriteText "caf" & Chr(233), 0
m.Pos = 0
bytes = m.ReadBin(10)
Test.Check m.Size = 4, "code page 1252 writes one byte a character"
m.Pos = 0
Test.Check m.ReadText(-2) = "caf" & Chr(233), "and reads it back"
On Error Resume Next
m.codePage = 1253
m.WriteText "x" & Chr(233), 0
Test.Check Err.Number = &H8004278E, "unrepresentable text is refused: " & Hex(Err.Number)
Err.Clear
On Error GoTo 0
Test.Check m.Size = 4, "nothing was written"
fs.DeleteFile path
