
// ---- Shared checks, appended to every JScript test run by kestrunc. ----
// check(cond, text) and checkEqual(actual, expected, text) count passed and failed
// checks; a failed one prints a line. The summary "N passed, M failed" ends the run,
// and a failed check makes the script end in an error, so kestrunc exits with 1.
function checkState_() {
  if (!checkState_.s) checkState_.s = { passed: 0, failed: 0 };
  return checkState_.s;
}
function check(cond, text) {
  if (cond) { checkState_().passed++; return; }
  checkState_().failed++;
  Host.WriteLine("FAILED: " + text);
}
function checkEqual(actual, expected, text) {
  check(actual === expected, text + " (got " + actual + ", expected " + expected + ")");
}
// Runs f and checks that it throws; returns the error.
function checkThrows(f, text) {
  try { f(); } catch (e) { check(true, text); return e; }
  check(false, text + " (no error)");
  return null;
}
Host.WriteLine(checkState_().passed + " passed, " + checkState_().failed + " failed");
if (checkState_().failed) throw new Error(checkState_().failed + " checks failed");
