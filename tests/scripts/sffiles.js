// The everyday file operation in kestrunc: create SFMain through Host, write a file,
// open it and read it line by line in a code page; failures arrive as script errors.
var fs = Host.CreateObject("Orvanta.utilctls.SFMain");
var folder = Host.RuntimeParameter("scriptpath");
var path = folder + "sffiles.txt";

var out = fs.CreateFile(path);
out.codePage = 65001;
out.WriteText("Z\u00fcrich", 1);
out.WriteText("Gen\u00e8ve", 1);
out.Close();
checkEqual(fs.FileExists(path), 1, "the file exists");

var f = fs.OpenFile(path, 0x40);
f.codePage = 65001;
checkEqual(f.ReadText(-1), "Z\u00fcrich", "first line in UTF-8");
checkEqual(f.Pos, 9, "position after the first line's bytes");
checkEqual(f.ReadText(-1), "Gen\u00e8ve", "second line");
checkEqual(f.EOS, 1, "at the end");
f.Close();

var e = checkThrows(function () { fs.OpenFile(folder + "missing\\x.txt", 18 | 0x1000); }, "create in a missing folder");
checkEqual(e && e.description, "Operation failed", "reported as failed");
e = checkThrows(function () { fs.CreateMemoryStream().ReadText(0); }, "ReadText(0)");
checkEqual(e && (e.number >>> 0).toString(16), "8004277e", "ReadText(0) error number");
fs.DeleteFile(path);
checkEqual(fs.Exists(path), 0, "deleted");
