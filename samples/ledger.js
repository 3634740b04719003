// Write and query a record file.
//   kestrunc samples/ledger.js
// A record file holds records of one fixed layout one after another, so any record can
// be reached by its number. This sample defines a layout (an SFRecord with SFFields),
// writes a few payments, then walks them to answer two questions, corrects one record
// in place, and deletes the file at the end.
var fs = Host.CreateObject("Orvanta.utilctls.SFMain");
var path = Host.RuntimeParameter("ScriptPath") + "ledger-demo.bin";

// The layout: field types are variant type numbers (3 a 32-bit integer, 5 a double,
// 8 a string of a fixed number of characters).
var rec = Host.CreateObject("Orvanta.utilctls.SFRecord");
rec.AddField("id", 3);
rec.AddField("amount", 5);
rec.AddField("payee", 8, 16);

// A filter codes the record into bytes; bound to a stream, the record reads and writes
// there. Text is stored as 8-bit characters here (unicodeText 0).
var file = fs.CreateFile(path);
var filter = Host.CreateObject("Orvanta.utilctls.SFFilter");
filter.unicodeText = 0;
rec.BindTo(file, filter);
Host.WriteLine("Each record takes " + filter.buffSize + " bytes");

var payments = [["grocer", 23.5], ["baker", 4.2], ["grocer", 11.75], ["library", 2]];
for (var i = 0; i < payments.length; i++) {
  rec.Field("id").Value = i + 1;
  rec.Field("payee").Value = payments[i][0];
  rec.Field("amount").Value = payments[i][1];
  rec.Write();                          // appends at the stream's position
}
Host.WriteLine("Wrote " + rec.RecordCount + " records, file size " + file.Size);

// Query: the total paid to the grocer, and the largest payment.
function report() {
  var total = 0, largest = null;
  for (var ok = rec.MoveFirst(); ok; ok = rec.MoveNext()) {
    var amount = rec.Field("amount").Value;
    if (rec.Field("payee").Value == "grocer") total += amount;
    if (!largest || amount > largest.amount)
      largest = {id: rec.Field("id").Value, amount: amount, payee: rec.Field("payee").Value};
  }
  Host.WriteLine("  grocer total " + total + "; largest #" + largest.id + " " +
                 largest.payee + " " + largest.amount);
}
report();

// Correct record 2 in place: Move(1, 0) reads the record at position 1 from the start
// (positions count from 0), Update writes it back where it was read.
rec.Move(1, 0);
rec.Field("amount").Value = 42;
rec.Update();
Host.WriteLine("After correcting record 2:");
report();

rec.UnBind();
file.Close();
fs.DeleteFile(path);
