// Count the lines of a set of files on two script threads.
//   kestrunc samples/threads.js [folder]
// A script can hand work to further scripts that run on threads of their own
// (COMScriptThread) and go on meanwhile. This sample lists the files of a folder, gives
// every other file to one of two workers, lets both count lines at the same time, and
// joins their results. Without a parameter it writes a few demo files into the folder
// threads-demo next to itself and deletes that folder at the end.
var fs = Host.CreateObject("Orvanta.utilctls.SFMain");
var demo = Host.ParameterCount(false) == 0;
var folder = demo ? Host.RuntimeParameter("ScriptPath") + "threads-demo" : Host.Parameter(1);
if (folder.charAt(folder.length - 1) != "\\") folder += "\\";

// 1. The demo files: file N holds N * 3 lines.
if (demo) {
  fs.CreateDirectory(folder).Close();
  for (var n = 1; n <= 5; n++) {
    var file = fs.CreateFile(folder + "part" + n + ".txt");
    for (var line = 1; line <= n * 3; line++)
      file.WriteText("line " + line + " of part " + n + "\r\n");
    file.Close();
  }
}

// 2. The files of the folder, in name order. A folder opened as a storage lists its
//    files (streams, Type 2) and sub-folders (storages, Type 1) in `contents`.
var dir = fs.OpenDirectory(folder);
var items = dir.contents;
var names = [];
for (var k = 1; k <= items.Count; k++)
  if (items.Item(k).Type != 1) names.push(items.Key(k));
dir.Close();
names.sort();

// 3. The workers' script. It runs on the worker's thread, in a script manager of its
//    own, and has no Host object: it sees its input and leaves its output in the
//    dictionary "Context" (the owner's worker.Value), and makes objects through
//    "Creator". Its global code runs at Start; CountLines runs at each Execute. Only
//    plain values (numbers, texts) cross between the threads.
var workerScript =
  "var fs = Creator.CreateObject('SFMain');\n" +
  "function CountLines() {\n" +
  "  var folder = Context.Item('folder'), files = Context.Item('files').split('|');\n" +
  "  var total = 0;\n" +
  "  for (var i = 0; i < files.length; i++) {\n" +
  "    var stream = fs.OpenFile(folder + files[i], 0x40), lines = 0;\n" +
  "    while (!stream.EOS) { stream.ReadText(-1); lines++; }\n" +
  "    stream.Close();\n" +
  "    Context.Add('lines ' + files[i], lines);\n" +
  "    total += lines;\n" +
  "  }\n" +
  "  return total;\n" +
  "}\n";

// 4. Two workers, each with every other file. Start waits (up to 10 s) until the global
//    code ran; Execute only starts CountLines and returns at once.
var workers = [];
for (var w = 0; w < 2; w++) {
  var share = [];
  for (var f = w; f < names.length; f += 2) share.push(names[f]);
  var worker = Host.CreateObject("Orvanta.utilctls.COMScriptThread");
  worker.Value.Add("folder", folder);
  worker.Value.Add("files", share.join("|"));
  if (!worker.Start("JScript", workerScript, 10000))
    throw new Error("worker " + (w + 1) + " did not start: " + worker.lastError);
  worker.Execute("CountLines");
  workers.push({ thread: worker, files: share });
}
Host.WriteLine("Two workers count the lines of " + names.length + " files.");

// 5. Join: wait for each worker (up to 60 s), check it succeeded, and collect its
//    per-file counts from its dictionary.
var total = 0;
for (var w = 0; w < workers.length; w++) {
  var worker = workers[w].thread;
  if (!worker.Wait(60000) || !worker.Success)
    throw new Error("worker " + (w + 1) + " failed: " + worker.lastError);
  Host.WriteLine("Worker " + (w + 1) + " counted " + worker.Result + " lines in " +
                 workers[w].files.join(", "));
  for (var f = 0; f < workers[w].files.length; f++)
    Host.WriteLine("  " + workers[w].files[f] + ": " + worker.Value.Item("lines " + workers[w].files[f]));
  total += worker.Result;
  worker.Stop();
}
Host.WriteLine("All files: " + total + " lines.");

if (demo) fs.DeleteFolder(folder);
