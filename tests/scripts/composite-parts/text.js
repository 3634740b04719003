// The JScript half of the test composite: text work, and a call into the VBScript half
// through the composite's context.
function Decorate(s) { return "<" + s + ">"; }
function Describe(a, b) { return a + "+" + b + "=" + Ctx.Item("Calc").script.AddNumbers(a, b); }
