"""Output files under faults: a run stopped by SIGINT, SIGTERM or SIGHUP leaves nothing
behind; without --force a file that appears while the run works is never replaced, and of
two runs racing to the same file one fails with "already exists"."""

import errno
import os
import signal
import subprocess
import sys
import tempfile
import time

import pytest

lorvane_cli = pytest.importorskip("lorvane_cli")
from lorvane_cli.errors import CliError  # noqa: E402
from lorvane_cli.errors import Stopped  # noqa: E402
from lorvane_cli.output import replaced_file  # noqa: E402
from lorvane_cli.stopping import stop_signals_raise  # noqa: E402

RULES = os.path.join(os.path.dirname(lorvane_cli.__file__), "data", "rules.json")


def hidden_file(directory):
    deadline = time.monotonic() + 60  # a guard only: the file appears as soon as the run starts
    while time.monotonic() < deadline:
        names = [name for name in os.listdir(directory) if name.startswith(".out.csv.")]
        if names:
            return names[0]
        time.sleep(0.01)
    raise AssertionError("the run never started writing")


@pytest.mark.parametrize("signal_name, status", [("SIGINT", 130), ("SIGTERM", 143), ("SIGHUP", 129)])
def test_a_stopped_run_leaves_no_file(tmp_path, signal_name, status):
    command = subprocess.Popen(
        [sys.executable, "-m", "lorvane_cli", "categorize", "-", "--rules", RULES, "-o", "out.csv",
         "--batch-rows", "1"], cwd=tmp_path, stdin=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        command.stdin.write(b"Date,Narration\n" + b"1,FRESHMART\n" * 1000)
        command.stdin.flush()
        hidden_file(tmp_path)  # the run is writing and waits for more of the statement
        command.send_signal(getattr(signal, signal_name))
        command.wait(timeout=60)
    finally:
        command.kill()
    assert command.returncode == status
    assert "Traceback" not in command.stderr.read().decode()
    assert os.listdir(tmp_path) == []


@pytest.mark.skipif(not hasattr(signal, "SIGTERM") or sys.platform == "win32", reason="POSIX signals")
def test_a_signal_just_after_the_file_is_made_still_removes_it(tmp_path, monkeypatch):
    made = tempfile.mkstemp

    def made_then_signalled(*args, **kwargs):
        result = made(*args, **kwargs)
        os.kill(os.getpid(), signal.SIGTERM)  # handled at the next bytecode, before the name is kept
        return result

    monkeypatch.setattr(tempfile, "mkstemp", made_then_signalled)
    with pytest.raises(Stopped), stop_signals_raise():
        with replaced_file(str(tmp_path / "out.csv"), force=False):
            raise AssertionError("the run goes on after SIGTERM")
    assert os.listdir(tmp_path) == []


def test_a_file_made_meanwhile_is_not_replaced(tmp_path):
    target = tmp_path / "out.csv"
    with pytest.raises(CliError, match="already exists; pass --force to overwrite it"):
        with replaced_file(str(target), force=False) as temporary:
            with open(temporary, "w") as stream:
                stream.write("ours")
            target.write_text("theirs")
    assert target.read_text() == "theirs" and os.listdir(tmp_path) == ["out.csv"]


def test_without_hard_links_the_name_is_claimed_exclusively(tmp_path, monkeypatch):
    def no_links(source, target):
        raise OSError(errno.EPERM, "Operation not permitted")

    monkeypatch.setattr(os, "link", no_links)
    target = tmp_path / "out.csv"
    with replaced_file(str(target), force=False) as temporary:
        with open(temporary, "w") as stream:
            stream.write("ours")
    assert target.read_text() == "ours" and os.listdir(tmp_path) == ["out.csv"]
    target.unlink()
    with pytest.raises(CliError, match="already exists"):
        with replaced_file(str(target), force=False):
            target.write_text("theirs")
    assert target.read_text() == "theirs" and os.listdir(tmp_path) == ["out.csv"]


def test_two_runs_racing_to_one_file(tmp_path):
    statement = tmp_path / "in.csv"
    statement.write_text("Date,Narration\n" + "1,FRESHMART\n" * 20000)
    runs = [subprocess.Popen([sys.executable, "-m", "lorvane_cli", "categorize", "in.csv", "--rules", RULES,
                              "-o", "out.csv"], cwd=tmp_path, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            for _ in range(2)]
    outcomes = sorted((run.wait(timeout=60), run.stderr.read().decode()) for run in runs)
    assert [status for status, _ in outcomes] == [0, 2]
    assert outcomes[1][1] == "lorvane: error: out.csv already exists; pass --force to overwrite it\n"
    single = subprocess.run([sys.executable, "-m", "lorvane_cli", "categorize", "in.csv", "--rules", RULES],
                            cwd=tmp_path, capture_output=True, timeout=60)
    assert (tmp_path / "out.csv").read_bytes() == single.stdout
    assert sorted(os.listdir(tmp_path)) == ["in.csv", "out.csv"]
