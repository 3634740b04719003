' Folder storages and file streams as a VBScript writer uses them: default flags, bare
' names with flag 8, and a file written through an SFStream and read back.
Option Explicit
Dim fs, d, f, s, root
Set fs = CreateObject("Orvanta.utilctls.SFMain")
root = "T:\scripts\dirstorage-vbs"
On Error Resume Next
fs.DeleteFolder root, 1
On Error GoTo 0

Set d = CreateObject("Orvanta.binsrv.DirStorage")
Test.Check d.CreateDirectory(root) = 1, "folder created"
Test.Check d.CreateDirectory(root) = 1, "an existing folder is opened"
Test.Check d.Path = root, "path: " & d.Path
Test.Check d.OpenDirectory("") = 0, "an empty path is refused"
Test.Check d.OpenDirectory(root & "\missing") = 0, "a missing folder is refused"

Set f = CreateObject("Orvanta.binsrv.FileStream")
Test.Check f.CreateFile(root & "\data.bin", &H12) = 1, "file created"
Set s = CreateObject("Orvanta.utilctls.Stream")
s.SetStream f
s.WriteText "abc"
Test.Check s.Size = 3, "three bytes written"
s.Size = 1
Test.Check s.Size = 1, "cut to one byte"
f.Close
Test.Check f.OpenFile(root & "\data.bin", &H4) = 0, "access 0 with no sharing bits is refused"
Test.Check f.OpenFile(root & "\data.bin", &H20) = 1, "read, deny write"
s.SetStream f
s.Pos = 0
Test.Check s.ReadText(-2) = "a", "the cut file"
f.Close
Set s = Nothing

' Flag 8: a bare name lives in the program's folder.
Test.Check f.CreateFile("dirstorage-vbs.tmp", &H4000018) = 1, "bare name with flag 8, deleted on release"
Test.Check fs.FileExists("T:\bin\dirstorage-vbs.tmp") = 1, "in the program's folder"
f.Close
Test.Check fs.FileExists("T:\bin\dirstorage-vbs.tmp") = 0, "gone when closed"

d.Close
Test.Check d.Path = "", "closed"
fs.DeleteFolder root, 1
Test.Check fs.FolderExists(root) = 0, "scratch folder removed"
