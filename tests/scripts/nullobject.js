// JScript has no Nothing: null and undefined passed for an object parameter mean "no
// object", and each member answers as it does for a null object.
var fs = new ActiveXObject("Orvanta.utilctls.SFMain");

var s = fs.CreateMemoryStream();
s.WriteText("kept");
Test.Check(s.SetStream(null) === undefined, "SetStream(null) is accepted");
var closed = false;
try { s.Size; } catch (e) { closed = true; }
Test.Check(closed, "SetStream(null) leaves the stream closed");
s = fs.CreateMemoryStream();
s.SetStream(undefined);
closed = false;
try { s.Pos; } catch (e) { closed = true; }
Test.Check(closed, "SetStream(undefined) leaves the stream closed");

// A null target is the member's own E_INVALIDARG, not a type mismatch.
var copyError = 0;
s = fs.CreateMemoryStream();
s.WriteText("abc");
try { s.CopyTo(null, 3); } catch (e) { copyError = e.number; }
Test.Check(copyError == -2147024809, "CopyTo(null) gives E_INVALIDARG: " + copyError);

var stg = fs.CreateStorageFile("T:\\scripts\\nullobject-js.stg", 0x1012);
stg.SetStorage(null);
closed = false;
try { stg.contents; } catch (e) { closed = true; }
Test.Check(closed, "SetStorage(null) leaves the storage closed");
