' The VBScript half of the test composite: arithmetic, and a call into the JScript half
' through the composite's context.
Function AddNumbers(a, b)
  AddNumbers = a + b
End Function

Function Shout(s)
  ' Ctx.Item, not Ctx(...): Wine's VBScript cannot call a named item with arguments.
  Shout = UCase(Ctx.Item("Text").script.Decorate(s))
End Function

Function Fail()
  Err.Raise 1000, "calc", "calc failed on purpose"
End Function
