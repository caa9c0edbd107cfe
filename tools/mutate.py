#!/usr/bin/env python3
"""Mutation testing for psxdig: how many small faults in src/ does the test suite find?

Generates mutants over the C++ files in src/ (one change each), applies them one at a time,
rebuilds psxdig, psxdig_tests and psxdig_mkimage incrementally in a build folder of its own,
runs psxdig_tests and records which tests failed, then restores the file.

Operators:
  ror     flip a comparison: < <=, > >=, == !=  (only spaced binary operators)
  lcr     && <-> ||
  const   an integer literal plus or minus one
  drop    drop a statement (a line ending in ';' that is a call or an assignment)
  neg     negate an if/while condition

A mutant that does not build is invalid and not counted. A failing test, a crash or a
timeout counts as killed. Selection is deterministic (--seed, --max, --files), so the same
set can be run before and after a change to the tests; results are one JSON object per line
(appended as they finish, so a run can be watched and resumed).

  tools/mutate.py list  [--files src/rip/*.cpp] [--max 250] [--seed 1]
  tools/mutate.py run   --out mut.jsonl [--root DIR] [--build DIR] [--max 250] [--seed 1]
                        [--mutants earlier.jsonl]   # rerun exactly the mutants of an earlier run
  tools/mutate.py report mut.jsonl                  # kill rate, per file, tests that kill alone
  tools/mutate.py compare before.jsonl after.jsonl  # killed before and surviving after
  tools/mutate.py csv mut.jsonl > mut.csv

--root is the source tree to mutate (default: this checkout). Run it on a copy (for example
`git archive HEAD | tar -x -C /tmp/snap`) to keep editing while it runs.
"""
import argparse
import fnmatch
import json
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TARGETS = ["psxdig", "psxdig_tests", "psxdig_mkimage"]
CPP = (".cpp", ".cc", ".h", ".hpp")


def source_files(root, patterns):
    out = subprocess.run(["git", "ls-files", "src"], cwd=root, capture_output=True, text=True)
    files = [f for f in out.stdout.split() if f.endswith(CPP)]
    if not files:  # a snapshot without .git
        for d, _, names in os.walk(os.path.join(root, "src")):
            files += [os.path.relpath(os.path.join(d, n), root) for n in names if n.endswith(CPP)]
    if patterns:
        files = [f for f in files if any(fnmatch.fnmatch(f, p) for p in patterns)]
    return sorted(files)


def mask_code(lines):
    """Each line with string/char literals and comments blanked out (same length)."""
    out, in_block = [], False
    for line in lines:
        m, i, n = [], 0, len(line)
        while i < n:
            c = line[i]
            if in_block:
                if line.startswith("*/", i):
                    in_block = False
                    m.append("  ")
                    i += 2
                else:
                    m.append(" ")
                    i += 1
            elif line.startswith("//", i):
                m.append(" " * (n - i))
                break
            elif line.startswith("/*", i):
                in_block = True
                m.append("  ")
                i += 2
            elif c in "\"'":
                j = i + 1
                while j < n and line[j] != c:
                    j += 2 if line[j] == "\\" else 1
                j = min(j + 1, n)
                m.append(c + " " * (j - i - 2) + c if j - i >= 2 else " " * (j - i))
                i = j
            else:
                m.append(c)
                i += 1
        out.append("".join(m))
    return out


ROR = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
ROR_RE = re.compile(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)")
LCR_RE = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
INT_RE = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.])")
DROP_RE = re.compile(
    r"^\s*(\+\+|--)?[A-Za-z_][\w:]*(\s*(\.|->)\s*[A-Za-z_]\w*|\[[^\]]*\])*\s*"
    r"(\(|=(?!=)|\+=|-=|\*=|/=|\|=|&=|\^=|<<=|>>=|\+\+|--)")
NOT_STATEMENT = re.compile(r"^\s*(return|if|for|while|switch|case|default|else|do|throw|using|"
                           r"namespace|typedef|template|static_assert|struct|class|enum)\b")
COND_RE = re.compile(r"\b(if|while)\s*\(")


def matching_paren(s, open_at):
    depth = 0
    for k in range(open_at, len(s)):
        if s[k] == "(":
            depth += 1
        elif s[k] == ")":
            depth -= 1
            if depth == 0:
                return k
    return -1


def line_mutants(code, line):
    """(operator, column, original text, replacement) for one masked line."""
    if code.lstrip().startswith("#"):
        return []
    muts = []
    for m in ROR_RE.finditer(code):
        muts.append(("ror", m.start(), m.group(1), ROR[m.group(1)]))
    for m in LCR_RE.finditer(code):
        muts.append(("lcr", m.start(), m.group(1), "||" if m.group(1) == "&&" else "&&"))
    if not re.search(r"\b(case|alignas)\b|\[\s*\d+\s*\]\s*[;={]", code):
        for m in INT_RE.finditer(code):
            text, suffix = m.group(1), m.group(2)
            val = int(text, 16) if text[:2] in ("0x", "0X") else int(text)
            if text.startswith("0") and len(text) > 1 and text[1] not in "xX":
                continue  # octal
            new = val - 1 if val > 0 and (zlib.crc32(code.encode()) + m.start()) % 2 else val + 1
            new_text = (text[:2] + format(new, "x" if text[2:].islower() or not text[2:].isalpha() else "X")
                        if text[:2] in ("0x", "0X") else str(new))
            muts.append(("const", m.start(), text + suffix, new_text + suffix))
    stripped = code.rstrip()
    if (stripped.endswith(";") and DROP_RE.match(code) and not NOT_STATEMENT.match(code)
            and code.count("(") == code.count(")") and code.count("{") == code.count("}")):
        start = len(code) - len(code.lstrip())
        muts.append(("drop", start, line[start:len(stripped)], ""))
    for m in COND_RE.finditer(code):
        o = m.end() - 1
        c = matching_paren(code, o)
        if c > o + 1:
            muts.append(("neg", o, line[o:c + 1], "(!" + line[o:c + 1] + ")"))
    return muts


def all_mutants(root, files):
    result = []
    for f in files:
        with open(os.path.join(root, f), encoding="utf-8") as fh:
            lines = fh.read().split("\n")
        for no, (code, line) in enumerate(zip(mask_code(lines), lines), 1):
            for op, col, old, new in line_mutants(code, line):
                result.append({"id": f"{f}:{no}:{col}:{op}", "file": f, "line": no, "col": col,
                               "op": op, "old": old, "new": new})
    return result


def select(mutants, max_n, seed):
    """A deterministic sample spread over the files, in proportion to their mutant counts
    (every file gets at least one)."""
    by_file = {}
    for m in mutants:
        by_file.setdefault(m["file"], []).append(m)
    keyed = []
    for f, ms in by_file.items():
        rng = random.Random(f"{seed}:{f}")
        ms = ms[:]
        rng.shuffle(ms)
        keyed += [(i / len(ms), f, m) for i, m in enumerate(ms)]
    keyed.sort(key=lambda k: (k[0], k[1]))
    # Kept in this order, so that a run cut short is still spread over the files.
    return [m for _, _, m in keyed[:max_n]] if max_n else [m for _, _, m in keyed]


def apply(text_lines, m):
    line = text_lines[m["line"] - 1]
    col, old = m["col"], m["old"]
    if line[col:col + len(old)] != old:
        raise ValueError(f"{m['id']}: source changed, mutant does not apply")
    text_lines[m["line"] - 1] = line[:col] + m["new"] + line[col + len(old):]


def touch(path):
    now = time.time_ns()
    os.utime(path, ns=(now, now))


def build(build_dir, env):
    r = subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", *TARGETS],
                       capture_output=True, text=True, env=env)
    return r.returncode == 0, r.stdout[-3000:]


def run_tests(build_dir, timeout):
    """(killed, failed test names, note)."""
    with tempfile.TemporaryDirectory() as tmp:
        js = os.path.join(tmp, "r.json")
        exe = os.path.join(build_dir, "psxdig_tests")
        # In a process group of its own, so that a timeout also ends the psxdig
        # runs the suite started (a mutant that loops would go on using a core).
        p = subprocess.Popen([exe, f"--gtest_output=json:{js}"], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True, errors="replace", start_new_session=True,
                             cwd=tmp)  # a mutant may write into the current folder
        try:
            stdout, _ = p.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(p.pid, signal.SIGKILL)
            stdout, _ = p.communicate()
            return True, running_test(stdout or ""), "timeout"
        r = subprocess.CompletedProcess(p.args, p.returncode, stdout, "")
        failed = sorted({t for t in re.findall(r"^\[  FAILED  \] (\S+?)(?:,|\s|$)", r.stdout, re.M)
                         if "." in t})
        if os.path.exists(js):
            with open(js) as fh:
                data = json.load(fh)
            failed = sorted({f"{s['name']}.{t['name']}" for s in data.get("testsuites", [])
                             for t in s.get("testsuite", []) if t.get("failures")} | set(failed))
        if r.returncode == 0:
            return False, [], ""
        if not failed:
            return True, running_test(r.stdout), f"crash (exit {r.returncode})"
        return True, failed, ""


def running_test(out):
    runs = re.findall(r"^\[ RUN      \] (\S+)", out, re.M)
    done = set(re.findall(r"^\[ +(?:OK|FAILED) +\] (\S+)", out, re.M))
    return [t for t in runs if t not in done][-1:] or ["<none>"]


def cmd_run(a):
    # A run stopped with kill or Ctrl-C still puts the mutated file back (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
    root = os.path.abspath(a.root)
    build_dir = os.path.abspath(a.build or os.path.join(root, "build-mut"))
    env = dict(os.environ, CCACHE_BASEDIR=root)
    if a.mutants:
        mutants = load(a.mutants)
    else:
        mutants = select(all_mutants(root, source_files(root, a.files)), a.max, a.seed)
    done = {r["id"] for r in load(a.out)} if os.path.exists(a.out) else set()
    if not os.path.exists(os.path.join(build_dir, "build.ninja")):
        subprocess.run(["cmake", "-S", root, "-B", build_dir, "-G", "Ninja", "-DPSXDIG_WERROR=ON",
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"],
                       check=True, capture_output=True, env=env)
    ok, log = build(build_dir, env)
    if not ok:
        sys.exit("the unmutated tree does not build:\n" + log)
    killed, _, _ = run_tests(build_dir, a.timeout)
    if killed:
        sys.exit("the unmutated tree fails its tests")
    todo = [m for m in mutants if m["id"] not in done]
    print(f"{len(mutants)} mutants, {len(todo)} to run", flush=True)
    for i, m in enumerate(todo, 1):
        path = os.path.join(root, m["file"])
        with open(path, encoding="utf-8") as fh:
            original = fh.read()
        lines = original.split("\n")
        start = time.time()
        try:
            apply(lines, m)
        except ValueError:  # the file changed since the mutant was listed: not counted
            rec = {k: m[k] for k in ("id", "file", "line", "col", "op", "old", "new")}
            rec.update(valid=False, killed=None, tests=[], note="source changed", seconds=0)
            with open(a.out, "a") as fh:
                fh.write(json.dumps(rec) + "\n")
            print(f"[{i}/{len(todo)}] {m['id']} invalid 0 source changed", flush=True)
            continue
        try:
            with open(path, "w", encoding="utf-8") as fh:
                fh.write("\n".join(lines))
            touch(path)
            ok, _ = build(build_dir, env)
            if ok:
                killed, tests, note = run_tests(build_dir, a.timeout)
            else:
                killed, tests, note = None, [], "does not build"
        finally:
            with open(path, "w", encoding="utf-8") as fh:
                fh.write(original)
            touch(path)
        rec = {k: m[k] for k in ("id", "file", "line", "col", "op", "old", "new")}
        rec.update(valid=ok, killed=killed, tests=tests, note=note, seconds=round(time.time() - start, 1))
        with open(a.out, "a") as fh:
            fh.write(json.dumps(rec) + "\n")
        state = "invalid" if not ok else ("KILLED" if killed else "survived")
        print(f"[{i}/{len(todo)}] {m['id']} {state} {len(tests)} {note} {rec['seconds']}s", flush=True)
    build(build_dir, env)  # leave the build matching the restored sources


def load(path):
    with open(path) as fh:
        rs = [json.loads(l) for l in fh if l.strip()]
    for r in rs:
        r["tests"] = [t for t in r["tests"] if "." in t or t.startswith("<")]
    return rs


def cmd_list(a):
    ms = select(all_mutants(a.root, source_files(a.root, a.files)), a.max, a.seed)
    for m in ms:
        print(f"{m['id']}\t{m['old']!r} -> {m['new']!r}")
    print(f"{len(ms)} mutants", file=sys.stderr)


def cmd_report(a):
    rs = [r for r in load(a.results) if r["valid"]]
    k = [r for r in rs if r["killed"]]
    print(f"valid {len(rs)}  killed {len(k)}  survived {len(rs) - len(k)}  "
          f"rate {100 * len(k) / max(1, len(rs)):.1f}%")
    per = {}
    for r in rs:
        per.setdefault(r["file"], [0, 0])[0 if r["killed"] else 1] += 1
    for f, (kk, s) in sorted(per.items()):
        print(f"  {f:40s} killed {kk:3d} survived {s:3d}")
    alone = {}
    for r in k:
        if len(r["tests"]) == 1:
            alone.setdefault(r["tests"][0], []).append(r["id"])
    counts = {}
    for r in k:
        for t in r["tests"]:
            counts[t] = counts.get(t, 0) + 1
    print("tests that kill mutants (kills, alone):")
    for t in sorted(counts, key=lambda t: -counts[t]):
        print(f"  {counts[t]:3d} {len(alone.get(t, [])):3d}  {t}  {' '.join(alone.get(t, []))}")
    if a.survivors:
        print("survivors:")
        for r in rs:
            if not r["killed"]:
                print(f"  {r['id']}  {r['old']!r} -> {r['new']!r}")


def cmd_compare(a):
    before = {r["id"]: r for r in load(a.before)}
    after = {r["id"]: r for r in load(a.after)}
    common = [i for i in before if i in after and before[i]["valid"] and after[i]["valid"]]
    kb = sum(1 for i in common if before[i]["killed"])
    ka = sum(1 for i in common if after[i]["killed"])
    print(f"common valid mutants {len(common)}: killed before {kb}, after {ka}")
    for i in common:
        if before[i]["killed"] and not after[i]["killed"]:
            r = before[i]
            print(f"  lost {i}  {r['old']!r} -> {r['new']!r}  (killed before by {', '.join(r['tests'])})")
        if after[i]["killed"] and not before[i]["killed"]:
            print(f"  gained {i}")


def cmd_csv(a):
    print("file,line,col,op,valid,killed,tests,note")
    for r in load(a.results):
        print(",".join([r["file"], str(r["line"]), str(r["col"]), r["op"], str(r["valid"]),
                        str(r["killed"]), " ".join(r["tests"]), r["note"]]))


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = p.add_subparsers(dest="cmd", required=True)
    for name in ("list", "run"):
        s = sub.add_parser(name)
        s.add_argument("--root", default=os.path.dirname(HERE))
        s.add_argument("--files", nargs="*", help="globs over src/ paths, e.g. 'src/rip/*'")
        s.add_argument("--max", type=int, default=250)
        s.add_argument("--seed", type=int, default=1)
        if name == "run":
            s.add_argument("--out", required=True)
            s.add_argument("--build")
            s.add_argument("--timeout", type=int, default=60)
            s.add_argument("--mutants", help="rerun the mutants recorded in this results file")
    s = sub.add_parser("report")
    s.add_argument("results")
    s.add_argument("--survivors", action="store_true")
    s = sub.add_parser("compare")
    s.add_argument("before")
    s.add_argument("after")
    s = sub.add_parser("csv")
    s.add_argument("results")
    a = p.parse_args()
    {"list": cmd_list, "run": cmd_run, "report": cmd_report, "compare": cmd_compare, "csv": cmd_csv}[a.cmd](a)


if __name__ == "__main__":
    main()
