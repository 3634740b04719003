// VarDictionary beside the platform's Scripting.Dictionary, from JScript, in one run:
// 100,000 Add("key"+i, i), then 100,000 Item("key"+i), on each.
//   tools/winerun --tree build/win cscript.exe //nologo T:/bench/vardictionary.js
var N = 100000;

function run(progId) {
  var d = new ActiveXObject(progId);
  var t0 = new Date().getTime();
  for (var i = 0; i < N; i++) d.Add("key" + i, i);
  var t1 = new Date().getTime();
  var sum = 0;
  for (var i = 0; i < N; i++) sum += d.Item("key" + i);
  var t2 = new Date().getTime();
  if (sum != N * (N - 1) / 2) throw new Error(progId + ": wrong sum " + sum);
  return {add: t1 - t0, item: t2 - t1, total: t2 - t0};
}

function line(name, r) {
  return name + ": Add " + r.add + " ms, Item " + r.item + " ms, total " + r.total + " ms";
}

// A short warm-up of both, then the measured runs.
N = 2000; run("orvanta.utilctls.VarDictionary"); run("Scripting.Dictionary"); N = 100000;
var ours = run("orvanta.utilctls.VarDictionary");
var theirs = run("Scripting.Dictionary");
WScript.Echo("100,000 Add then 100,000 Item from JScript");
WScript.Echo(line("VarDictionary       ", ours));
WScript.Echo(line("Scripting.Dictionary", theirs));
WScript.Echo("ratio (ours / theirs): " + (ours.total / theirs.total).toFixed(2) + "x" +
             "  (Add " + (ours.add / theirs.add).toFixed(2) + "x, Item " + (ours.item / theirs.item).toFixed(2) + "x)");
