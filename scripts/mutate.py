#!/usr/bin/env python3
"""`make mutate`: does the quick test subset kill faults planted in the code?

universalmutator writes every mutant of every source file of each room (src/<room>/ for the
C++, python/velkaron/ for the package). A fixed, seeded sample is drawn from them: per room, the
mutants whose identity hashes lowest with the seed, so the sample does not move when unrelated
code changes. A mutant's identity is its file, the original text and the mutated text, never a
line number. Each mutant is applied to a private copy of the sources, the module is rebuilt
incrementally there (a mutant that does not compile is left out of the sample and the next one
taken), the quick subset runs against it with a time limit, and the copy is restored.

Survivors listed in scripts/mutants-equivalent.txt (file, original, mutated, reason; tab
separated) are equivalent mutants: they are reported apart and left out of the score.
"""

import argparse
import difflib
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build" / "mutate"
EQUIVALENT = Path(__file__).with_name("mutants-equivalent.txt")
PYTHON = sys.executable


def rooms():
    found = {path.name: path for path in sorted((ROOT / "src").iterdir()) if path.is_dir()}
    found["python"] = ROOT / "python" / "velkaron"
    return found


def sources(room_dir):
    return sorted(p for p in room_dir.iterdir() if p.suffix in (".cpp", ".h", ".py") and p.is_file())


def one_line(lines):
    return " \\n ".join(line.strip() for line in lines)


def generated(path):
    """The directory of universalmutator's mutants of `path`, kept by content between runs."""
    digest = hashlib.sha256(path.read_bytes()).hexdigest()[:20]
    out_dir = WORK / "mutants" / f"{path.name}-{digest}"
    if not out_dir.is_dir():
        with tempfile.TemporaryDirectory(dir=WORK) as scratch:
            language = "python" if path.suffix == ".py" else "cpp"
            subprocess.run([str(Path(PYTHON).with_name("mutate")), str(path), language, "--noCheck",
                            "--mutantDir", scratch], cwd=scratch, capture_output=True, check=True)
            out_dir.parent.mkdir(exist_ok=True)
            os.rename(scratch, out_dir)
            os.mkdir(scratch)  # for the context manager to remove
    return out_dir


def mutants_of(path):
    """(identity, mutated text) of every mutant universalmutator writes for `path`."""
    out_dir = generated(path)
    original = path.read_text().splitlines(keepends=True)
    relative = str(path.relative_to(ROOT))
    seen = {}
    for mutant in sorted(out_dir.iterdir(), key=lambda p: int(p.name.split(".")[-2])):
        text = mutant.read_text()
        changed = text.splitlines(keepends=True)
        blocks = [op for op in difflib.SequenceMatcher(None, original, changed, autojunk=False).get_opcodes()
                  if op[0] != "equal"]
        if len(blocks) != 1:
            continue
        _, a, b, c, d = blocks[0]
        if a == b:  # an inserted line: the line before it anchors the identity
            a, c = max(a - 1, 0), max(c - 1, 0)
        key = (relative, one_line(original[a:b]), one_line(changed[c:d]))
        seen[key] = seen.get(key, 0) + 1
        if seen[key] > 1:  # the same change at another place in the file
            key = (relative, key[1] + f" [{seen[key]}]", key[2])
        yield key, text


def rank(key, seed):
    return hashlib.sha256(f"{seed}\t{key[0]}\t{key[1]}\t{key[2]}".encode()).hexdigest()


def read_equivalent():
    equivalent = {}
    if EQUIVALENT.exists():
        for line in EQUIVALENT.read_text().splitlines():
            if line.strip() and not line.startswith("#"):
                file, original, mutated, reason = line.split("\t")
                equivalent[(file, original, mutated)] = reason
    return equivalent


class Sandbox:
    """A copy of the sources with its own incremental build of the module."""

    def __init__(self):
        self.tree, self.build = WORK / "tree", WORK / "build"
        for part in ("src", "python", "CMakeLists.txt"):
            source, target = ROOT / part, self.tree / part
            # Plain copies take the time of copying, newer than any object an earlier run left.
            if source.is_dir():
                shutil.rmtree(target, ignore_errors=True)
                shutil.copytree(source, target, copy_function=shutil.copy)
            else:
                target.parent.mkdir(parents=True, exist_ok=True)
                shutil.copy(source, target)
        pybind11_dir = subprocess.run([PYTHON, "-m", "pybind11", "--cmakedir"], capture_output=True,
                                      text=True, check=True).stdout.strip()
        self.env = dict(os.environ, PATH=f"{Path(PYTHON).parent}:{os.environ['PATH']}")
        subprocess.run(["cmake", "-S", str(self.tree), "-B", str(self.build), "-G", "Ninja",
                        "--log-level=WARNING", "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_FLAGS_RELEASE=-O1",
                        "-DVELKARON_BUILD_MODULE=ON", f"-DPython_EXECUTABLE={PYTHON}",
                        f"-Dpybind11_DIR={pybind11_dir}"], env=self.env, check=True, capture_output=True)

    def builds(self):
        """True when the module builds; False when the compiler rejects the code. A build that
        fails without a compiler error (a compiler killed for memory, say) is tried again."""
        for _ in range(3):
            run = subprocess.run(["cmake", "--build", str(self.build), "--target", "_velkaron"],
                                 env=self.env, capture_output=True, text=True, timeout=1800)
            if run.returncode == 0 or "error:" in run.stdout + run.stderr:
                return run.returncode == 0
        raise SystemExit("mutate: the build fails without a compiler error:\n" + run.stdout + run.stderr)

    def passes(self, tests, timeout):
        env = dict(self.env, PYTHONPATH=f"{self.build}:{self.tree / 'python'}")
        check = ("import _velkaron, velkaron, sys; sys.exit(0 if _velkaron.__file__.startswith("
                 f"{str(self.build)!r}) and velkaron.__file__.startswith({str(self.tree)!r}) else 3)")
        if subprocess.run([PYTHON, "-c", check], env=env, capture_output=True).returncode != 0:
            raise SystemExit("mutate: the sandbox's module is not the one imported")
        try:
            return subprocess.run([PYTHON, "-m", "pytest", "-x", "-q", "-p", "no:cacheprovider", *tests],
                                  cwd=ROOT, env=env, capture_output=True, timeout=timeout).returncode == 0
        except subprocess.TimeoutExpired:
            return False  # a mutant that hangs the suite is caught by it


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", default="velkaron-1")
    parser.add_argument("--per-room", type=int, default=6, help="mutants drawn from each room")
    parser.add_argument("--goal", type=float, default=0.9)
    parser.add_argument("--only", type=Path, help="run just these mutants: lines of a report's survivors")
    parser.add_argument("--rooms", nargs="*", help="sample only these rooms (default: every room)")
    parser.add_argument("--tests", nargs="+", required=True, help="the quick test subset")
    args = parser.parse_args()
    started = time.monotonic()
    WORK.mkdir(parents=True, exist_ok=True)
    sandbox = Sandbox()
    if not sandbox.builds():
        raise SystemExit("mutate: the unmutated sources do not build")
    baseline = time.monotonic()
    if not sandbox.passes(args.tests, timeout=1800):
        raise SystemExit("mutate: the quick tests fail without any mutant")
    timeout = max(60.0, 3 * (time.monotonic() - baseline))
    equivalent = read_equivalent()
    results, invalid = [], 0  # (room, key, outcome); mutants that do not compile
    for room, room_dir in rooms().items():
        if args.rooms and room not in args.rooms:
            continue
        candidates = []
        for path in sources(room_dir):
            candidates += list(mutants_of(path))
        candidates.sort(key=lambda item: rank(item[0], args.seed))
        if args.only:
            wanted = {tuple(line.split("\t")[1:4]) for line in args.only.read_text().splitlines()}
            candidates = [item for item in candidates if item[0] in wanted]
        taken = 0
        for key, text in candidates:
            if taken == args.per_room and not args.only:
                break
            target = sandbox.tree / key[0]
            original = target.read_text()
            target.write_text(text)
            try:
                if target.suffix == ".py":
                    valid = subprocess.run([PYTHON, "-m", "py_compile", str(target)],
                                           capture_output=True).returncode == 0
                else:
                    valid = sandbox.builds()
                if not valid:
                    invalid += 1
                    continue  # not a program: not part of the sample
                taken += 1
                outcome = "survived" if sandbox.passes(args.tests, timeout) else "killed"
            finally:
                target.write_text(original)
            if outcome == "survived" and key in equivalent:
                outcome = "equivalent"
            results.append((room, key, outcome))
            print(f"{outcome:10} {room:9} {key[0]}: {key[1]}  ->  {key[2]}", flush=True)
    sandbox.builds()  # leave the sandbox's module unmutated
    killed = sum(outcome == "killed" for _, _, outcome in results)
    scored = sum(outcome != "equivalent" for _, _, outcome in results)
    minutes = (time.monotonic() - started) / 60
    print(f"\nmutate: {killed}/{scored} killed ({killed / max(scored, 1):.0%}), {len(results) - scored} "
          f"equivalent, of {len(results)} mutants ({invalid} more did not compile) in {minutes:.0f} min")
    for room, key, outcome in results:
        if outcome != "killed":  # tab separated, as scripts/mutants-equivalent.txt takes them
            print(f"{outcome}\t" + "\t".join(key) + f"\t{equivalent.get(key, 'a gap in the quick tests')}")
    return 0 if killed >= args.goal * scored else 1


if __name__ == "__main__":
    sys.exit(main())
