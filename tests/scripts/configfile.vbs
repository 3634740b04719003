' ConfigFile as a VBScript writer uses it: a configuration with numbers of every size,
' binary data and unsigned values, through a text file, the registry and a stream.
Option Explicit
Dim cf, fs, path, root, rec, back, s, e, reg
Set cf = CreateObject("Orvanta.utilctls.ConfigFile")
Set fs = CreateObject("Orvanta.utilctls.SFMain")
path = "T:\scripts\configfile-vbs.cfg"

Set root = cf.CreateSection()
Set rec = cf.CreateRecord()
rec.Add "small", CInt(-2)
rec.Add "big", CLng(100000)
rec.Add "money", CCur(1.5)
rec.Add "ratio", CDbl(0.25)
rec.Add "byte", CByte(200)
root.Add "Numbers", rec
root.Add "Name", "value"
cf.Write path, root

Set back = cf.Read(path)
Test.Check back("Numbers")("small") = -2 And back("Numbers")("big") = 100000, "integers read back"
Test.Check VarType(back("Numbers")("money")) = vbCurrency And back("Numbers")("money") = 1.5, _
  "currency travels as int64: " & back("Numbers")("money")
Test.Check back("Numbers")("ratio") = 0.25 And back("Name")(1) = "value", "double and string"
Test.Check VarType(back("Numbers")("byte")) = vbLong And back("Numbers")("byte") = 200, "a byte reads as int"

' Unsigned values keep their type through a stream when asked to.
cf.PreserveUnsignedInt = True
Set s = fs.CreateMemoryStream()
cf.WriteToBinaryStream s, root
s.Pos = 0
Set back = cf.ReadFromBinaryStream(s)
Test.Check VarType(back("Numbers")("byte")) = 19, "uint as VT_UI4 with PreserveUnsignedInt: " & VarType(back("Numbers")("byte"))
cf.PreserveUnsignedInt = False

' A date cannot be saved, and nothing is written then.
root.Add "When", Now
On Error Resume Next
cf.Write path, root
e = Err.Description
On Error GoTo 0
Test.Check e = "Cannot save a value (probably unsavable type)", "a date is unsavable: " & e
Set back = cf.Read(path)
Test.Check back.Count = 2, "the file was not touched"

' The registry keeps int64 and binary values.
Set root = cf.CreateSection()
Set rec = cf.CreateRecord()
rec.Add Empty, CCur(3)
root.Add "Money", rec
root.Add "Blob", s.ReadBin(0)
cf.WriteToRegistry 1, "Software\OrvantaTest\ConfigFileVbs", root
Set reg = cf.ReadFromRegistry(1, "Software\OrvantaTest\ConfigFileVbs")
Test.Check reg("Money")(1) = 3 And VarType(reg("Money")(1)) = vbCurrency, "int64 through the registry"
Test.Check reg.Count = 1, "an empty byte array writes nothing: " & reg.Count
