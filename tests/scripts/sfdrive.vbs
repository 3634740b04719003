' Drives as a VBScript user sees them: For Each over the list, the test's own drive by
' its root, its facts, GetDrive by letter and path, and the error for a missing drive.
Option Explicit
Dim fs, drives, d, count, t, text, e
Set fs = CreateObject("Orvanta.utilctls.SFMain")
Set drives = fs.Drives
count = 0
For Each d In drives
  count = count + 1
  Test.Check drives.Key(count) = d.DriveLetter & ":\", "item " & count & " is keyed by its root: " & drives.Key(count)
Next
Test.Check count = drives.Count And count >= 1, "one item per drive: " & count

Set t = drives("T:\")
Test.Check t.DriveLetter = "T", "the test drive is listed under its root"
Test.Check VarType(t.VolumeName) = vbString And VarType(t.FileSystem) = vbString, "volume name and file system are texts"
Test.Check Len(t.SerialNumber) = 8, "serial number in eight digits: " & t.SerialNumber
Test.Check VarType(t.FreeSpace) = vbDouble And t.FreeSpace > 0, "free space: " & t.FreeSpace
Test.Check t.TotalSize >= t.FreeSpace, "total size at least the free space"

Test.Check fs.GetDrive("t").DriveLetter = "T", "GetDrive by letter"
Test.Check fs.GetDrive("T:\scripts\sfdrive.vbs").DriveLetter = "T", "GetDrive by path"

On Error Resume Next
Set d = fs.GetDrive("Q:")
e = Err.Number
text = Err.Description
On Error GoTo 0
Test.Check e <> 0 And text = "Operation failed", "a missing drive fails: " & text
