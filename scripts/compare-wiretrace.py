#!/usr/bin/env python3
"""Compares two outputs of tolmera-wiretrace (build/bench/tolmera-wiretrace).

    scripts/compare-wiretrace.py before.txt after.txt [--tolerance-ms 15]

For every operation and fault: the same commands in the same order, and each
gap from one command's start to the next within the tolerance (a late wake-up
of a busy machine adds to one gap, and summed over a long run it would hide
where it happened). Prints one line per operation and a summary of the gap
differences; exits 1 when a sequence differs or a gap changed by more than
the tolerance.
"""
import argparse
import statistics
import sys


def read(path):
    runs = {}
    name = None
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("## "):
                name = line[3:]
                runs[name] = []
            elif line and not line.startswith("#") and name is not None:
                command, first, _last = line.split(" ")
                runs[name].append((command, float(first)))
    return runs


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--tolerance-ms", type=float, default=15.0)
    args = parser.parse_args()
    before, after = read(args.before), read(args.after)

    ok = True
    shifts = []
    if list(before) != list(after):
        print("the two traces cover different operations")
        ok = False
    for name in before:
        a, b = before[name], after.get(name, [])
        same = [c for c, _ in a] == [c for c, _ in b]
        worst = 0.0
        if same:
            for i in range(1, len(a)):
                change = (b[i][1] - b[i - 1][1]) - (a[i][1] - a[i - 1][1])
                shifts.append(change)
                worst = max(worst, abs(change))
        verdict = "same commands" if same else "DIFFERENT commands"
        if same and worst > args.tolerance_ms:
            verdict += ", MOVED"
            ok = False
        ok = ok and same
        print(f"{name:32} {len(a):4} commands  {verdict}; largest gap change {worst:6.2f} ms")
    if shifts:
        print(
            f"gap changes over {len(shifts)} gaps: mean {statistics.mean(shifts):+.3f} ms, "
            f"median {statistics.median(shifts):+.3f} ms, largest |change| {max(map(abs, shifts)):.2f} ms"
        )
    print("traces match" if ok else "traces DIFFER")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
