// VarDictionary as a JScript writer sees it.
var d = new ActiveXObject("orvanta.utilctls.VarDictionary");
Test.Check(d.Add("one", 1) == 1 && d.Add("two", 2) == 2, "Add returns the position");
Test.Check(d.Add("ONE", 3) == -1 && d.Count == 2, "a duplicate name is refused without an error");
Test.Check(d("one") == 1 && d.Item("TWO") == 2 && d(2) == 2, "default member by name and by position");
Test.Check(d("three") === undefined && d(0) === undefined, "a missing item is empty");
Test.Check(d.Key(1) == "one" && d.Key("2") == "two", "keys by position");
Test.Check(d.Count() == 2, "Count called as a method");

var failed = false;
try { d.Item("one") = 5; } catch (e) {
  failed = e.description == "Assignment is not allowed - see itemsAssignmentAllowed property";
}
Test.Check(failed, "assignment needs itemsAssignmentAllowed");
d.itemsAssignmentAllowed = true;
Test.Check(d.itemsAssignmentAllowed === 1, "flags read as 1");
d.Item("one") = 5;
d.Item("three") = 3;
Test.Check(d("one") == 5 && d.Key(3) == "three", "Item put replaces or appends");

try { d.Key("nothing"); failed = false; } catch (e) { failed = e.description == "Key not found"; }
Test.Check(failed, "Key of a missing name fails with its text");

var keys = [];
for (var e = new Enumerator(d); !e.atEnd(); e.moveNext()) keys.push(e.item());
Test.Check(keys.join(",") == "one,two,three", "Enumerator walks the keys: " + keys.join(","));
d.enumItems = 1;
var items = [];
for (var e = new Enumerator(d); !e.atEnd(); e.moveNext()) items.push(e.item());
Test.Check(items.join(",") == "5,2,3", "Enumerator walks the items with enumItems: " + items.join(","));

// Nested dictionaries, searching and cloning.
var inner = new ActiveXObject("orvanta.utilctls.VarDictionary");
inner.Add("leaf", "green");
inner.itemsAssignmentAllowed = 1;
d.Add("inner", inner);
Test.Check(d("inner")("leaf") == "green" && d.Item("inner").Item("leaf") == "green", "nested lookup");
var found = d.FindByName("leaf");
Test.Check(found.Count == 1 && found(1) == "green", "FindByName finds a nested item");
var copy = d.Clone();
copy("inner").Item("leaf") = "copied";
Test.Check(inner("leaf") == "green", "Clone copies nested dictionaries");

d.Remove("two");
Test.Check(d.Count == 3 && d.Key(2) == "three", "Remove keeps the order");

d.readOnly = true;
try { d.Add("x", 1); failed = false; } catch (e) {
  failed = e.description == "Object is in read-only mode." && (e.number >>> 0) == 0x80042799;
}
Test.Check(failed, "read-only refuses Add with message 10137");
d.readOnly = false;
Test.Check(d.Add("x", 1) == 4, "read-only can be switched off");

// Wine's JScript hands arrays over as objects; they are stored as such.
d.Add("list", [1, 2, 3]);
Test.Check(typeof d("list") == "object", "an array is kept as an object");

var rec = new ActiveXObject("orvanta.utilctls.VarDictionary.free");
rec.firstItemAsRoot = 1;
rec.Root = "root";
Test.Check(rec() == undefined, "firstItemAsRoot without items gives Missing");
rec.Add("v", "first");
Test.Check(rec() == "first" && rec.Item() == "first", "a record used without an index is its first value");
