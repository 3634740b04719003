// Must fail: one check passes, one fails.
Test.Check(1 + 1 == 2, "arithmetic");
Test.Check(false, "a failing check fails the test");
