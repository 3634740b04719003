' The gateway from VBScript, without a site, beside the sample profiles. Wine's VBScript
' refuses CreateObject of a class that takes a site unless the host's site offers
' services, so the gateway comes through Host.CreateObject.
Option Explicit
Dim gw, s, e
Set gw = Host.CreateObject("Orvanta.sandbox.Vantor")

CheckEqual gw.Profile, "", "no profile at first"
On Error Resume Next
Set s = gw.CreateObject("scratch")
CheckEqual Hex(Err.Number), "8004277B", "CreateObject before a profile"
CheckEqual Err.Description, "No profile has been activated on Vantor yet.", "its text"
Err.Clear
gw.Profile = "intranet"
CheckEqual Hex(Err.Number), "8004277D", "an address profile without a site"
Err.Clear
gw.Profile = "nothing"
CheckEqual Err.Description, "Requested profile not found in the Vantor.cfg", "an unknown profile"
Err.Clear
On Error GoTo 0

gw.PassCode = "open sesame"
gw.Profile = "Coded"
CheckEqual gw.Profile, "Coded", "the name as given"
Set s = gw.CreateObject()
s.WriteText "abc"
CheckEqual s.Size, 3, "the default memory stream"
Set s = gw.CreateObject("")
CheckEqual s.Size, 0, "an empty id is the default too"

On Error Resume Next
Set s = gw.CreateObject("Orvanta.utilctls.SFMain")
e = Err.Number
On Error GoTo 0
CheckEqual Hex(e), "8004277C", "a disabled class"
