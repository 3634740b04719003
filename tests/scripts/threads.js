// Threads as a JScript writer uses them in kestrunc: a slow call run in the background
// and polled, a script thread that fills the shared dictionary, and a named event that
// signals between the two scripts. Every wait is bounded.
var creator = Host.CreateObject("Orvanta.utilctls.VessaCreator");

// A call in the background: Wait on an event blocks the worker until the event is set.
var gate = creator.CreateObject("Event");
gate.Create(true, false);
var worker = creator.CreateObject("comthread");
checkEqual(worker.Priority, -2, "priority before Activate");
worker.Timeout = 5000;
worker.Activate();
checkEqual(worker.Active, 1, "the worker runs");
worker.Execute(gate, "Wait");
checkEqual(worker.Busy, 1, "busy while the call waits");
var e = checkThrows(function () { worker.Execute(gate, "Wait"); }, "a second call while busy fails");
checkEqual(e && e.description, "Thread is busy.", "busy text");
checkEqual(worker.Wait(50), 0, "Wait times out while the call runs");
gate.Set();
checkEqual(worker.Wait(5000), 1, "the call ends once the event is set");
checkEqual(worker.Success, 1, "the call succeeded");
checkEqual(worker.Result, 1, "Wait returned 1 on the worker");
worker.Execute(gate, "NoSuchMember");
worker.Wait(5000);
checkEqual(worker.Success, 0, "an unknown member fails");
checkEqual(worker.Result, undefined, "and leaves the result empty");
worker.Deactivate();
checkEqual(worker.Active, 0, "deactivated");
e = checkThrows(function () { worker.Deactivate(); }, "Deactivate without a thread");
checkEqual(e && e.description, "Thread is not active, start it first.", "inactive text");

// A script thread that fills the shared dictionary and answers routines by name.
var name = "OrvantaThreadsJs" + new Date().getTime();
var st = creator.CreateObject("COMScriptThread");
var code =
  "Context.Add('greeting', 'hello');\n" +
  "function fill() { for (var i = 1; i <= 5; i++) Context.Add('n' + i, i * i); return Context.Count; }\n" +
  "function signal() { var ev = Creator.CreateObject('Event'); ev.Create(true, false, Context.Item('eventName')); ev.Set(); return 7; }\n" +
  "function dict() { var d = Creator.CreateObject('VarDictionary'); d.Root = 'root value'; return d; }\n";
checkEqual(st.Start("JScript", code, 10000), 1, "Start runs the global code: " + st.lastError);
checkEqual(st.Value("greeting"), "hello", "the global code wrote the shared dictionary");
checkEqual(st.Execute("fill"), 1, "Execute starts a routine");
checkEqual(st.Wait(10000), 1, "the routine ends");
checkEqual(st.Result, 6, "its result crosses back");
checkEqual(st.Value("n5"), 25, "the routine filled the dictionary");
st.Execute("dict");
st.Wait(10000);
checkEqual(st.Result, "root value", "an object result is reduced to its default value");
checkEqual(st.Start("JScript", "1;"), 0, "a second Start is refused");
checkEqual(st.lastError, "The thread is running.", "with its text");

// A named event shared by name between the two threads.
var mine = creator.CreateObject("Event");
mine.Create(true, false, name);
st.Value.Add("eventName", name);
checkEqual(mine.IsSet, 0, "not set yet");
st.Execute("signal");
checkEqual(mine.Wait(10000), 1, "the script thread set the event by its name");
st.Wait(10000);
checkEqual(st.Result, 7, "signal returned: " + st.lastError);
st.Stop();
checkEqual(st.Active, 0, "stopped");
checkEqual(st.Execute("fill"), 0, "Execute after Stop fails");
checkEqual(st.lastError, "Thread is not active, start it first.", "with its text");

// A script with a syntax error: Start without a wait says true; the error shows later.
checkEqual(st.Start("JScript", "function ("), 1, "Start without a wait");
checkEqual(st.Wait(10000), 1, "the thread ends");
checkEqual(st.Active, 0, "no thread after the error");
check(st.lastError != "", "lastError holds the engine's message");

// The apartment hands out a creator made on its thread.
var apt = creator.CreateObject("COMApartmentFreeThreaded");
checkEqual(apt.IsAlive, 1, "the apartment runs");
checkEqual(apt.MultiThreaded, 1, "multithreaded");
var made = apt.Creator.CreateObject("VarDictionary");
made.Add("x", 1);
checkEqual(made("x"), 1, "an object from the apartment's creator");
apt.Destroy();
e = checkThrows(function () { return apt.Creator; }, "Creator after Destroy");
checkEqual(e && e.description, "COM Appartment has been previously destroyed.", "destroyed text");
e = checkThrows(function () { creator.CreateObject("COMApartmentApartmentThreaded"); }, "no apartment-threaded apartment");

// Locks and sleeps.
var lock = creator.CreateObject("CustomLock");
lock.Lock(); lock.Lock(); lock.Unlock(); lock.Unlock();
e = checkThrows(function () { lock.Unlock(); }, "Unlock without Lock");
checkEqual(e && e.description, "Operation failed", "refused Unlock text");
var t0 = new Date().getTime();
creator.CreateObject("COMSleeper").Sleep(100);
check(new Date().getTime() - t0 >= 50, "Sleep waits");
