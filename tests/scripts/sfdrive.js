// Drives as a JScript user sees them: the list keyed by roots, the drive of the test's
// own folder (T: under the test prefix) and its facts, GetDrive by letter, "X:", root or
// path, and the root opened as a folder storage. Sizes depend on the machine: only their
// kind and sign are checked.
var fs = new ActiveXObject("Orvanta.utilctls.SFMain");
var drives = fs.Drives;
var roots = [];
for (var e = new Enumerator(drives); !e.atEnd(); e.moveNext()) roots.push(e.item().DriveLetter + ":\\");
Test.Check(drives.Count >= 1 && drives.Count == roots.length, "one item per drive: " + roots.join(","));
Test.Check(drives.Key(1) == roots[0], "keys are the roots: " + drives.Key(1));

var t = drives("T:\\");
Test.Check(t.DriveLetter == "T", "the test drive is listed under its root");
Test.Check(typeof t.VolumeName == "string" && typeof t.FileSystem == "string", "volume name and file system are texts");
Test.Check(/^[0-9A-F]{8}$/.test(t.SerialNumber), "serial number in eight hex digits: " + t.SerialNumber);
Test.Check(typeof t.FreeSpace == "number" && t.FreeSpace > 0, "free space: " + t.FreeSpace);
Test.Check(t.TotalSize >= t.FreeSpace, "total size at least the free space: " + t.TotalSize);
Test.Check(t.DriveType == 3 || t.DriveType == 4 || t.DriveType == 2, "a fixed, remote or removable drive: " + t.DriveType);

var forms = ["t", "T:", "T:\\", "T:\\scripts\\no-such-file.txt", "T:/scripts"];
for (var i = 0; i < forms.length; i++)
  Test.Check(fs.GetDrive(forms[i]).DriveLetter == "T", "GetDrive(" + forms[i] + ")");
Test.Check(fs.GetDriveName("T:\\scripts\\x.txt") == "T:", "GetDriveName gives the drive part");

var forms = ["", "Q", "Q:\\"];  // no text, and drives the test prefix does not have
for (var i = 0; i < forms.length; i++) {
  var text = "";
  try { fs.GetDrive(forms[i]); } catch (err) { text = err.description; }
  Test.Check(text == "Operation failed", "GetDrive(" + forms[i] + ") fails: " + text);
}

// The root as a folder storage: the build tree's folders are elements of type 1.
var root = t.Open(0x10);
var list = root.contents;
Test.Check(list("scripts").Type == 1 && list("bin").Type == 1, "the root lists its folders");
