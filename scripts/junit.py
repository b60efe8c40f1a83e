#!/usr/bin/env python3
"""JUnit XML results, the one form every test stage leaves its counts in.

  junit.py count FILE...      prints "PASSED TOTAL" over the files' test cases
                              (passed: what ctest does not call failed, so
                              a test that skips itself passes); exits 1
                              naming any file that is missing or unreadable,
                              after printing the counts of the others
  junit.py write FILE SUITE   writes the cases read from standard input, one a
                              line: NAME<TAB>pass|fail<TAB>SECONDS[<TAB>TEXT],
                              where TEXT (\\n for line breaks) says what failed

ctest writes its own (ctest --output-junit, or the test presets);
scripts/test-m32.sh and scripts/fuzz.sh write theirs with "write".
"""
import sys
import xml.etree.ElementTree as ET


def failed(case):
    """What ctest itself calls failed: a failure or an error, or a test that
    did not run for any reason but its own choice (SKIP_RETURN_CODE,
    SKIP_REGULAR_EXPRESSION, the DISABLED property)."""
    if case.find("failure") is not None or case.find("error") is not None:
        return True
    status = case.get("status", "run")
    if status in ("run", "disabled"):
        return False
    skipped = case.find("skipped")
    return skipped is None or not skipped.get("message", "").startswith("SKIP_")


def count(paths):
    passed = total = 0
    missing = []
    for path in paths:
        try:
            root = ET.parse(path).getroot()
        except (OSError, ET.ParseError) as e:
            missing.append("%s (%s)" % (path, e))
            continue
        for case in root.iter("testcase"):
            total += 1
            passed += not failed(case)
    print(passed, total)
    for m in missing:
        sys.stderr.write("junit.py: no results in %s\n" % m)
    return 1 if missing else 0


def write(path, suite):
    cases = []
    for line in sys.stdin:
        fields = line.rstrip("\n").split("\t")
        if len(fields) < 3:
            continue
        cases.append((fields[0], fields[1] == "pass", fields[2], fields[3] if len(fields) > 3 else ""))
    root = ET.Element("testsuite", name=suite, tests=str(len(cases)),
                      failures=str(sum(1 for c in cases if not c[1])))
    for name, ok, seconds, text in cases:
        case = ET.SubElement(root, "testcase", name=name, classname=suite, time=seconds,
                             status="run" if ok else "fail")
        if not ok:
            ET.SubElement(case, "failure", message="Failed").text = text.replace("\\n", "\n")
    ET.ElementTree(root).write(path, encoding="UTF-8", xml_declaration=True)
    return 0


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "count":
        sys.exit(count(sys.argv[2:]))
    if len(sys.argv) == 4 and sys.argv[1] == "write":
        sys.exit(write(sys.argv[2], sys.argv[3]))
    sys.stderr.write("usage: junit.py count FILE... | junit.py write FILE SUITE\n")
    sys.exit(2)
