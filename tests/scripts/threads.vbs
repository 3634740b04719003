' Threads as a VBScript writer uses them in kestrunc: a background call polled until it
' ends, a script thread in VBScript sharing the dictionary, semaphores and mutexes.
Set creator = Host.CreateObject("Orvanta.utilctls.VessaCreator")

Set gate = creator.CreateObject("Event")
gate.Create True, False
Set worker = Host.CreateObject("Orvanta.utilctls.COMThread")
worker.Timeout = 5000
worker.Activate
worker.Execute gate, "Wait"
polls = 0
Do While worker.Busy = 1 And polls < 3
  polls = polls + 1
  creator.CreateObject("COMSleeper").Sleep 10
Loop
CheckEqual worker.Busy, 1, "still busy after polling"
gate.Set
CheckEqual worker.Wait(5000), 1, "the call ended"
CheckEqual worker.Success, 1, "Success"
worker.Execute gate, 5   ' by DISPID: 5 is Wait
CheckEqual worker.Wait(5000), 1, "a call by DISPID"
CheckEqual worker.Result, 1, "Wait by DISPID returned 1"
worker.Deactivate

Set st = creator.CreateObject("COMScriptThread")
code = "Set ctx = Context" & vbCrLf & _
       "ctx(""lang"") = ""vbs""" & vbCrLf & _
       "Function Twice()" & vbCrLf & "  ctx(""twice"") = ctx(""n"") * 2 : Twice = ctx(""twice"")" & vbCrLf & "End Function" & vbCrLf & _
       "Function Fails()" & vbCrLf & "  Err.Raise 5" & vbCrLf & "End Function"
CheckEqual st.Start("VBScript", code, 10000), 1, "Start in VBScript: " & st.lastError
CheckEqual st.Value("lang"), "vbs", "the global code wrote the dictionary"
Set shared = st.Value
shared("n") = 21
CheckEqual st.Execute("Twice"), 1, "Execute"
CheckEqual st.Wait(10000), 1, "Wait"
CheckEqual st.Result, 42, "the routine's result"
CheckEqual shared("twice"), 42, "and its write to the dictionary"
st.Execute "Fails"
st.Wait 10000
CheckEqual st.Success, 0, "a failing routine"
CheckEqual st.Result, 0, "leaves 0 as the result"
On Error Resume Next
st.Execute ""
CheckEqual Err.Description, "Empty routine name.", "an empty routine name is raised"
Err.Clear
st.Priority = 16
CheckEqual Err.Description, "Invalid parameter", "a priority out of range is raised"
Err.Clear
On Error GoTo 0
st.Stop

Set sem = creator.CreateObject("Semaphore")
sem.Create 2, 1
CheckEqual sem.Wait(0), 1, "one unit"
CheckEqual sem.Wait(0), 0, "no unit left"
CheckEqual sem.ReleaseSemaphore(2), 0, "release two: the count was 0"
On Error Resume Next
sem.ReleaseSemaphore 1
CheckEqual Err.Description, "Operation failed", "a release past the maximum fails"
Err.Clear
On Error GoTo 0
CheckEqual sem.IsActive, 1, "the count stayed at two"

Set mtx = creator.CreateObject("Mutex")
On Error Resume Next
mtx.Wait 0
CheckEqual Err.Number, &H8004277A, "Wait before Create fails with 10106"
Err.Clear
On Error GoTo 0
mtx.Create True
CheckEqual mtx.valid, 1, "created"
CheckEqual mtx.IsOwned, 1, "owned by this thread"
mtx.ReleaseMutex
mtx.ReleaseMutex
