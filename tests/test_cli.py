"""The lorvane command, run as a separate process: the bundled samples, reports that agree
with the module, batching, and bad input (exit 2, one line, no traceback, no file touched)."""

import csv
import io
import json
import os
import re
import subprocess
import sys

import pytest

import lorvane

lorvane_cli = pytest.importorskip("lorvane_cli")
DATA = os.path.join(os.path.dirname(lorvane_cli.__file__), "data")
STATEMENT = os.path.join(DATA, "statement.csv")
RULES = os.path.join(DATA, "rules.json")
LABELLED = os.path.join(DATA, "labelled.csv")


def run(*args, cwd=None, env=None):
    return subprocess.run([sys.executable, "-m", "lorvane_cli", *args], cwd=cwd, env=env,
                          capture_output=True, text=True, timeout=60)


def succeeded(process):
    assert process.returncode == 0, process.stderr
    return process.stdout


def rejected(process):
    """The one line of a run that failed on bad input."""
    assert process.returncode == 2, (process.stdout, process.stderr)
    assert "Traceback" not in process.stderr
    assert process.stdout == ""
    line = process.stderr.rstrip("\n")
    assert "\n" not in line and line.startswith("lorvane: error: ")
    return line


def csv_rows(text):
    return list(csv.reader(io.StringIO(text)))


def write(path, text, encoding="utf-8"):
    path.write_text(text, encoding=encoding)
    return str(path)


def test_demo_runs_every_command_on_the_samples():
    out = succeeded(run("demo"))
    assert "lorvane emi --amount 2500000 --months 240 --rate 8.5 --inflation 5 --start 2025-04" in out
    assert "monthly instalment     21,696" in out
    assert "16 of 22 rows categorised by 12 rules" in out
    assert "freshmart     Groceries      FreshMart" in out
    assert "The derived rules categorise 19 of 22 rows" in out


LOANS = [
    (["--amount", "100000", "--months", "3", "--rate", "12", "--inflation", "6", "--start", "2024-11"],
     "the monthly instalment"),
    (["--amount", "1,00,000", "--emi", "8885", "--rate", "12%"], "the tenure"),
    (["--emi", "1000", "--months", "12", "--rate", "12", "--start", "2023-12"], "the loan amount"),
]


@pytest.mark.parametrize("options, solved", LOANS)
def test_emi_report_agrees_with_the_module(options, solved):
    out = succeeded(run("emi", *options, "--schedule"))
    result = json.loads(succeeded(run("emi", *options, "--json")))
    summary, years, schedule = out.split("\n\n")
    title, *lines = summary.splitlines()
    assert title == f"EMI loan, solved for {solved}"
    values = {cells[0]: cells[1] for cells in (re.split(r"\s{2,}", line.strip()) for line in lines)}
    assert values["loan amount"] == f"{result['loanAmount']:,}"
    assert values["monthly instalment"] == f"{result['emi']:,}"
    assert values["tenure"] == str(result["months"])
    assert values["total paid"] == f"{result['totals']['nominalPaid']:,}"
    assert values["in real terms"] == f"{result['totals']['realPaid']:,}"

    rows = [line.split() for line in schedule.splitlines()[2:]]
    assert len(rows) == result["months"] == len(result["schedule"])
    for cells, row in zip(rows, result["schedule"]):
        assert [int(cell.replace(",", "")) for cell in cells[1:]] == [
            row["emi"], row["principal"], row["interest"], row["outstanding"], row["realEmi"],
            row["remainingEmi"]]

    table = [line.split() for line in years.splitlines()[2:]]
    assert sum(int(cells[1]) for cells in table) == result["months"]
    assert sum(int(cells[2].replace(",", "")) for cells in table) == result["totals"]["nominalPaid"]
    if result["years"]:
        assert [(int(cells[0]), int(cells[2].replace(",", "")), int(cells[5].replace(",", "")),
                 int(cells[6].replace(",", ""))) for cells in table] == [
            (y["year"], y["nominalTotal"], y["realTotal"], y["closingOutstanding"]) for y in result["years"]]


def test_emi_json_is_the_module_result():
    out = succeeded(run("emi", "--amount", "1000", "--months", "1", "--rate", "12", "--json"))
    assert out == lorvane.compute_emi_json(
        '{"mode":"emi","loanAmount":1000.0,"months":1,"interestRate":12.0}') + "\n"


def expected_labels(narrations, rules):
    result = lorvane.categorize_transactions(
        {"data": [{"narration": n} for n in narrations], "rules": rules})
    return [[m["category"], m["merchant"]] if m else ["", ""] for m in result["data"]]


@pytest.mark.parametrize("batch", ["1", "7", "50000"])
def test_categorize_adds_the_columns_in_batches(batch):
    rows = csv_rows(succeeded(run("categorize", STATEMENT, "--rules", RULES, "--batch-rows", batch)))
    source = csv_rows(open(STATEMENT, encoding="utf-8").read())
    assert rows[0] == source[0] + ["category", "merchant"]
    assert [row[:-2] for row in rows[1:]] == source[1:]
    with open(RULES, encoding="utf-8") as stream:
        rules = json.load(stream)
    assert [row[-2:] for row in rows[1:]] == expected_labels([row[1] for row in source[1:]], rules)


RULE = '[{"pattern": "mart", "category": "Shops", "merchant": "Mart"}]'


@pytest.mark.parametrize("text, options, expected", [
    # a semicolon file with a "Transaction Details" column keeps its separator
    ("Date;Transaction Details\n1;FRESHMART\n2;ATM\n", [],
     "Date;Transaction Details;category;merchant\n1;FRESHMART;Shops;Mart\n2;ATM;;\n"),
    # --column picks the column; blank lines dropped
    ("a,b\nmart,x\n\nx,\n", ["--column", "B"], "a,b,category,merchant\nmart,x,,\nx,,,\n"),
    # an existing category column is filled, not repeated; its labels are kept...
    ("Narration,Category\nMART 1,old\nnone,old\nMART 2,\n", [],
     "Narration,Category,merchant\nMART 1,old,\nnone,old,\nMART 2,Shops,Mart\n"),
    # ... unless --relabel
    ("Narration,Category\nMART 1,old\nnone,old\n", ["--relabel"],
     "Narration,Category,merchant\nMART 1,Shops,Mart\nnone,,\n"),
    # a byte order mark is not part of the first header, and is kept
    ("\ufeffParticulars\nsupermart\n", [], "\ufeffParticulars,category,merchant\nsupermart,Shops,Mart\n"),
])
def test_categorize_columns(tmp_path, text, options, expected):
    statement = write(tmp_path / "in.csv", text)
    rules = write(tmp_path / "rules.json", RULE)
    assert succeeded(run("categorize", statement, "--rules", rules, *options)) == expected


def test_derived_rules_are_accepted_as_rules(tmp_path):
    out = succeeded(run("derive", LABELLED))
    rules = json.loads(out)["rules"]
    source = csv_rows(open(LABELLED, encoding="utf-8").read())
    labelled = [{"narration": r[1], "category": r[2], "merchant": r[3]} for r in source[1:] if r[2] or r[3]]
    assert rules == lorvane.derive_rules({"data": labelled})["rules"]
    rules_path = write(tmp_path / "derived.json", out)
    rows = csv_rows(succeeded(run("categorize", STATEMENT, "--rules", rules_path)))
    assert sum(1 for row in rows[1:] if row[-2]) == 19


BAD = [
    (["categorize", "missing.csv", "--rules", RULES], "missing.csv: no such file"),
    (["categorize", "no_narration.csv", "--rules", RULES], "no narration column"),
    (["categorize", "empty.csv", "--rules", RULES], "empty.csv: empty file"),
    (["categorize", "latin1.csv", "--rules", RULES], "not UTF-8 text"),
    (["categorize", STATEMENT, "--rules", "truncated.json"], "truncated.json: not valid JSON"),
    (["categorize", STATEMENT, "--rules", "object.json"], "expected a list of rules"),
    (["categorize", STATEMENT, "--rules", "no_merchant.json"], 'rule 2 has no "merchant"'),
    (["categorize", STATEMENT, "--rules", "number.json"], 'rule 1: "pattern" must be a string'),
    (["categorize", STATEMENT, "--rules", RULES, "--column", "Memo"], "no column named 'Memo'"),
    (["categorize", STATEMENT], "the following arguments are required: --rules"),
    (["derive", STATEMENT], "no category column"),
    (["emi", "--amount", "1000", "--rate", "8"], "give exactly two of --amount, --emi and --months"),
    (["emi", "--amount", "1000", "--months", "601", "--rate", "8"],
     "tenure of 601 months exceeds the maximum supported 600 months"),
    (["emi", "--amount", "1000", "--months", "12", "--rate", "8", "--start", "2024-13"],
     "invalid request: month out of range in 2024-13"),
    (["emi", "--amount", "100000", "--emi", "100", "--rate", "12"], "does not cover the first month's interest"),
    (["emi", "--amount", "ten", "--months", "12", "--rate", "8"], "argument --amount: not an amount: 'ten'"),
    (["emi", "--amount", "0", "--months", "12", "--rate", "8"], "loanAmount must be greater than zero"),
    (["fly"], "invalid choice: 'fly'"),
]


@pytest.mark.parametrize("args, problem", BAD)
def test_bad_input_is_one_line_and_exit_2(tmp_path, args, problem):
    write(tmp_path / "no_narration.csv", "Date,Amount\n1,2\n")
    write(tmp_path / "empty.csv", "")
    write(tmp_path / "latin1.csv", "Narration\ncaf\u00e9\n", encoding="latin-1")
    write(tmp_path / "truncated.json", '[{"pattern": "a"')
    write(tmp_path / "object.json", '{"pattern": "a"}')
    write(tmp_path / "no_merchant.json", '{"rules": [{"pattern": "a", "category": "b", "merchant": "c"},'
                                         ' {"pattern": "a", "category": "b"}]}')
    write(tmp_path / "number.json", '[{"pattern": 5, "category": "b", "merchant": "c"}]')
    assert problem in rejected(run(*args, cwd=tmp_path))


@pytest.mark.parametrize("args", [
    ["categorize", STATEMENT, "--rules", RULES, "-o", "taken"],
    ["derive", LABELLED, "--output", "taken"],
    ["emi", "--amount", "1000", "--months", "12", "--rate", "8", "--plot", "taken"],
])
def test_existing_output_is_kept_without_force(tmp_path, args):
    taken = tmp_path / "taken"
    taken.write_text("keep")
    rejected(run(*args, cwd=tmp_path))
    assert taken.read_text() == "keep"


def test_force_replaces_and_failure_leaves_nothing(tmp_path):
    taken = write(tmp_path / "taken.json", "keep")
    succeeded(run("derive", LABELLED, "-o", taken, "--force"))
    assert json.loads(open(taken).read())["rules"]

    # A bad byte far beyond the sampled start fails the run half-way: no output file remains.
    text = "Narration\n" + "FRESHMART ORDER\n" * 10000
    (tmp_path / "late.csv").write_bytes(text.encode() + b"caf\xe9\n")
    line = rejected(run("categorize", "late.csv", "--rules", RULES, "-o", "out.csv", cwd=tmp_path))
    assert "not UTF-8 text after line" in line
    assert sorted(os.listdir(tmp_path)) == ["late.csv", "taken.json"]


def test_plot_without_matplotlib_says_how_to_install(tmp_path):
    blocker = tmp_path / "blocked" / "matplotlib"
    blocker.mkdir(parents=True)
    (blocker / "__init__.py").write_text("raise ImportError('blocked for this test')\n")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [str(tmp_path / "blocked")] + [p for p in sys.path if p]))
    line = rejected(run("emi", "--amount", "1000", "--months", "12", "--rate", "8", "--plot", "c.png",
                        cwd=tmp_path, env=env))
    assert "pip install 'lorvane[plot]'" in line
    assert not (tmp_path / "c.png").exists()


def test_plot_writes_an_image(tmp_path):
    pytest.importorskip("matplotlib")
    process = run("emi", "--amount", "250000", "--months", "60", "--rate", "9", "--inflation", "4",
                  "--start", "2025-06", "--plot", "loan.png", cwd=tmp_path)
    assert succeeded(process).startswith("EMI loan")
    assert (tmp_path / "loan.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
