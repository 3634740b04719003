// Shown in the window screenshot: output lines and the input box waiting for a line.
Host.WriteLine("Orvanta Kestrun screenshot");
for (var i = 1; i <= 5; i++) Host.WriteLine("line " + i + " of the output pane");
Host.SetInput("type here");
Host.RequestInput("Send");
function OnInput(text) { Host.WriteLine("got: " + text); }
