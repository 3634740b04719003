// Walk a folder tree into a compound file.
//   kestrunc samples/archive.js [folder archive.stg]
// Copies every file and subfolder of a folder into one compound file (a file that holds
// storages and streams, as folders hold folders and files), then lists the archive.
// Without parameters it builds a small demo folder next to itself, archives it, and
// deletes both at the end.
var fs = Host.CreateObject("Orvanta.utilctls.SFMain");
var here = Host.RuntimeParameter("ScriptPath");
var demo = Host.ParameterCount(false) < 2;
var source = demo ? here + "archive-demo" : Host.Parameter(1);
var target = demo ? here + "archive-demo.stg" : Host.Parameter(2);

// Writes one small text file through a storage (a folder opened as an SFStorage).
function writeFile(storage, name, text) {
  var s = storage.CreateStream(name);
  s.WriteText(text);
  s.Close();
}

if (demo) {
  var top = fs.CreateDirectory(source);
  writeFile(top, "readme.txt", "Archived by archive.js\r\n");
  var docs = top.CreateStorage("docs");
  writeFile(docs, "a.txt", "first\r\n");
  writeFile(docs, "b.txt", "second, a little longer\r\n");
  docs.Close();
  top.Close();
}

// The names of a storage's elements, sorted (folders list in no fixed order).
function names(storage) {
  var list = [], items = storage.contents;
  for (var k = 1; k <= items.Count; k++) list.push(items.Key(k));
  return list.sort();
}

// Copies the elements of one storage into another, descending into substorages.
// contents.Item(k).Type is 1 for a storage (folder) and 2 for a stream (file).
var files = 0, bytes = 0;
function copyTree(from, to) {
  var items = from.contents;
  var list = names(from);
  for (var i = 0; i < list.length; i++) {
    var name = list[i];
    if (items.Item(name).Type == 1) {
      var inner = from.OpenStorage(name), copy = to.CreateStorage(name);
      copyTree(inner, copy);
      inner.Close();
      copy.Close();
    } else {
      var src = from.OpenStream(name), dst = to.CreateStream(name);
      bytes += src.CopyTo(dst, src.Size);
      files++;
      src.Close();
      dst.Close();
    }
  }
}

var folder = fs.OpenDirectory(source);
var archive = fs.CreateStorageFile(target, 0x1012);   // create, read/write, exclusive
copyTree(folder, archive);
folder.Close();
archive.Commit();
Host.WriteLine("Archived " + files + " files, " + bytes + " bytes");

// List the archive: every element with its size, indented by depth.
function list(storage, indent) {
  var items = storage.contents, all = names(storage);
  for (var i = 0; i < all.length; i++) {
    var item = items.Item(all[i]);
    if (item.Type == 1) {
      Host.WriteLine(indent + all[i] + "\\");
      var inner = storage.OpenStorage(all[i]);
      list(inner, indent + "  ");
      inner.Close();
    } else {
      Host.WriteLine(indent + all[i] + " (" + item.Size + " bytes)");
    }
  }
}
list(archive, "  ");
archive.Close();

if (demo) {
  fs.DeleteFolder(source, true);
  fs.DeleteFile(target);
}
