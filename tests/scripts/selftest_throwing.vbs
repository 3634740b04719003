' Must fail: all checks pass, then an uncaught error ends the script.
Test.Check True, "passes"
Err.Raise 5
