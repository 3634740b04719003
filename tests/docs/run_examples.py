#!/usr/bin/python3
"""Runs the examples of one documentation page and compares what they print.

  run_examples.py PAGE.md TREE WINERUN
  run_examples.py --script SCRIPT EXPECTED TREE WINERUN [script parameters...]
  run_examples.py --program EXPECTED TREE WINERUN PROGRAM [arguments...]

Every fenced ```js or ```vbs block of the page is an example; the fenced ```output block
that follows it (blank lines between are allowed, nothing else) is what the example must
write to standard output. Each example runs with kestrunc from a folder of its own in the
build tree (TREE/docs-examples/PAGE-N, drive T:), must end with exit code 0, print exactly
its output block (line ends and trailing blanks aside) and leave nothing behind in its
folder. A js or vbs block without an output block is an error, as is a reference page
without at least one example in each language. With --script, one script file (a sample)
runs the same way and its output is compared with the file EXPECTED; with --program, a
program of the build tree (such as the page host running a sample page) does.
"""
import os
import re
import shutil
import subprocess
import sys

FENCE = re.compile(r"^```(\w*)\s*$")
TIMEOUT_S = 120


def blocks(text):
    """Yields (language, body, first line number) for every fenced block, plus the
    non-blank text between blocks as ("", text, line) so adjacency can be checked."""
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            if lines[i].strip():
                yield ("", lines[i], i + 1)
            i += 1
            continue
        lang, start, body = m.group(1), i + 1, []
        i += 1
        while i < len(lines) and not lines[i].startswith("```"):
            body.append(lines[i])
            i += 1
        if i == len(lines):
            raise ValueError("line %d: block never closed" % start)
        i += 1
        yield (lang, "\n".join(body), start)


def examples(text):
    """The (language, code, expected output, line) of every example of a page."""
    found, pending = [], None
    for lang, body, line in blocks(text):
        if pending and lang != "output":
            raise ValueError("line %d: the %s example has no ```output block after it" % (pending[2], pending[0]))
        if lang in ("js", "vbs"):
            pending = (lang, body, line)
        elif lang == "output" and pending:
            found.append((pending[0], pending[1], body, pending[2]))
            pending = None
        else:
            pending = None
    if pending:
        raise ValueError("line %d: the %s example has no ```output block after it" % (pending[2], pending[0]))
    return found


def normalized(text):
    lines = [l.rstrip() for l in text.replace("\r\n", "\n").split("\n")]
    while lines and not lines[-1]:
        lines.pop()
    return lines


def run_windows(tree, winerun, program, args):
    """Runs a program of the build tree under Wine; returns (exit code, stdout, stderr)."""
    try:
        p = subprocess.run([winerun, program] + list(args), cwd=tree, stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=TIMEOUT_S)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return -1, "", "no end within %d s" % TIMEOUT_S


def run_one(tree, winerun, folder, lang, code, name=None, args=()):
    """Runs one example; returns (exit code, stdout, stderr, files left behind)."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    name = name or "example." + lang
    # Scripts are read in the ANSI code page unless they carry a byte-order mark.
    with open(os.path.join(folder, name), "wb") as f:
        f.write(b"\xef\xbb\xbf" + code.replace("\n", "\r\n").encode("utf-8") + b"\r\n")
    windows = "T:\\" + os.path.relpath(folder, tree).replace(os.sep, "\\") + "\\" + name
    rc, out, err = run_windows(tree, winerun, os.path.join(tree, "bin", "kestrunc.exe"), ["-nohelp", windows] + list(args))
    left = sorted(set(os.listdir(folder)) - {name})
    return rc, out, err, left


def check(label, rc, out, err, left, expected):
    """Prints the outcome of one run; returns whether it passed."""
    problems = []
    if rc != 0:
        problems.append("exit code %d" % rc)
    if normalized(out) != normalized(expected):
        problems.append("output differs")
    if left:
        problems.append("left behind: " + ", ".join(left))
    if not problems:
        print("%s passed" % label)
        return True
    print("%s: %s" % (label, "; ".join(problems)))
    print("--- expected\n%s\n--- printed\n%s" % (expected, out.replace("\r\n", "\n")))
    if err.strip():
        print("--- standard error\n%s" % err.strip())
    return False


def run_script(script, expected_file, tree, winerun, args):
    tree, winerun = os.path.abspath(tree), os.path.abspath(winerun)
    name = os.path.basename(script)
    with open(script, encoding="utf-8") as f:
        code = f.read().replace("\r\n", "\n")
    with open(expected_file, encoding="utf-8") as f:
        expected = f.read()
    folder = os.path.join(tree, "samples-run", os.path.splitext(name)[0])
    lang = os.path.splitext(name)[1].lstrip(".")
    result = run_one(tree, winerun, folder, lang, code, name, args)
    ok = check(script, *result, expected)
    if ok:
        shutil.rmtree(folder, ignore_errors=True)
    return 0 if ok else 1


def run_program(expected_file, tree, winerun, program, args):
    with open(expected_file, encoding="utf-8") as f:
        expected = f.read()
    tree = os.path.abspath(tree)
    rc, out, err = run_windows(tree, os.path.abspath(winerun), os.path.join(tree, program), args)
    return 0 if check(" ".join([program] + list(args)), rc, out, err, [], expected) else 1


def main():
    if sys.argv[1] == "--program":
        return run_program(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6:])
    if sys.argv[1] == "--script":
        return run_script(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6:])
    page, tree, winerun = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    stem = os.path.splitext(os.path.basename(page))[0]
    with open(page, encoding="utf-8") as f:
        text = f.read()
    try:
        found = examples(text)
    except ValueError as e:
        print("%s: %s" % (page, e))
        return 1
    failures = 0
    if os.path.basename(os.path.dirname(os.path.abspath(page))) == "reference":
        for lang in ("js", "vbs"):
            if not any(e[0] == lang for e in found):
                print("%s: no %s example" % (page, lang))
                failures += 1
    for n, (lang, code, expected, line) in enumerate(found, 1):
        folder = os.path.join(tree, "docs-examples", "%s-%d" % (stem, n))
        rc, out, err, left = run_one(tree, winerun, folder, lang, code)
        if check("%s:%d: %s example" % (page, line, lang), rc, out, err, left, expected):
            shutil.rmtree(folder, ignore_errors=True)
        else:
            failures += 1
    print("%d examples, %d failed" % (len(found), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
