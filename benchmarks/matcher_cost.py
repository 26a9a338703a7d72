"""What each way of matching costs outside the interpreter, at the grid's request shapes:
writes each request of the benchmark data to a file and runs the C++ program
`lorvane_matcher_cost` on it (built with -DLORVANE_TESTS=ON), which prints the automaton's
build in ns per pattern byte and the whole matching by each way, with the estimates the
module chooses a way from.

    python benchmarks/matcher_cost.py BUILD_DIR [--narrations 1,10,100] [--rules 10,100]
"""

import argparse
import os
import subprocess
import sys
import tempfile

import data
import grid


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", help="a build directory configured with -DLORVANE_TESTS=ON")
    parser.add_argument("--narrations", type=grid.counts, default=[1, 10, 100, 1_000, 10_000])
    parser.add_argument("--rules", type=grid.counts, default=[10, 100, 1_000, 10_000])
    args = parser.parse_args()
    program = os.path.join(args.build, "lorvane_matcher_cost")
    for narrations in args.narrations:
        for rules in args.rules:
            request = data.categorize_case(narrations, rules)
            with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt") as out:
                out.write("%d %d\n" % (len(request["rules"]), len(request["data"])))
                for rule in request["rules"]:
                    out.write(rule["pattern"].replace("\n", " ") + "\n")
                for item in request["data"]:
                    out.write(item["narration"].replace("\n", " ") + "\n")
                out.flush()
                print("== %d narrations x %d rules" % (narrations, rules), flush=True)
                subprocess.run([program, out.name], check=True, stdout=sys.stdout)


if __name__ == "__main__":
    main()
