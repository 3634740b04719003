// The gateway as page script meets it, created here without a browser (so without a
// site) beside the sample profiles: pass-code profiles work, profiles that need the
// page's address refuse, objects come only from the active profile.
var gw = new ActiveXObject("Orvanta.sandbox.Vantor");

function failure(f) {
  try { f(); } catch (e) { return e.description; }
  return "<no error>";
}

Test.Check(gw.Profile == "", "no profile at first: " + gw.Profile);
Test.Check(failure(function () { gw.CreateObject("scratch"); }) == "No profile has been activated on Vantor yet.",
           "CreateObject before a profile");
Test.Check(failure(function () { gw.Profile = "nothing"; }) == "Requested profile not found in the Vantor.cfg",
           "unknown profile");
Test.Check(failure(function () { gw.Profile = "demo"; }) ==
           "The object has been created without site. Perhaps you are not using OBJECT tag to create the object. ",
           "a protocol profile without a site");

gw.PassCode = "OPEN SESAME";
gw.Profile = "coded";
Test.Check(gw.Profile == "coded", "the coded profile is active: " + gw.Profile);

var stream = gw.CreateObject();
stream.WriteText("twelve chars");
Test.Check(stream.Size == 12, "the default class is a memory stream: " + stream.Size);
var named = gw.CreateObject("SCRATCH");
Test.Check(named.Size == 0, "a new stream for each call");
var empty = gw.CreateObject("");
Test.Check(empty.Size == 0, "an empty id is the default");

var refused = "Failed to create object. Possible reasons: object is not in the profile, object is disabled, " +
              "object creation failed because of specific requirements.";
Test.Check(failure(function () { gw.CreateObject("Orvanta.utilctls.SFMain"); }) == refused, "a disabled class");
Test.Check(failure(function () { gw.CreateObject("Scripting.FileSystemObject"); }) == refused, "an unlisted class");

// A failed put keeps the earlier profile.
Test.Check(failure(function () { gw.Profile = "intranet"; }) != "<no error>", "the address profile needs a site");
Test.Check(gw.Profile == "coded", "still the coded profile");
Test.Check(gw.CreateObject("scratch").Size == 0, "and its classes");
