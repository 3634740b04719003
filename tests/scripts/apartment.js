// The same work in the host's multithreaded apartment and with -sta (the first script
// parameter names the mode): platform and library objects of both threading models,
// created, called and released, and a file written and read back.
var mode = Host.Parameter(1);
var peer = new ActiveXObject("Scripting.Dictionary");
var ours = Host.CreateObject("orvanta.utilctls.VarDictionary");
var twin = Host.CreateObject("orvanta.utilctls.VarDictionary.free");
for (var i = 0; i < 50; i++) { peer.Add("k" + i, i); ours.Add("k" + i, i); twin.Add("k" + i, i); }
checkEqual(peer.Item("k49") + ours.Item("k49") + twin.Item("k49"), 147, mode + ": items of all three");

var fs = Host.CreateObject("Orvanta.utilctls.SFMain");
var path = Host.RuntimeParameter("scriptpath") + "apartment-" + mode + ".txt";
var out = fs.CreateFile(path);
out.WriteText(mode, 1);
out.Close();
checkEqual(fs.OpenFile(path, 0x40).ReadText(-1), mode, mode + ": file read back");
fs.DeleteFile(path);
