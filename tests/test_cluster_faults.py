"""The command on a cluster that loses workers: a lost worker's share is done again by the
workers left, so the output is byte for byte the single-process output; with every worker
gone the run fails in one line, exit 2, leaving no file. The statement comes through a
pipe, so each fault lands at a known point of the run: after the first runs' results are
held by the workers and before the rest of the statement is read."""

import csv
import io
import json
import os
import signal
import subprocess
import sys
import time

import pytest

lorvane_cli = pytest.importorskip("lorvane_cli")
distributed = pytest.importorskip("distributed")

DATA = os.path.join(os.path.dirname(lorvane_cli.__file__), "data")
GUARD_SECONDS = 120


def statement_text(rows):
    with open(os.path.join(DATA, "statement.csv"), newline="", encoding="utf-8") as stream:
        sample = list(csv.reader(stream))
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\r\n")
    writer.writerow(sample[0])
    for number in range(rows):
        row = list(sample[1 + number % (len(sample) - 1)])
        row[1] = f"{row[1]} {number}"
        writer.writerow(row)
    return out.getvalue()


def wait_for(condition, what):
    """Polls `condition` until it holds; the deadline only guards against a hang."""
    deadline = time.monotonic() + GUARD_SECONDS
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"gave up waiting for {what}")
        time.sleep(0.02)


@pytest.fixture
def scheduler():
    """A scheduler on loopback with two worker processes of its own, without nannies, so
    that a killed worker stays dead."""
    with distributed.LocalCluster(n_workers=0, host="127.0.0.1", dashboard_address="127.0.0.1:0",
                                  scheduler_kwargs={"dashboard": False}, silence_logs=50) as cluster:
        address = cluster.scheduler_address
        workers = [subprocess.Popen(
            [sys.executable, "-m", "distributed.cli.dask_worker", address, "--no-nanny",
             "--nthreads", "1", "--host", "127.0.0.1", "--no-dashboard"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for _ in range(2)]
        try:
            with distributed.Client(address, set_as_default=False) as client:
                wait_for(lambda: len(client.nthreads()) == 2, "two workers")
                yield client, address
        finally:
            for worker in workers:
                worker.kill()
                worker.wait()


def chunk_holders(client):
    """The workers holding the result of a categorised run."""
    return {worker for key, holders in client.who_has().items() if "categorize_chunk" in str(key)
            for worker in holders}


def start_command(tmp_path, address, out, *options):
    rules = tmp_path / "rules.json"
    with open(os.path.join(DATA, "rules.json"), encoding="utf-8") as stream:
        rules.write_text(stream.read())
    return subprocess.Popen(
        [sys.executable, "-m", "lorvane_cli", "categorize", "-", "--rules", str(rules), "-o", str(out),
         "--scheduler", address, "--batch-rows", "100", *options],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def single_process(tmp_path, text):
    out = tmp_path / "alone.csv"
    process = subprocess.run(
        [sys.executable, "-m", "lorvane_cli", "categorize", "-", "--rules",
         os.path.join(DATA, "rules.json"), "-o", str(out)],
        input=text.encode(), capture_output=True, timeout=GUARD_SECONDS)
    assert process.returncode == 0, process.stderr
    return out.read_bytes()


def kill(client, addresses):
    pids = client.run(os.getpid, workers=list(addresses))
    for pid in pids.values():
        os.kill(pid, signal.SIGKILL)
    wait_for(lambda: not set(addresses) & set(client.nthreads()), "the scheduler to notice")


def test_a_killed_worker_changes_nothing(scheduler, tmp_path):
    client, address = scheduler
    text = statement_text(3000)
    head, tail = text[:len(text) // 3], text[len(text) // 3:]
    out = tmp_path / "out.csv"
    command = start_command(tmp_path, address, out)
    try:
        command.stdin.write(head.encode())
        command.stdin.flush()
        holders = wait_for(lambda: chunk_holders(client), "a categorised run held by a worker")
        kill(client, [sorted(holders)[0]])
        stdout, stderr = command.communicate(tail.encode(), timeout=GUARD_SECONDS)
    finally:
        command.kill()
    assert (command.returncode, stdout, stderr) == (0, b"", b"")
    assert out.read_bytes() == single_process(tmp_path, text)


def test_every_worker_gone_fails_in_one_line(scheduler, tmp_path):
    client, address = scheduler
    text = statement_text(3000)
    out = tmp_path / "out.csv"
    command = start_command(tmp_path, address, out, "--connect-timeout", "1")
    try:
        command.stdin.write(text[:len(text) // 3].encode())
        command.stdin.flush()
        wait_for(lambda: chunk_holders(client), "a categorised run held by a worker")
        kill(client, list(client.nthreads()))
        stdout, stderr = command.communicate(text[len(text) // 3:].encode(), timeout=GUARD_SECONDS)
    finally:
        command.kill()
    assert (command.returncode, stdout) == (2, b"")
    assert stderr.decode() == ("lorvane: error: every Dask worker is gone: none has been connected "
                               "for 1 s; no output was written\n")
    assert os.listdir(tmp_path) == ["rules.json"]


def test_local_workers_killed_with_their_resource_tracker(tmp_path):
    """--workers: the nannies start new workers; nothing is printed, not even by the
    resource tracker that is started again."""
    psutil = pytest.importorskip("psutil")
    text = statement_text(3000)
    out = tmp_path / "out.csv"
    command = subprocess.Popen(
        [sys.executable, "-m", "lorvane_cli", "categorize", "-", "--rules", os.path.join(DATA, "rules.json"),
         "-o", str(out), "--workers", "2", "--batch-rows", "100"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        command.stdin.write(text[:len(text) // 3].encode())
        command.stdin.flush()
        # The hidden output file is made once the cluster is up and the runs are going out.
        wait_for(lambda: any(name.startswith(".out.csv.") for name in os.listdir(tmp_path)), "the run to start")
        children = psutil.Process(command.pid).children(recursive=True)
        assert sum("--multiprocessing-fork" in " ".join(child.cmdline()) for child in children) == 2
        for child in children:
            child.kill()
        stdout, stderr = command.communicate(text[len(text) // 3:].encode(), timeout=GUARD_SECONDS)
    finally:
        command.kill()
    assert (command.returncode, stdout, stderr) == (0, b"", b"")
    assert out.read_bytes() == single_process(tmp_path, text)
