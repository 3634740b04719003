// Build a composite from a definition file.
//   kestrunc samples/composite.js
// A composite is one object whose members are carried out by other objects, its
// components. Here an invoice object gets its arithmetic from a VBScript component and
// its formatting from a JScript component; the two call each other through the
// composite's context. The sample writes the definition and both scripts next to
// itself, builds the composite, registers the definition as a class so that any script
// can create it by name, and removes everything again at the end.
var fs = Host.CreateObject("Orvanta.utilctls.SFMain");
var here = Host.RuntimeParameter("ScriptPath");

function writeFile(name, lines) {
  var s = fs.CreateFile(here + name);
  s.WriteText(lines.join("\r\n") + "\r\n");
  s.Close();
}

// 1. The components. Each script sees the composite's context under the name the
//    definition gives it (Ctx): Ctx.Item("Format") is the JScript component, and its
//    script member reaches that component's functions.
writeFile("invoice-calc.vbs", [
  "Function Gross(net, ratePercent)",
  "  Gross = net * (100 + ratePercent) / 100",
  "End Function",
  "Function Line(item, net, ratePercent)",
  "  Line = Ctx.Item(\"Format\").script.Pad(item, 12) & Gross(net, ratePercent)",
  "End Function"]);
writeFile("invoice-format.js", [
  "function Pad(text, width) { while (text.length < width) text += '.'; return text; }",
  "function Heading(title) { return title.toUpperCase() + ' (' + Ctx.Count + ' components)'; }"]);

// 2. The definition, in the text configuration format: the context name, one section
//    per component (its type, language, script files and members: the name outside,
//    the function inside), and the class it is registered as.
writeFile("invoice.def", [
  "{ OPTIONS:", "(string)ContextName=Ctx", "} OPTIONS;",
  "{ COMPONENTS:",
  "  { Calc:", "  (string)Type=SCRIPT", "  (string)Language=VBScript", "  (string)File=invoice-calc.vbs",
  "    { MEMBERS:",
  "      { Gross:", "      (string)InternalName=Gross", "      } Gross;",
  "      { Line:", "      (string)InternalName=Line", "      } Line;",
  "    } MEMBERS;",
  "  } Calc;",
  "  { Format:", "  (string)Type=SCRIPT", "  (string)Language=JScript", "  (string)File=invoice-format.js",
  "    { MEMBERS:",
  "      { Heading:", "      (string)InternalName=Heading", "      } Heading;",
  "    } MEMBERS;",
  "  } Format;",
  "} COMPONENTS;",
  "{ CLASS:", "(string)ProgID=OrvantaSample.Invoice",
  "(string)ClassID={6F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0}", "} CLASS;"]);

// 3. Build it and call it like any object. Script files named without a folder are
//    read from the definition's folder.
var creator = Host.CreateObject("Orvanta.utilctls.VaryDispCreator");
var invoice = creator.CreateObject(here + "invoice.def");
Host.WriteLine(invoice.Heading("Invoice"));
Host.WriteLine(invoice.Line("Paper", 10, 20));
Host.WriteLine(invoice.Line("Ink", 25.5, 10));

// 4. A mistake in a component is reported with the component's name.
try {
  invoice.Gross("ten", 20);
} catch (e) {
  Host.WriteLine("Gross(\"ten\") failed: " + e.description.split(",")[1]);
}

// 5. Registered, the definition is a class: created by its ProgID, it reads the file
//    again each time. RegisterClass needs the full path of the file.
creator.RegisterClass(here + "invoice.def");
var again = Host.CreateObject("OrvantaSample.Invoice");
Host.WriteLine("By ProgID: " + again.Gross(100, 7));
again = null;
invoice = null;
CollectGarbage();
creator.UnRegisterClass(here + "invoice.def");
fs.DeleteFile(here + "invoice.def");
fs.DeleteFile(here + "invoice-calc.vbs");
fs.DeleteFile(here + "invoice-format.js");
