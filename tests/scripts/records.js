// Records, binary data and the value helpers as a JScript writer uses them: build a
// header, write records to a file behind it, walk them back and update one in place.
var fs = new ActiveXObject("Orvanta.utilctls.SFMain");
var path = "T:\\scripts\\records-js.bin";

// A header block built with SFBinaryData (JScript cannot hold its byte arrays, so the
// header is checked here and written as a record of its own).
var bd = new ActiveXObject("Orvanta.utilctls.SFBinaryData");
bd.Size = 16;
bd.String(0, 4) = "RECS";
bd.Unit(4, 3) = 3;
bd.Unit(8, 18) = 258;
bd.Bit(12, 3) = 1;
Test.Check(bd.String(0, 4) == "RECS" && bd.String(0) == "RECS\x03" && bd.Unit(4, 3) == 3, "header text and count read back");
Test.Check(bd(8) == 2 && bd(9) == 1 && bd(12) == 8, "units are little-endian, bits count from bit 0");
bd.ByteOrder = 1;
bd.Unit(4, 3) = 3;
Test.Check(bd(4) == 0 && bd(7) == 3, "ByteOrder 1 stores big-endian");
try { bd.Unit(14, 3); Test.Check(false, "no error"); } catch (e) {
  Test.Check(e.description == "Bad Index", "a unit past the end: " + e.description);
}

var header = new ActiveXObject("Orvanta.utilctls.SFRecord");
header.AddField("magic", 8, 4);
header.AddField("count", 3);
var rec = new ActiveXObject("Orvanta.utilctls.SFRecord");
rec.AddField("id", 3);
rec.AddField("amount", 5);
rec.AddField("name", 8, 12);

var out = fs.CreateFile(path);
var hf = new ActiveXObject("Orvanta.utilctls.SFFilter");
hf.unicodeText = 0;
header.BindTo(out, hf);
header.Field("magic").Value = "RECS";
header.Field("count").Value = 3;
Test.Check(header.Write() == 1 && out.Pos == 8, "header written: " + out.Pos);

var filter = new ActiveXObject("Orvanta.utilctls.SFFilter");
filter.StreamBegin = 8;
rec.BindTo(out, filter);
Test.Check(filter.buffSize == 4 + 8 + 24, "record size with Unicode text: " + filter.buffSize);
var names = ["alpha", "beta", "gamma"];
for (var i = 0; i < 3; i++) {
  rec.Field(1).Value = i + 1;
  rec.Field("AMOUNT").Value = (i + 1) * 1.5;
  rec.Field(3).Value = names[i];
  Test.Check(rec.Write() == 1, "record " + i + " written");
}
Test.Check(out.Size == 8 + 3 * 36 && rec.RecordCount == 3, "file size and record count: " + out.Size);

var seen = [];
for (var ok = rec.MoveFirst(); ok; ok = rec.MoveNext()) seen.push(rec.Field(1).Value + ":" + rec.Field(3).Value);
Test.Check(seen.join(",") == "1:alpha,2:beta,3:gamma", "walked back: " + seen.join(","));
Test.Check(out.Pos == 8 + 3 * 36, "after the last MoveNext the stream is at the end: " + out.Pos);

rec.Move(1, 0);
rec.Field("name").Value = "BETA, updated";
Test.Check(rec.Update() == 1 && out.Pos == 8 + 36, "Update stays at the record: " + out.Pos);
rec.MoveLast();
Test.Check(rec.Field("name").Value == "gamma" && rec.MovePrev() == 1, "MoveLast and MovePrev");
Test.Check(rec.Field("name").Value == "BETA, update", "the text was cut to 12: " + rec.Field("name").Value);
Test.Check(rec.Field(2).Value == 3, "amount read back as a number: " + rec.Field(2).Value);
rec.MoveFirst();
Test.Check(rec.MovePrev() == 0 && out.Pos == 8, "MovePrev from the first record is refused");
out.Close();

var failed = "";
rec.UnBind();
try { rec.MoveFirst(); } catch (e) { failed = e.description; }
Test.Check(failed == "Record not attached to valid stream and filter.", "unbound: " + failed);
try { rec.Field(0); failed = ""; } catch (e) { failed = e.number; }
Test.Check(failed == -2147352565, "Field(0) is a bad index: " + failed);

// Type convertor and string list.
var tc = new ActiveXObject("Orvanta.utilctls.TypeConvertor");
Test.Check(tc.BitLeft(1, 31) == -2147483648 && tc.BitLeft(1, 32) == 0 && tc.BitLeft(1, 256) == 1, "BitLeft");
Test.Check(tc.BitRight(-8, 1) == -4 && tc.BitRight(-8, 40) == -1 && tc.BitRight(8, 40) == 0, "BitRight");
Test.Check(tc.VariantType("x") == 8 && tc.VariantType(1.5) == 5 && tc.Conv(65539, "5") === 5, "Conv and VariantType");
try { tc.CInt(40000); failed = 0; } catch (e) { failed = e.number; }
Test.Check(failed == -2147352566, "CInt(40000) overflows: " + failed);
var list = new ActiveXObject("orvanta.utilctls.StringList");
list.Add(12);
list.Add("b");
Test.Check(list.Item() === "12" && list(2) == "b" && list.Count == 2, "string list items are text");
Test.Check(list(3) === undefined, "missing positions are empty");
