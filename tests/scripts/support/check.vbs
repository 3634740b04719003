
' ---- Shared checks, appended to every VBScript test run by kestrunc. ----
' Check cond, text and CheckEqual actual, expected, text count passed and failed
' checks; a failed one prints a line. The summary "N passed, M failed" ends the run,
' and a failed check makes the script end in an error, so kestrunc exits with 1.
Dim CheckPassed_, CheckFailed_
Sub Check(cond, text)
  If cond Then
    CheckPassed_ = CheckPassed_ + 1
  Else
    CheckFailed_ = CheckFailed_ + 1
    Host.WriteLine "FAILED: " & text
  End If
End Sub
Sub CheckEqual(actual, expected, text)
  Check actual = expected, text & " (got " & actual & ", expected " & expected & ")"
End Sub
Host.WriteLine CStr(CheckPassed_ + 0) & " passed, " & CStr(CheckFailed_ + 0) & " failed"
If CheckFailed_ > 0 Then Err.Raise vbObjectError + 1, "checks", CheckFailed_ & " checks failed"
