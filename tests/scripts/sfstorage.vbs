' Compound files as a VBScript writer uses them: a storage tree, streams written and read
' back, elements copied and moved between files and into a folder, the contents walked
' with For Each.
Option Explicit
Dim fs, path, other, stg, s, sub1, copy, k, names, n, ok
Set fs = CreateObject("Orvanta.utilctls.SFMain")
path = "T:\scripts\sfstorage-vbs.stg"
other = "T:\scripts\sfstorage-vbs-copy.stg"

Set stg = fs.CreateStorageFile(path, 18 Or &H1000)
Set sub1 = stg.CreateStorage("Reports")
sub1.CreateStream("jan").WriteText "january", 1
' The path goes through "Reports", which sub1 holds open.
Set s = stg.CreateSubStream("Reports\feb")
s.WriteText "february"
Set s = Nothing
Set sub1 = Nothing
Set stg = Nothing

Set stg = fs.OpenStorageFile(path)
Set s = stg.OpenSubStream("Reports/jan")
Test.Check s.ReadText(-1) = "january", "jan read back"
Set s = Nothing
Test.Check stg.OpenStorage("Reports").name = "Reports", "storage name"

Set copy = fs.CreateStorageFile(other, 18 Or &H1000)
ok = stg.CopyElementTo("Reports", copy, "")
Test.Check ok = 1, "CopyElementTo answers 1"
ok = stg.MoveElementTo("Reports", copy, "Moved")
Test.Check ok = 1 And stg.SubItemExists("Reports") = 0, "MoveElementTo removes the source"
Test.Check copy.OpenSubStream("Moved\feb").ReadText(-2) = "february", "moved stream read"

names = ""
n = 0
For Each k In copy.contents
  names = names & k & ";"
  n = n + 1
Next
Test.Check n = 2, "two elements after copy and move: " & names
Test.Check copy.contents("Reports").Type = 1, "contents item is an SFInfo"
Test.Check copy.GetSubItemInfo("Moved/jan").Size = 9, "jan with its line end"
Test.Check stg.Revert() = 1, "Revert answers 1"

' A compound file copied into a folder: storages become folders, streams files.
Dim folder, folderPath
folderPath = "T:\scripts\sfstorage-vbs-folder"
Set folder = fs.CreateDirectory(folderPath)
Test.Check copy.CopyTo(folder) = 1, "CopyTo a folder answers 1"
Test.Check fs.FileExists(folderPath & "\Moved\feb") = 1, "the stream is a file now"
Test.Check folder.SubItemExists("Reports/jan") = 1 And folder.SubItemExists("Moved") = -1, "files and folders"
Set folder = Nothing
fs.DeleteFolder folderPath, True

Set copy = Nothing
Set stg = Nothing
fs.DeleteFile path
fs.DeleteFile other
Test.Check fs.Exists(path) = 0 And fs.Exists(other) = 0, "files removed"
