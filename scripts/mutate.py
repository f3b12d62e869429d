"""Mutation testing for the production C/C++ code; scripts/mutate is the entry point."""

import argparse
import json
import random
import re
import signal
import subprocess
import sys
import time
from collections import Counter, defaultdict
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD_DIR = ROOT / "build" / "release"
DEFAULT_AREAS = ["AudioUnits/AUPublic", "PublicUtility", "Platform/src", "Harwendel_Quenzal",
                 "tools/quenzal", "lv2"]
SOURCE_SUFFIXES = {".c", ".cc", ".cpp", ".h", ".hpp"}
EXCLUDED_PARTS = {"tests", "fuzz", "bench"}
SMALLEST_UNTOUCHED_CONSTANT = 65

# Longest punctuators first, so that `>>`, `->`, `<=>` and `&&` come out whole and are never
# mistaken for the single-character operators inside them.
TOKEN = re.compile(r"""
    (?P<number>0[xX][0-9a-fA-F']+[uUlLzZ]*|(?:\d[\d']*\.?\d*|\.\d+)(?:[eEpP][+-]?\d+)?[a-zA-Z_]*)
  | (?P<ident>[A-Za-z_]\w*)
  | (?P<punct><=>|<<=|>>=|->\*|->|<<|>>|<=|>=|==|!=|&&|\|\||\+\+|--|\+=|-=|\*=|/=|::|[^\s\w])
""", re.VERBOSE)
OPERAND_END = {"number", "ident"}
NOT_OPERANDS = {"return", "case", "sizeof", "throw", "co_return", "new", "delete", "else", "do"}
SWAPS = {
    "<": ("<=", "comparison"), "<=": ("<", "comparison"),
    ">": (">=", "comparison"), ">=": (">", "comparison"),
    "==": ("!=", "equality"), "!=": ("==", "equality"),
    "&&": ("||", "logical"), "||": ("&&", "logical"),
    "+": ("-", "additive"), "-": ("+", "additive"), "+=": ("-=", "additive"), "-=": ("+=", "additive"),
    "*": ("/", "multiplicative"), "/": ("*", "multiplicative"),
    "*=": ("/=", "multiplicative"), "/=": ("*=", "multiplicative"),
    "++": ("--", "increment"), "--": ("++", "increment"),
    "true": ("false", "boolean"), "false": ("true", "boolean"),
}
SKIPPED_LINE = re.compile(r"\b(template|operator|static_assert)\b")
CONTROL_HEADER = re.compile(r"^(?:\}\s*)?(?:if|for|while|switch|else|do|try|catch)\b")


# ---- reading the source ----------------------------------------------------------------------

def mask_source(text):
    """The text with comments, the insides of string and character literals and preprocessor
    lines blanked out, newlines and offsets kept, so that whatever is left is code."""
    out = list(text)
    i, n = 0, len(text)
    at_line_start = True

    def blank(start, end):
        for k in range(start, end):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        c = text[i]
        if c == "\n":
            at_line_start = True
            i += 1
            continue
        if at_line_start and c in " \t":
            i += 1
            continue
        if at_line_start and c == "#":
            end = i
            while end < n and (text[end] != "\n" or text[end - 1] == "\\"):
                end += 1
            blank(i, end)
            i = end
            continue
        at_line_start = False
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            blank(i, end)
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            blank(i, end)
            i = end
        elif (raw := re.match(r'(?:u8|[uUL])?R"([^(\s]*)\(', text[i:i + 20])) and \
                (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            end = text.find(")" + raw.group(1) + '"', i)
            end = n if end < 0 else end + len(raw.group(1)) + 2
            blank(i, end)
            i = end
        elif c in "\"'" and not (c == "'" and i > 0 and text[i - 1].isalnum()):
            end = i + 1
            while end < n and text[end] != c and text[end] != "\n":
                end += 2 if text[end] == "\\" else 1
            blank(i + 1, end)  # the quotes stay, so that a literal still reads as an operand
            i = end + 1
        else:
            i += 1
    return "".join(out)


def tokens(code_line):
    return [(m.lastgroup, m.group(), m.start(), m.end()) for m in TOKEN.finditer(code_line)]


def template_brackets(toks):
    """Indices of `<`/`>`/`>>` tokens that pair up as template brackets on this line."""
    paired = set()
    stoppers = {";", "{", "}", "&&", "||", "?", "==", "!=", "=", "<=", ">="}
    for i, (_, text, _, _) in enumerate(toks):
        if text != "<":
            continue
        depth, parens = 1, 0
        for j in range(i + 1, len(toks)):
            t = toks[j][1]
            if t in stoppers or (t == ")" and parens == 0):
                break
            parens += {"(": 1, ")": -1}.get(t, 0)
            depth += {"<": 1, ">": -1, ">>": -2}.get(t, 0)
            if depth <= 0:
                paired.update({i, j})
                break
    return paired


def spaced(line, start, end):
    return (start > 0 and line[start - 1].isspace()) and (end >= len(line) or line[end].isspace())


def joins_text(toks, i, next_code_line):
    """Whether a `+` concatenates strings: `text - "..."` would not even compile, so it is no
    test of the tests."""
    last = i + 1 == len(toks)
    return any(t[1] in ('"', "'") for t in toks) or (last and next_code_line.lstrip()[:1] == '"')


def operator_sites(code_line, returns_status, next_code_line=""):
    """(column, original, replacement, operator) for each place on the line worth mutating."""
    toks = tokens(code_line)
    brackets = template_brackets(toks)
    sites = []
    for i, (kind, text, start, end) in enumerate(toks):
        before = toks[i - 1] if i else None
        if text in ("+", "+=") and joins_text(toks, i, next_code_line):
            continue
        after_operand = before is not None and (
            (before[0] in OPERAND_END and before[1] not in NOT_OPERANDS) or before[1] in ")]")
        swap = SWAPS.get(text)
        if text in ("<", ">") and i in brackets:
            continue
        if text in ("&&", "*") and not spaced(code_line, start, end):
            continue  # a reference, a pointer or a dereference, not the binary operator
        if text in ("+", "-", "*") and not after_operand:
            continue  # unary
        if swap and (kind == "punct" or text in ("true", "false")):
            sites.append((start, text, swap[0], swap[1]))
        elif text == "!":
            sites.append((start, "!", "", "negation-removed"))
        elif kind == "number" and re.fullmatch(r"\d+[uUlLzZ]*", text):
            value = int(re.match(r"\d+", text).group())
            digits = len(re.match(r"\d+", text).group())
            if returns_status and value == 0 and before and before[1] == "return":
                sites.append((start, text, "-1", "status"))
            elif value < SMALLEST_UNTOUCHED_CONSTANT and not (digits > 1 and text[0] == "0"):
                replacement = "0" if value == 1 else str(value + 1)
                sites.append((start, text[:digits], replacement, "constant"))
        elif text == "noErr" and before and before[1] == "return":
            sites.append((start, text, "-1", "status"))
    return sites


def enclosing_function_returns_status(code, pos):
    """Whether the function (or lambda) whose body holds `pos` is declared to return OSStatus."""
    depth = 0
    for k in range(pos - 1, -1, -1):
        c = code[k]
        if c == "}":
            depth += 1
        elif c == "{" and depth:
            depth -= 1
        elif c == "{":
            header_start = max(code.rfind(";", 0, k), code.rfind("{", 0, k), code.rfind("}", 0, k))
            header = " ".join(code[header_start + 1:k].split())
            if CONTROL_HEADER.match(header) or "(" not in header or ")" not in header:
                if re.search(r"\b(namespace|class|struct|union|enum)\b", header):
                    return False
                continue  # a statement block or an initialiser: look further out
            return re.search(r"\bOSStatus\b", header) is not None
    return False


def candidate_lines(path):
    """[(line number, text, sites)] for a source file, one entry per line that has sites."""
    text = path.read_text(encoding="utf-8")
    code = mask_source(text)
    result, offset, in_skipped_statement = [], 0, False
    code_lines = code.split("\n") + [""]
    for number, (line, code_line) in enumerate(zip(text.split("\n"), code_lines), 1):
        line_offset, offset = offset, offset + len(line) + 1
        if SKIPPED_LINE.search(code_line) or in_skipped_statement:
            # A static_assert or template head may run over several lines; skip to its end.
            in_skipped_statement = not re.search(r"[;{}]\s*$", code_line)
            continue
        if not code_line.strip():
            continue
        at_return = re.search(r"\breturn\b", code_line)
        returns_status = at_return is not None and enclosing_function_returns_status(
            code, line_offset + at_return.start())
        sites = operator_sites(code_line, returns_status, code_lines[number])
        if sites:
            result.append((number, line, sites))
    return result


# ---- planning --------------------------------------------------------------------------------

def source_files(area):
    listed = subprocess.run(["git", "ls-files", "--", area], cwd=ROOT, check=True,
                            capture_output=True, text=True).stdout.split()
    return sorted(f for f in listed
                  if Path(f).suffix in SOURCE_SUFFIXES and not EXCLUDED_PARTS & set(Path(f).parts))


def share_out(count, weights):
    """Largest-remainder split of `count` in proportion to `weights`, at least one each where
    there is room, so that a small area is not left out."""
    total = sum(weights.values())
    shares = {k: max(1 if count >= len(weights) else 0, int(count * w / total))
              for k, w in weights.items()}
    by_remainder = sorted(weights, key=lambda k: -(count * weights[k] / total - shares[k]))
    for key in by_remainder:
        if sum(shares.values()) >= count:
            break
        shares[key] += 1
    return {k: min(v, weights[k]) for k, v in shares.items()}


def make_plan(seed, count, areas):
    rng = random.Random(seed)
    pools = {}
    for area in areas:
        pools[area] = [(f, number, line, sites) for f in source_files(area)
                       for number, line, sites in candidate_lines(ROOT / f)]
    pools = {a: p for a, p in pools.items() if p}
    if not pools:
        sys.exit("mutate: no mutable lines in " + ", ".join(areas))
    chosen = []
    for area, share in share_out(count, {a: len(p) for a, p in pools.items()}).items():
        for f, number, line, sites in rng.sample(pools[area], share):
            # Operator first, then the place: a line of numbers should not drown out its `<`.
            operator = rng.choice(sorted({site[3] for site in sites}))
            column, original, replacement, _ = rng.choice([s for s in sites if s[3] == operator])
            mutated = line[:column] + replacement + line[column + len(original):]
            chosen.append({"file": f, "line": number, "original": line, "mutated": mutated,
                           "operator": operator})
    chosen.sort(key=lambda m: (m["file"], m["line"]))
    for index, mutant in enumerate(chosen, 1):
        mutant["id"] = f"m{index:03d}"
    return chosen


# ---- running ---------------------------------------------------------------------------------

def read_jsonl(path):
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def locate(lines, mutant):
    """Index of the mutant's line: where it was recorded, else the nearest identical line."""
    want, recorded = mutant["original"], mutant["line"] - 1
    matches = [i for i, line in enumerate(lines) if line == want]
    return min(matches, key=lambda i: abs(i - recorded)) if matches else None


def is_clean(relative):
    return subprocess.run(["git", "diff", "--quiet", "HEAD", "--", relative], cwd=ROOT).returncode == 0


# Test lists are read by running each test program after it links, so a mutant that makes a
# program crash at start-up fails the build although it compiled.
DISCOVERY_FAILURE = "Error running test executable"


def build():
    """None when the build succeeds, else what went wrong."""
    done = subprocess.run(["cmake", "--build", "--preset", "release", "-j2"], cwd=ROOT,
                          capture_output=True, text=True)
    if done.returncode == 0:
        return None
    if DISCOVERY_FAILURE in done.stdout:
        return DISCOVERY_FAILURE
    errors = [line for line in done.stdout.splitlines() if "error:" in line]
    return (errors[0] if errors else done.stdout[-300:]).strip()


TEST_RESULT = re.compile(r"Test\s+#\d+: (\S+) .*?(\*\*\*\S+|Not Run|Passed)")


def run_tests(timeout):
    """(passed, name of the first failing test)."""
    done = subprocess.run(["ctest", "--preset", "release", "-j2", "--stop-on-failure",
                           "--timeout", str(timeout)], cwd=ROOT, capture_output=True, text=True)
    output = done.stdout + done.stderr
    if "No tests were found" in output:
        sys.exit("mutate: ctest found no tests in build/release")
    if done.returncode == 0:
        return True, None
    for name, outcome in TEST_RESULT.findall(output):
        if outcome != "Passed":
            return False, name
    failed = re.search(r"The following tests FAILED:\s*\n\s*\d+ - (\S+)", output)
    return False, failed.group(1) if failed else "(ctest failed: " + output[-200:].strip() + ")"


def try_mutant(mutant, timeout):
    path = ROOT / mutant["file"]
    if not path.exists():
        return {"status": "stale"}
    if not is_clean(mutant["file"]):
        # Restoring from memory would throw away whatever someone changed since the run began.
        sys.exit(f"mutate: {mutant['file']} changed during the run; stopping")
    original_bytes = path.read_bytes()
    lines = original_bytes.decode("utf-8").split("\n")
    index = locate(lines, mutant)
    if index is None:
        return {"status": "stale"}
    lines[index] = mutant["mutated"]
    outcome = {"applied_line": index + 1}
    try:
        path.write_bytes("\n".join(lines).encode("utf-8"))
        error = build()
        if error == DISCOVERY_FAILURE:
            return outcome | {"status": "killed", "test": "(test discovery)"}
        if error:
            return outcome | {"status": "did-not-build", "error": error}
        passed, killer = run_tests(timeout)
        return outcome | ({"status": "survived"} if passed else {"status": "killed", "test": killer})
    finally:
        path.write_bytes(original_bytes)


def print_tallies(results):
    per_file = defaultdict(Counter)
    for r in results:
        per_file[r["file"]][r["status"]] += 1
    statuses = ["killed", "survived", "did-not-build", "stale"]
    print(f"{'file':60} " + " ".join(f"{s:>13}" for s in statuses))
    for f in sorted(per_file):
        print(f"{f:60} " + " ".join(f"{per_file[f][s]:>13}" for s in statuses))
    print(score_line(results))


def score_line(results):
    killed = sum(r["status"] == "killed" for r in results)
    counted = killed + sum(r["status"] == "survived" for r in results)
    return f"mutation score {killed}/{counted}"


def raise_interrupt(signum, frame):
    raise KeyboardInterrupt


def run_plan(plan_path, results_path, timeout, only):
    plan = read_jsonl(plan_path)
    if only:
        wanted = set(only.split(","))
        plan = [m for m in plan if m["id"] in wanted]
    dirty = sorted({m["file"] for m in plan if (ROOT / m["file"]).exists() and not is_clean(m["file"])})
    if dirty:
        sys.exit("mutate: refusing to touch files with uncommitted changes: " + ", ".join(dirty))
    if not (BUILD_DIR / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True)
    print("baseline: building and testing the unmutated tree", flush=True)
    if build() or not run_tests(timeout)[0]:
        sys.exit("mutate: the unmutated tree does not build or pass its tests")
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=ROOT, check=True,
                            capture_output=True, text=True).stdout.strip()
    for s in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, raise_interrupt)
    results = []
    with open(results_path, "w", encoding="utf-8") as out:
        for n, mutant in enumerate(plan, 1):
            started = time.monotonic()
            result = {"id": mutant["id"], "file": mutant["file"], "line": mutant["line"],
                      "operator": mutant["operator"], "commit": commit}
            result |= try_mutant(mutant, timeout)
            result["seconds"] = round(time.monotonic() - started, 1)
            results.append(result)
            out.write(json.dumps(result) + "\n")
            out.flush()
            print(f"[{n}/{len(plan)}] {mutant['id']} {mutant['file']}:{mutant['line']} "
                  f"{mutant['operator']}: {result['status']} {result.get('test', '')} "
                  f"({result['seconds']} s)", flush=True)
    # The last mutant's objects are still in the build; bring it back to the tree as it is.
    build()
    print_tallies(results)
    seconds = [r["seconds"] for r in results]
    if seconds:
        print(f"{sum(seconds) / len(seconds):.1f} s per mutant on average")


def compare(before_path, after_path):
    before = {r["id"]: r for r in read_jsonl(before_path)}
    after = {r["id"]: r for r in read_jsonl(after_path)}
    lost = [(i, r, after.get(i)) for i, r in sorted(before.items())
            if r["status"] == "killed" and (after.get(i) or {}).get("status") != "killed"]
    for mutant_id, was, now in lost:
        status = now["status"] if now else "not run"
        print(f"{mutant_id} {was['file']}:{was['line']} {was['operator']}: killed by "
              f"{was.get('test')} before, {status} after")
    print(f"{len(lost)} mutants killed before are not killed after")
    print("before: " + score_line(before.values()))
    print("after:  " + score_line(after.values()))


def main():
    parser = argparse.ArgumentParser(prog="scripts/mutate", description=__doc__)
    commands = parser.add_subparsers(dest="command", required=True)
    plan = commands.add_parser("plan", help="pick mutants and write them to a plan file")
    plan.add_argument("--seed", type=int, required=True)
    plan.add_argument("--count", type=int, required=True)
    plan.add_argument("--files", nargs="+", default=DEFAULT_AREAS,
                      help="files or folders to mutate, each an area with its own share")
    plan.add_argument("--out", required=True)
    run = commands.add_parser("run", help="apply, build and test each mutant of a plan")
    run.add_argument("plan")
    run.add_argument("--results", help="where results go (default: PLAN with .results.jsonl)")
    run.add_argument("--timeout", type=int, default=60, help="seconds per test")
    run.add_argument("--only", help="comma-separated mutant ids")
    comparison = commands.add_parser("compare", help="mutants killed before and not after")
    comparison.add_argument("before")
    comparison.add_argument("after")
    args = parser.parse_args()

    if args.command == "plan":
        mutants = make_plan(args.seed, args.count, args.files)
        with open(args.out, "w", encoding="utf-8") as out:
            for m in mutants:
                out.write(json.dumps({k: m[k] for k in
                                      ("id", "file", "line", "original", "mutated", "operator")})
                          + "\n")
        print(f"{len(mutants)} mutants written to {args.out}: "
              + ", ".join(f"{k} {v}" for k, v in Counter(m["operator"] for m in mutants).items()))
    elif args.command == "run":
        results = args.results or re.sub(r"(\.jsonl?)?$", ".results.jsonl", args.plan, count=1)
        try:
            run_plan(args.plan, results, args.timeout, args.only)
        except KeyboardInterrupt:
            sys.exit("mutate: interrupted; the mutated file was restored")
    else:
        compare(args.before, args.after)


if __name__ == "__main__":
    main()
