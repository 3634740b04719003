// Apartment-model and free-threaded classes called from a kestrunc script, once in the
// host's multithreaded apartment and once with -sta (tools/bench runs both; the first
// script parameter names the mode). A class whose threading model differs from the
// host thread's apartment lives on a thread of its own and is reached through a proxy.
//   kestrunc -nohelp T:/bench/host/apartments.js mta
//   kestrunc -nohelp -sta T:/bench/host/apartments.js sta
var N = 5000;

function addLoop(progId) {
  var d = new ActiveXObject(progId);
  var t0 = new Date().getTime();
  for (var i = 0; i < N; i++) d.Add("key" + i, i);
  var t = new Date().getTime() - t0;
  if (d.Count != N) throw new Error(progId + ": " + d.Count + " items");
  return t;
}

var mode = Host.Parameter(1);
var peer = addLoop("Scripting.Dictionary");             // threading model Apartment
var ours = addLoop("orvanta.utilctls.VarDictionary");   // Apartment
var twin = addLoop("orvanta.utilctls.VarDictionary.free");  // Free
Host.WriteLine(mode + ": 5,000 Add  Scripting.Dictionary " + peer + " ms, VarDictionary " + ours +
               " ms, VarDictionary.free " + twin + " ms");
