// The same CPU-bound JScript loop run as two COMScriptThreads at once, beside running it
// twice in sequence on the main thread, in one run. The script threads run at normal
// priority like the main thread (their default is -2); the machine is shared, so both
// take turns over three rounds and the best round of each counts.
//   tools/winerun --tree build/win cscript.exe //nologo T:/bench/threads.js
var N = 3000000;
var code = "function work() { var s = 0; for (var i = 0; i < " + N + "; i++) s += i % 7; return s; }";
eval(code);

function now() { return new Date().getTime(); }

function sequential() {
  var t0 = now();
  var a = work(), b = work();
  if (a != b) throw new Error("sequential: results differ");
  return now() - t0;
}

function parallel() {
  var one = new ActiveXObject("Orvanta.utilctls.COMScriptThread");
  var two = new ActiveXObject("Orvanta.utilctls.COMScriptThread");
  one.Priority = 0;
  two.Priority = 0;
  if (!one.Start("JScript", code, 60000) || !two.Start("JScript", code, 60000))
    throw new Error("cannot start: " + one.lastError + two.lastError);
  var t0 = now();
  one.Execute("work");
  two.Execute("work");
  if (!one.Wait(600000) || !two.Wait(600000)) throw new Error("the threads did not finish");
  var t = now() - t0;
  if (one.Result != two.Result || one.Result != work()) throw new Error("parallel: wrong result");
  one.Stop();
  two.Stop();
  return t;
}

var seq = 1e9, par = 1e9;
for (var round = 0; round < 3; round++) {
  seq = Math.min(seq, sequential());
  par = Math.min(par, parallel());
}
WScript.Echo("JScript loop of " + N + " steps, twice");
WScript.Echo("sequential on the main thread:  " + seq + " ms");
WScript.Echo("two COMScriptThreads at once:   " + par + " ms");
WScript.Echo("ratio (threads / sequential):   " + (par / seq).toFixed(2) + "x");
