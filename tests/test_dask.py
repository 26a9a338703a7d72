"""Categorising on Dask: a real two-process cluster on loopback gives exactly the
single-process result, for DataFrames, Bags and the command; bad input fails once, on the
calling side, with a clear message."""

import csv
import io
import json
import os
import pickle
import random
import socket
import subprocess
import sys

import pytest

import lorvane

lorvane_cli = pytest.importorskip("lorvane_cli")
DATA = os.path.join(os.path.dirname(lorvane_cli.__file__), "data")
STATEMENT = os.path.join(DATA, "statement.csv")
with open(os.path.join(DATA, "rules.json"), encoding="utf-8") as _stream:
    RULES = json.load(_stream)
CATCH_ALL = RULES + [{"pattern": "", "category": "Other", "merchant": "Unknown"}]


def sample_narrations():
    with open(STATEMENT, newline="", encoding="utf-8") as stream:
        return [row[1] for row in list(csv.reader(stream))[1:]]


def narrations(count, seed=3):
    """Sample narrations with their letters' case shuffled and noise around them."""
    rng = random.Random(seed)
    base = sample_narrations() + ["", "CAF\u00c9 \u0130STANBUL", "ΟΔΟΣ", "no rule here"]
    made = []
    for number in range(count):
        text = rng.choice(base)
        text = "".join(c.upper() if rng.random() < 0.5 else c.lower() for c in text)
        made.append(f"{text} {number}" if number % 3 else text)
    return made


def one_process(texts, rules):
    """The reference: one call of the module for everything."""
    return lorvane.categorize_transactions(
        {"data": [{"narration": text} for text in texts], "rules": rules})["data"]


def lorvane_command(*args, env=None):
    return subprocess.run([sys.executable, "-m", "lorvane_cli", *args], env=env,
                          capture_output=True, text=True, timeout=120)


def closed_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


# ---- without the dask extra ---------------------------------------------------------------

HIDDEN = "import sys; sys.modules[{name!r}] = None; "


def test_helper_without_dask_says_how_to_install_it():
    code = HIDDEN.format(name="dask") + "import lorvane_cli.dask_categorize"
    process = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert process.returncode == 1
    assert process.stderr.rstrip().splitlines()[-1].startswith("ImportError: ")
    assert "pip install 'lorvane[dask]'" in process.stderr


def test_command_without_distributed_fails_in_one_line(tmp_path):
    rules = tmp_path / "rules.json"
    rules.write_text(json.dumps(RULES))
    code = (HIDDEN.format(name="distributed") + "from lorvane_cli.main import main; "
            f"sys.exit(main(['categorize', {STATEMENT!r}, '--rules', {str(rules)!r}, '--workers', '2']))")
    process = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert process.returncode == 2
    assert process.stdout == ""
    assert process.stderr.startswith("lorvane: error: --workers and --scheduler need dask")
    assert process.stderr.rstrip("\n").endswith("pip install 'lorvane[dask]'")


# ---- on a cluster -------------------------------------------------------------------------

try:
    import dask.bag as db
    import dask.dataframe as dd
    import distributed
    import pandas

    from lorvane_cli.dask_categorize import categorize_bag, categorize_dataframe
except ImportError:
    distributed = None

needs_dask = pytest.mark.skipif(distributed is None, reason="needs the dask extra: pip install 'lorvane[dask]'")


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(host="127.0.0.1", processes=True, n_workers=2, threads_per_worker=1,
                                  dashboard_address=None, silence_logs=40) as cluster:
        with distributed.Client(cluster) as connected:
            yield connected


def labels(frame):
    """(category, merchant) per row, None where a column is missing."""
    def cell(value):
        return None if pandas.isna(value) else value
    return [(cell(c), cell(m)) for c, m in zip(frame["category"], frame["merchant"])]


def expected(matches):
    return [(m["category"], m["merchant"]) if m else (None, None) for m in matches]


@needs_dask
@pytest.mark.filterwarnings("ignore:Sending large graph")
def test_frame_of_200000_lines_in_many_partitions_matches_one_process(client):
    texts = narrations(200_000)
    source = pandas.DataFrame({"narration": texts, "amount": range(len(texts))})
    frame = dd.from_pandas(source, npartitions=64)
    labelled = categorize_dataframe(frame, RULES)
    assert list(labelled.columns) == ["narration", "amount", "category", "merchant"]
    result = client.compute(labelled).result()
    assert labelled.npartitions == 64
    assert result["amount"].tolist() == list(range(len(texts)))
    assert result["narration"].tolist() == texts
    assert labels(result) == expected(one_process(texts, RULES))
    assert str(result["category"].dtype) == str(labelled._meta["category"].dtype)


@needs_dask
def test_rules_are_one_key_of_the_graph_whatever_the_partitions():
    marker = "rule-marker-\u263a"
    rules = RULES + [{"pattern": "x", "category": marker, "merchant": "m"}]
    frame = dd.from_pandas(pandas.DataFrame({"narration": ["a"] * 200}), npartitions=50)
    graph = dict(categorize_dataframe(frame, rules).__dask_graph__())
    holders = [key for key, task in graph.items() if marker.encode() in pickle.dumps(task)]
    assert len(holders) == 1


@needs_dask
def test_later_changes_to_the_rules_list_do_not_reach_the_graph(client):
    rules = [dict(rule) for rule in RULES]
    frame = dd.from_pandas(pandas.DataFrame({"narration": ["FRESHMART 1"]}), npartitions=1)
    labelled = categorize_dataframe(frame, rules)
    rules[4]["category"] = "changed"
    rules.insert(0, {"pattern": "", "category": "first", "merchant": "first"})
    assert labels(client.compute(labelled).result()) == [("Groceries", "FreshMart")]


NULLS = [None, float("nan"), "NA"]


@pytest.mark.parametrize("null", NULLS, ids=["None", "nan", "NA"])
@pytest.mark.parametrize("dtype", [object, "string"])
@pytest.mark.parametrize("rules, for_null", [
    (RULES, (None, None)),
    (CATCH_ALL, ("Other", "Unknown")),
])
@needs_dask
def test_missing_narrations_count_as_empty(client, null, dtype, rules, for_null):
    null = pandas.NA if null == "NA" else null
    source = pandas.DataFrame({"narration": pandas.Series(["ZESTO", null, "x", null], dtype=dtype)})
    result = client.compute(categorize_dataframe(dd.from_pandas(source, npartitions=2), rules)).result()
    first = ("Eating out", "Zesto Kitchen")
    third = ("Other", "Unknown") if rules is CATCH_ALL else (None, None)
    assert labels(result) == [first, for_null, third, for_null]


@needs_dask
def test_bag_of_records_and_of_narrations_match_one_process(client):
    texts = narrations(5_000, seed=11)
    reference = one_process(texts, RULES)
    records = [{"narration": text, "n": number} for number, text in enumerate(texts)]
    labelled = client.compute(categorize_bag(db.from_sequence(records, npartitions=17), RULES)).result()
    assert [record["n"] for record in labelled] == list(range(len(texts)))
    assert [(r["category"], r["merchant"]) for r in labelled] == expected(reference)
    matches = client.compute(categorize_bag(db.from_sequence(texts, npartitions=9), RULES, field=None))
    assert matches.result() == reference


def rejection(rules):
    """The module's own message for a request with these rules."""
    with pytest.raises(ValueError) as raised:
        lorvane.categorize_transactions({"data": [], "rules": rules})
    return str(raised.value)


MALFORMED = [
    [{"pattern": "a", "category": "b"}],
    [{"pattern": "a", "category": 5, "merchant": "c"}],
    [{"pattern": None, "category": "b", "merchant": "c"}],
    RULES + ["not a rule"],
]


@needs_dask
@pytest.mark.parametrize("rules", MALFORMED)
def test_malformed_rules_raise_the_module_message_before_any_task(rules):
    frame = dd.from_pandas(pandas.DataFrame({"narration": ["a"] * 100}), npartitions=10)
    # No client is needed: the check happens while the graph is built.
    with pytest.raises(ValueError) as raised:
        categorize_dataframe(frame, rules)
    assert str(raised.value) == rejection(rules)
    with pytest.raises(ValueError) as raised:
        categorize_bag(db.from_sequence(["a"]), rules)
    assert str(raised.value) == rejection(rules)


@pytest.mark.parametrize("columns, column, problem", [
    ({"narration": ["a"]}, "Narration", "no column named 'Narration' to categorise (columns: 'narration')"),
    ({"amount": [1.5]}, "amount", "column 'amount' holds float64 values; narrations must be text"),
])
@needs_dask
def test_frame_without_a_text_column(columns, column, problem):
    frame = dd.from_pandas(pandas.DataFrame(columns), npartitions=1)
    with pytest.raises(ValueError, match="^" + problem.replace("(", r"\(").replace(")", r"\)") + "$"):
        categorize_dataframe(frame, RULES, column=column)


@needs_dask
def test_bag_record_without_the_field_fails(client):
    bag = db.from_sequence([{"narration": "a"}, {"memo": "b"}], npartitions=1)
    with pytest.raises(ValueError, match="a record has no 'narration' to categorise: {'memo': 'b'}"):
        client.compute(categorize_bag(bag, RULES)).result()


# ---- the command on a cluster -------------------------------------------------------------

def write_rules(tmp_path, rules=RULES):
    path = tmp_path / "rules.json"
    path.write_text(json.dumps(rules))
    return str(path)


def both_ways(tmp_path, statement, *options, scheduler):
    """The command's output and messages without a cluster and with `scheduler`'s."""
    from lorvane_cli.main import main
    outcomes = []
    for extra in ([], ["--scheduler", scheduler]):
        out = tmp_path / f"out{len(outcomes)}.csv"
        errors = io.StringIO()
        saved, sys.stderr = sys.stderr, errors
        try:
            status = main(["categorize", str(statement), "--rules", write_rules(tmp_path),
                           "-o", str(out), "--force", *options, *extra])
        finally:
            sys.stderr = saved
        outcomes.append((status, out.read_bytes() if out.exists() else None, errors.getvalue()))
    return outcomes


# Rows whose quoted fields span lines, so that runs of a few lines end inside them.
AWKWARD = ('Date,Narration,Amount\r\n'
           '1,"FRESH\nMART\r\nline ""3""",10\r\n'
           '\r\n'
           '2,zesto,"5\n\n"\n'
           '3,,\n'
           '4,"atm cash",1\r'
           '5,"skytel\n\n\n\nmore",2\n'
           '6,"ends without a line end\nstreamflix",7')


@needs_dask
@pytest.mark.parametrize("lines", [1, 2, 3, 5, 50_000])
def test_command_runs_cut_inside_quoted_fields_give_the_same_bytes(client, tmp_path, lines):
    statement = tmp_path / "awkward.csv"
    statement.write_bytes(AWKWARD.encode())
    alone, clustered = both_ways(tmp_path, statement, "--batch-rows", str(lines),
                                 scheduler=client.scheduler.address)
    assert alone[0] == 0 and alone[1].count(b"\n") > 10
    assert clustered == alone


# Statements that must fail, with the same line both ways, wherever the runs are cut.
BROKEN = [
    ("unclosed", 'Date,Narration,Amount\n1,a,2\n2,"b\n\nc",3\n3,"open\n4,d,5\n5,e,6\n',
     "line 6: unclosed quote: the quoted field that begins on this line runs to the end of the file"),
    ("too many", 'Date,Narration,Amount\n1,a,2\n2,"b\nc",3\n3,POS X, CITY,4\n4,d,5\n',
     "line 5: expected 3 fields, found 4"),
    ("too few", 'Date,Narration,Amount\n1,a,2\n2,b,3\n3,c,4\n4\n5,e,6\n', "line 5: expected 3 fields, found 1"),
]


@needs_dask
@pytest.mark.parametrize("lines", [1, 2, 50_000])
@pytest.mark.parametrize("name, text, problem", BROKEN, ids=[case[0] for case in BROKEN])
def test_command_broken_rows_fail_the_same_way(client, tmp_path, lines, name, text, problem):
    statement = tmp_path / "broken.csv"
    statement.write_bytes(text.encode())
    alone, clustered = both_ways(tmp_path, statement, "--batch-rows", str(lines),
                                 scheduler=client.scheduler.address)
    assert alone[:2] == (2, None)
    assert alone[2] == f"lorvane: error: {statement}: {problem}\n"
    assert clustered == alone


@needs_dask
def test_command_csv_error_names_the_same_line(client, tmp_path):
    rows = [f"{n},FRESHMART {n}" for n in range(40)]
    rows[29] = '29,"' + "x" * 140_000 + '"'
    statement = tmp_path / "huge.csv"
    statement.write_text("n,Narration\n" + "\n".join(rows) + "\n")
    alone, clustered = both_ways(tmp_path, statement, "--batch-rows", "7", scheduler=client.scheduler.address)
    assert alone[0] == 2 and "line 31: field larger than field limit" in alone[2]
    assert clustered == alone


@needs_dask
def test_command_with_two_local_workers_writes_the_same_bytes(tmp_path):
    texts = narrations(200_000, seed=5)
    statement = tmp_path / "big.csv"
    with open(statement, "w", newline="", encoding="utf-8") as stream:
        writer = csv.writer(stream)
        writer.writerow(["Date", "Narration", "Amount"])
        writer.writerows([number, text, number % 977] for number, text in enumerate(texts))
    rules = write_rules(tmp_path)
    alone = lorvane_command("categorize", str(statement), "--rules", rules, "-o", str(tmp_path / "a.csv"))
    clustered = lorvane_command("categorize", str(statement), "--rules", rules, "-o", str(tmp_path / "b.csv"),
                                "--workers", "2", "--batch-rows", "20000")
    assert (alone.returncode, alone.stderr) == (0, "")
    assert (clustered.returncode, clustered.stderr) == (0, "")
    assert (tmp_path / "b.csv").read_bytes() == (tmp_path / "a.csv").read_bytes()


@needs_dask
def test_command_with_an_unreachable_scheduler_fails_in_one_line(tmp_path):
    address = f"tcp://127.0.0.1:{closed_port()}"
    out = tmp_path / "out.csv"
    process = lorvane_command("categorize", STATEMENT, "--rules", write_rules(tmp_path), "-o", str(out),
                              "--scheduler", address, "--connect-timeout", "1")
    assert process.returncode == 2 and process.stdout == ""
    line = process.stderr.rstrip("\n")
    assert "\n" not in line
    assert line.startswith(f"lorvane: error: no Dask scheduler answered at {address} within 1 s")
    assert not out.exists()


@pytest.mark.parametrize("options, problem", [
    (["--workers", "0"], "not a positive whole number: '0'"),
    (["--workers", "2", "--scheduler", "tcp://127.0.0.1:1"], "not allowed with argument"),
    (["--scheduler", "tcp://127.0.0.1:1", "--connect-timeout", "0"], "not a positive number of seconds"),
    (["--workers", "1", "--column", "Memo"], "no column named 'Memo'"),
])
def test_command_cluster_options_rejected(tmp_path, options, problem):
    process = lorvane_command("categorize", STATEMENT, "--rules", write_rules(tmp_path), *options)
    assert process.returncode == 2 and process.stdout == ""
    assert problem in process.stderr and "Traceback" not in process.stderr


@needs_dask
@pytest.mark.parametrize("address, problem", [
    ("scheduler", "not a Dask scheduler address: 'scheduler' (missing port number"),
    ("tcp://127.0.0.1:70000", "not a Dask scheduler address: 'tcp://127.0.0.1:70000' (port 70000 is out of range)"),
    ("udp://127.0.0.1:8786", "not a Dask scheduler address: 'udp://127.0.0.1:8786' (unknown address scheme"),
])
def test_command_rejects_a_malformed_scheduler_address(tmp_path, capsys, address, problem):
    from lorvane_cli.main import main
    status = main(["categorize", STATEMENT, "--rules", write_rules(tmp_path), "--scheduler", address])
    captured = capsys.readouterr()
    assert (status, captured.out) == (2, "")
    assert captured.err.startswith("lorvane: error: " + problem) and captured.err.count("\n") == 1
