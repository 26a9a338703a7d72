"""Categorisation on Dask: lines per second with 1 and 2 local workers, and the cost of a partition.

Generates a statement of --lines lines (about 60 bytes each, 12 rules, two in three lines
matched) and measures, on a loopback-only LocalCluster of 1 and then 2 worker processes
with one thread each:

- the DataFrame helper: a frame already held by the workers, categorised partition by
  partition and kept there (persist), so only the work itself is timed;
- the command's cluster path: the CSV file read by this process, parsed, categorised and
  formatted by the workers, and written back here in order;
- the cost of one partition: the same lines in many tiny partitions against a few large
  ones; the difference per extra partition is the scheduling and transfer overhead.

Single-process figures come first for comparison: the bulk module call alone, and the
command without a cluster. Times are wall-clock, best of --repeat runs; the machine is
shared, so expect some noise.

    python benchmarks/bench_dask.py [--lines N] [--partition-lines P] [--repeat R]
"""

import argparse
import csv
import itertools
import logging
import os
import random
import tempfile
import time
import warnings

import dask.dataframe as dd
import distributed
import pandas

from lorvane_cli import categorize_command, cluster
from lorvane_cli.csv_input import open_csv
from lorvane_cli.dask_categorize import categorize_dataframe
from lorvane_cli.rules_file import load_rules
from lorvane_cli.worker_tasks import categorize_chunk, categorize_narrations

DATA = os.path.join(os.path.dirname(categorize_command.__file__), "data")
RULES = os.path.join(DATA, "rules.json")


def statement(path, lines, seed=1):
    """A CSV statement of `lines` rows drawn from the bundled sample's rows; its narrations."""
    with open(os.path.join(DATA, "statement.csv"), newline="", encoding="utf-8") as stream:
        header, *samples = list(csv.reader(stream))
    rng = random.Random(seed)
    narrations = []
    with open(path, "w", newline="", encoding="utf-8") as stream:
        writer = csv.writer(stream)
        writer.writerow(header)
        for number in range(lines):
            row = list(rng.choice(samples))
            row[1] = f"{row[1]} REF{number:08d}"
            writer.writerow(row)
            narrations.append(row[1])
    return narrations


def best(repeat, function):
    """The best of `repeat` runs: the time `function` took, or the time it returned."""
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        took = function()
        times.append(took if isinstance(took, float) else time.perf_counter() - start)
    return min(times)


def cli_run(path, rules, batch_rows, client=None):
    with open_csv(path) as table, open(os.devnull, "w", newline="") as out:
        if client is None:
            categorize_command.categorize_table(table, rules, out, batch_rows=batch_rows)
        else:
            layout, _ = categorize_command.output_layout(table, None)
            cluster.categorize_on_cluster(client, table, rules, out, layout, batch_rows)


def worker_share(path, rules, batch_rows):
    """What the workers do with a cluster, done here: parse, categorise and format each run."""
    with open_csv(path) as table:
        layout, _ = categorize_command.output_layout(table, None)
        pieces = list(cluster.runs(table, batch_rows))
    start = time.perf_counter()
    for piece in pieces:
        categorize_chunk(piece.text, layout, rules)
    return time.perf_counter() - start


def client_share(path, batch_rows):
    """What the command itself does with a cluster: split the file into runs, write text."""
    with open_csv(path) as table, open(os.devnull, "w", newline="") as out:
        for run in cluster.runs(table, batch_rows):
            out.write(run.text)


def peak_memory():
    """The largest resident size of this process since it started its program, in bytes.

    (Unlike getrusage's, this peak does not carry over the parent's from before the exec.)
    """
    with open("/proc/self/status", encoding="ascii") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    return 0


RUNS = itertools.count()


def frame_run(client, frame, rules):
    # A rule that never matches, new each time, gives the run keys of its own: otherwise
    # the scheduler could hand back the results of the previous run, still in memory.
    unique = {"pattern": f"\0never {next(RUNS)}", "category": "", "merchant": ""}
    distributed.wait(client.persist(categorize_dataframe(frame, rules + [unique])))


def rate(lines, seconds):
    return f"{lines / seconds:>12,.0f} lines/s  ({seconds:6.2f} s, {seconds / lines * 1e6:5.2f} us a line)"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--lines", type=int, default=1_000_000)
    parser.add_argument("--partition-lines", type=int, default=50_000)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    lines, size, repeat = args.lines, args.partition_lines, args.repeat
    rules = load_rules(RULES)

    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "statement.csv")
        narrations = statement(path, lines)
        print(f"{lines:,} lines ({os.path.getsize(path) / 1e6:.0f} MB), {len(rules)} rules, "
              f"{size:,} lines a partition, {os.cpu_count()} cores\n")

        print("one process")
        chunks = [narrations[start:start + size] for start in range(0, lines, size)]
        seconds = best(repeat, lambda: [categorize_narrations(chunk, rules) for chunk in chunks])
        print(f"  module call alone          {rate(lines, seconds)}")
        seconds = best(repeat, lambda: cli_run(path, rules, size))
        print(f"  command, no cluster        {rate(lines, seconds)}")
        seconds = best(repeat, lambda: worker_share(path, rules, size))
        worker_rate = lines / seconds
        print(f"  a worker's share           {rate(lines, seconds)}  (parse, categorise, format)")
        seconds = best(repeat, lambda: client_share(path, size))
        client_rate = lines / seconds
        print(f"  the command's own share    {rate(lines, seconds)}  (split the file, write the text)")

        pandas_frame = pandas.DataFrame({"narration": narrations, "amount": range(lines)})
        few, many = max(1, lines // size), max(1, lines // size) * 20
        for workers in (1, 2):
            print(f"\n{workers} worker{'s' if workers > 1 else ''}")
            start = time.perf_counter()
            with cluster.dask_client(workers, None) as client, client.as_current():
                print(f"  cluster start              {time.perf_counter() - start:6.2f} s")
                before = sum(client.run(time.process_time).values())
                seconds = best(repeat, lambda: cli_run(path, rules, size, client))
                used = (sum(client.run(time.process_time).values()) - before) / repeat
                print(f"  command, --workers {workers}       {rate(lines, seconds)}")
                print(f"  the workers' CPU           {used / lines * 1e6:5.2f} us a line, "
                      f"{used / seconds / workers:.0%} of their time")
                peak = max(client.run(peak_memory).values())
                print(f"  a worker's peak memory     {peak / 1e6:6.0f} MB")

                frame = client.persist(dd.from_pandas(pandas_frame, npartitions=few))
                distributed.wait(frame)
                seconds = best(repeat, lambda: frame_run(client, frame, rules))
                print(f"  DataFrame, {few:>5} parts    {rate(lines, seconds)}")
                small = client.persist(dd.from_pandas(pandas_frame, npartitions=many))
                distributed.wait(small)
                more = best(repeat, lambda: frame_run(client, small, rules))
                print(f"  DataFrame, {many:>5} parts    {rate(lines, more)}")
                overhead = (more - seconds) / (many - few)
                print(f"  overhead a partition       {overhead * 1e3:6.2f} ms "
                      f"(= {overhead * lines / seconds:,.0f} lines of work)")
        print("\nthe command on N workers, if each has a core of its own and this process one more:")
        for workers in (1, 2, 4, 8, 16, 32):
            print(f"  {workers:>2} workers  at most {min(workers * worker_rate, client_rate):>12,.0f} lines/s")


if __name__ == "__main__":
    logging.getLogger("distributed").setLevel(logging.ERROR)
    # The frame is sent to the workers once, in the graph, before anything is timed.
    warnings.filterwarnings("ignore", message="Sending large graph")
    main()
