// Calls through a composite beside the same calls made directly, from a kestrunc script,
// once in the host's multithreaded apartment and once with -sta (tools/bench runs both;
// the first script parameter names the mode):
//   a member forwarding to a plain object's member    beside  obj.Item(key)
//   a member forwarding to a script function          beside  sm.script.f(x)
//   kestrunc -nohelp T:/bench/host/composites.js mta
//   kestrunc -nohelp -sta T:/bench/host/composites.js sta
var N = 200000;
var mode = Host.Parameter(1) || "mta";

// The plain object is one that lives in the caller's apartment in either mode, so that
// both sides measure calls, not a proxy.
var dict = new ActiveXObject(mode == "sta" ? "Orvanta.utilctls.VarDictionary" : "Orvanta.utilctls.VarDictionary.free");
dict.Add("k", 1);
var sm = new ActiveXObject("Orvanta.Scphost.ScpMan2");
sm.LoadEngine("JScript");
sm.AddText("function f(x) { return x + 1; }");
sm.Run();

var vd = new ActiveXObject("Orvanta.utilctls.VaryDisp");
vd.AddObject("Dict", dict);
vd.AddObject("Js", sm);
vd.AddMember("Get", "Dict", "Item");
vd.AddMember("F", "Js", "f");
var c = vd.theObject;

function time(body) {
  var t0 = new Date().getTime();
  body();
  return new Date().getTime() - t0;
}
function plainDirect() { var s = 0; for (var i = 0; i < N; i++) s += dict.Item("k"); if (s != N) throw new Error("sum"); }
function plainComposite() { var s = 0; for (var i = 0; i < N; i++) s += c.Get("k"); if (s != N) throw new Error("sum"); }
function scriptDirect() { var s = 0; for (var i = 0; i < N; i++) s += sm.script.f(i); }
function scriptComposite() { var s = 0; for (var i = 0; i < N; i++) s += c.F(i); }

// A short warm-up, then the measured runs, each pair side by side.
var keep = N; N = 1000; plainDirect(); plainComposite(); scriptDirect(); scriptComposite(); N = keep;
var pd = time(plainDirect), pc = time(plainComposite);
var sd = time(scriptDirect), sc = time(scriptComposite);
Host.WriteLine(mode + ": " + N + " calls  plain object: direct " + pd + " ms, through the composite " + pc +
               " ms (" + (pc / pd).toFixed(2) + "x)  script function: sm.script.f " + sd +
               " ms, through the composite " + sc + " ms (" + (sc / sd).toFixed(2) + "x)");
sm.Close();
