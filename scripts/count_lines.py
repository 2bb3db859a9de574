#!/usr/bin/env python3
"""Non-blank, non-comment lines of the library's code and of its tests.

    scripts/count_lines.py      prints both counts and the tests' share of the code

Code: src/, tools/, python/ixadapter/, include/, viewer/ (its server and page).
Tests: tests/ (unit, host, hostile, fuzz targets and their seeds). Comment lines are those that start with
// or # (a shebang or a preprocessor line counts as code), and Python docstrings.
"""
import pathlib
import re
import subprocess

ROOT = pathlib.Path(__file__).resolve().parent.parent
CODE = ("src/", "tools/", "python/ixadapter/", "include/", "viewer/")
TESTS = ("tests/",)
SUFFIXES = {".h", ".hpp", ".c", ".cpp", ".py", ".js", ".mjs"}
PREPROCESSOR = re.compile(r"#\s*(include|define|if|ifdef|ifndef|endif|else|elif|pragma|undef|error)\b")


def lines_of(path):
    count, in_docstring, quote, in_string = 0, False, None, None
    for line in path.read_text(errors="replace").splitlines():
        text = line.strip()
        if path.suffix == ".py" and in_string:  # a triple-quoted literal in an expression: code
            in_string = None if in_string in text else in_string
            count += bool(text)
            continue
        if path.suffix == ".py" and in_docstring:
            in_docstring = not text.endswith(quote)
            continue
        if path.suffix == ".py" and text.startswith(('"""', "'''")):
            quote = text[:3]
            in_docstring = not (len(text) > 3 and text.endswith(quote))
            continue
        if in_docstring or not text or text.startswith("//") or text.startswith("/*") or text.startswith("*"):
            continue
        if text.startswith("#") and not (path.suffix != ".py" and PREPROCESSOR.match(text)):
            continue
        for mark in ('"""', "'''") if path.suffix == ".py" else ():
            if text.count(mark) % 2:
                in_string = mark
        count += 1
    return count


def tracked():
    out = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard"], cwd=ROOT,
                         capture_output=True, text=True, check=True).stdout.split()
    return [ROOT / name for name in out if pathlib.Path(name).suffix in SUFFIXES and (ROOT / name).exists()]


def main():
    files = tracked()
    rel = lambda p: str(p.relative_to(ROOT))
    code = sum(lines_of(p) for p in files if rel(p).startswith(CODE))
    tests = sum(lines_of(p) for p in files if rel(p).startswith(TESTS))
    print(f"code {code}, tests {tests}: tests are {100 * tests / code:.0f}% of the code")


if __name__ == "__main__":
    main()
