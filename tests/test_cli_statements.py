"""The command on statements as people really have them: rows that do not fit the header,
lines above it, separators, line endings and byte order marks, labels already there,
amounts as people write them; rules derived with unlabelled rows and reference numbers,
and checked. Every bad case ends in one line, exit 2 and no output file."""

import json
import os
import pty
import subprocess
import sys

import pytest

lorvane_cli = pytest.importorskip("lorvane_cli")
from lorvane_cli.loan_request import amount  # noqa: E402

DATA = os.path.join(os.path.dirname(lorvane_cli.__file__), "data")
RULES = [{"pattern": "mart", "category": "Shops", "merchant": "Mart"},
         {"pattern": "zesto", "category": "Food", "merchant": "Zesto"}]


def run(*args, cwd, stdin=None):
    return subprocess.run([sys.executable, "-m", "lorvane_cli", *args], cwd=cwd, input=stdin,
                          capture_output=True, timeout=60)


def rejected(process):
    assert process.returncode == 2, (process.stdout, process.stderr)
    line = process.stderr.decode()
    assert line.count("\n") == 1 and line.startswith("lorvane: error: ") and "Traceback" not in line
    return line[len("lorvane: error: "):-1]


def categorize(tmp_path, data, *options, rules=RULES):
    """Runs categorize on `data` (bytes) into out.csv: (process, output bytes or None)."""
    (tmp_path / "in.csv").write_bytes(data)
    (tmp_path / "rules.json").write_text(json.dumps(rules))
    process = run("categorize", "in.csv", "--rules", "rules.json", "-o", "out.csv", *options, cwd=tmp_path)
    out = tmp_path / "out.csv"
    return process, out.read_bytes() if out.exists() else None


MALFORMED = [
    # an unquoted comma in the narration
    ("Date,Narration,Amount,Balance\n03/04/25,POS BIGBASKET, BANGALORE,2318.50,296195.50\n",
     "line 2: expected 4 fields, found 5"),
    ("Date,Narration,Amount\n1,MART,2\n2,ZESTO,3,extra\n", "line 3: expected 3 fields, found 4"),
    ("Date,Narration,Amount\n1,MART,2\n\n2,ZESTO\n", "line 4: expected 3 fields, found 2"),
    # a row spanning lines is named by the line it starts on
    ('Date,Narration,Amount\n1,"MART\nCITY",2\n2,"A\nB",3,4\n', "line 4: expected 3 fields, found 4"),
    ('Narration,Amount\r\n"MART",2\r\n"open,3\r\n4,5\r\n',
     "line 3: unclosed quote: the quoted field that begins on this line runs to the end of the file"),
    # the line where the unclosed field began, not the row
    ('Date,Narration,Amount\n1,"two\nlines","and open\n2,x,3\n',
     "line 3: unclosed quote: the quoted field that begins on this line runs to the end of the file"),
    ('Narration,Amount\nMART,"1"x",2\n', "line 2: expected 2 fields, found 3"),
]


@pytest.mark.parametrize("text, problem", MALFORMED)
@pytest.mark.parametrize("workers", [False])
def test_malformed_rows_fail_and_write_nothing(tmp_path, text, problem, workers):
    process, out = categorize(tmp_path, text.encode())
    assert rejected(process) == f"in.csv: {problem}"
    assert out is None and sorted(os.listdir(tmp_path)) == ["in.csv", "rules.json"]


PREAMBLE = [
    # account lines above the header are found past and kept
    ("Account,0042 1234\nPeriod,April 2025\n\nDate,Narration,Amount\n1,FRESHMART,2\n", [],
     "Account,0042 1234\nPeriod,April 2025\n\nDate,Narration,Amount,category,merchant\n1,FRESHMART,2,Shops,Mart\n"),
    # Excel's sep= line names the separator, and is kept
    ("sep=;\nDate;Narration;Amount\n1;ZESTO;2,50\n", [],
     "sep=;\nDate;Narration;Amount;category;merchant\n1;ZESTO;2,50;Food;Zesto\n"),
    ('"sep=|"\nStatement of A. Kumar\nDate|Details|Amount\n1|mart|2\n', [],
     '"sep=|"\nStatement of A. Kumar\nDate|Details|Amount|category|merchant\n1|mart|2|Shops|Mart\n'),
    # a line with a narration word but one field is not taken for the header
    ("Statement narration\nDate,Narration\n1,mart\n", [],
     "Statement narration\nDate,Narration,category,merchant\n1,mart,Shops,Mart\n"),
    # --header-line names it
    ("Date,Narration\nold,header\nWhen,Memo\n1,mart\n", ["--header-line", "3", "--column", "Memo"],
     "Date,Narration\nold,header\nWhen,Memo,category,merchant\n1,mart,Shops,Mart\n"),
    ("x\n" * 60 + "Date,Narration\n1,zesto\n", ["--header-line", "61"],
     "x\n" * 60 + "Date,Narration,category,merchant\n1,zesto,Food,Zesto\n"),
]


@pytest.mark.parametrize("text, options, expected", PREAMBLE)
def test_header_below_other_lines(tmp_path, text, options, expected):
    process, out = categorize(tmp_path, text.encode(), *options)
    assert process.returncode == 0, process.stderr
    assert out == expected.encode()


HEADER_PROBLEMS = [
    ("Date,Narration,Amount\n1,ZESTO,2\n", ["--delimiter", ";"],
     "in.csv: line 1: the header is one field with --delimiter ';', but the file seems to use ','; "
     "pass --delimiter ','"),
    ("sep=;\nDate\tNarration\n1\tZESTO\n", [],
     "in.csv: line 2: the header is one field with the sep= line's separator ';', but the file seems "
     "to use tab; pass --delimiter tab"),
    ("x\n" * 50 + "Date,Narration\n1,zesto\n", [], "in.csv: no narration column (looked for narration, "
     "description, details, particulars; found 'x')"),
    ("Date,Narration\n", ["--header-line", "3"], "in.csv: --header-line 3: the file has only 1 line"),
    ("Date,Memo\n1,mart\n", ["--header-line", "1"], "in.csv: no narration column (looked for narration, "
     "description, details, particulars; found 'Date', 'Memo')"),
    ("", [], "in.csv: empty file; expected a header row"),
]


@pytest.mark.parametrize("text, options, problem", HEADER_PROBLEMS)
def test_header_problems(tmp_path, text, options, problem):
    process, out = categorize(tmp_path, text.encode(), *options)
    assert rejected(process) == problem
    assert out is None


ROUND_TRIPS = [
    (b"Date,Narration\r\n1,mart\r\n2,\"a\r\nb\"\r\n", b"Date,Narration,category,merchant\r\n1,mart,Shops,Mart\r\n"
     b"2,\"a\r\nb\",,\r\n"),
    (b"\xef\xbb\xbfDate;Narration\n1;ZESTO\n", b"\xef\xbb\xbfDate;Narration;category;merchant\n1;ZESTO;Food;Zesto\n"),
    (b"\xef\xbb\xbfsep=;\r\nDate;Narration\r\n1;mart\r\n",
     b"\xef\xbb\xbfsep=;\r\nDate;Narration;category;merchant\r\n1;mart;Shops;Mart\r\n"),
    (b"Narration\rmart\r", b"Narration,category,merchant\rmart,Shops,Mart\r"),
]


@pytest.mark.parametrize("data, expected", ROUND_TRIPS)
def test_line_endings_and_byte_order_mark_are_kept(tmp_path, data, expected):
    process, out = categorize(tmp_path, data)
    assert process.returncode == 0, process.stderr
    assert out == expected
    # the same through standard input and output
    (tmp_path / "rules.json").write_text(json.dumps(RULES))
    piped = run("categorize", "-", "--rules", "rules.json", "-o", "-", cwd=tmp_path, stdin=data)
    assert (piped.returncode, piped.stdout) == (0, expected)


def test_cp1252_statement_is_written_as_utf8(tmp_path):
    data = "Narration;Amount\nCAF\u00c9 MART;2,50\n".encode("cp1252")
    process, out = categorize(tmp_path, data, "--encoding", "cp1252")
    assert process.returncode == 0, process.stderr
    assert out == "Narration;Amount;category;merchant\nCAF\u00c9 MART;2,50;Shops;Mart\n".encode()


def summary_on_a_terminal(tmp_path, text, *options):
    """The command's standard error as a terminal shows it."""
    (tmp_path / "in.csv").write_text(text)
    (tmp_path / "rules.json").write_text(json.dumps(RULES))
    main, terminal = pty.openpty()
    try:
        process = subprocess.run([sys.executable, "-m", "lorvane_cli", "categorize", "in.csv", "--rules",
                                  "rules.json", "-o", "out.csv", *options],
                                 cwd=tmp_path, stderr=terminal, stdout=subprocess.DEVNULL, timeout=60)
        os.close(terminal)
        terminal = None
        shown = b""
        while True:
            try:
                chunk = os.read(main, 4096)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
    finally:
        os.close(main)
        if terminal is not None:
            os.close(terminal)
    assert process.returncode == 0
    return shown.decode().replace("\r\n", "\n").split("\r")[-1]


LABELS = [
    ([], "Narration,Category,Merchant\nMART 1,Own,Mine\nMART 2,,\nZESTO,Own,\nnothing,,\n",
     "Narration,Category,Merchant\nMART 1,Own,Mine\nMART 2,Shops,Mart\nZESTO,Own,\nnothing,,\n",
     "4 rows: 1 labelled, 2 kept, 1 left empty"),
    (["--relabel"], "Narration,Category,Merchant\nMART 1,Own,Mine\nMART 2,,\nZESTO,Own,\nnothing,x,y\n",
     "Narration,Category,Merchant\nMART 1,Shops,Mart\nMART 2,Shops,Mart\nZESTO,Food,Zesto\nnothing,,\n",
     "4 rows: 3 labelled, 0 kept, 1 left empty"),
    # only a merchant column: a row with a merchant keeps it and gets no category
    ([], "Narration,merchant\nMART,Corner shop\nMART,\n",
     "Narration,merchant,category\nMART,Corner shop,\nMART,Mart,Shops\n",
     "2 rows: 1 labelled, 1 kept, 0 left empty"),
]


@pytest.mark.parametrize("options, text, expected, summary", LABELS)
def test_existing_labels_are_kept_unless_relabel(tmp_path, options, text, expected, summary):
    shown = summary_on_a_terminal(tmp_path, text, *options)
    assert (tmp_path / "out.csv").read_text() == expected
    assert shown == f"lorvane: {summary}\x1b[K\n"


def test_progress_names_the_header_line_and_shows_the_share(tmp_path):
    from lorvane_cli.progress import Progress

    class Terminal:
        text = ""

        def isatty(self):
            return True

        def write(self, text):
            self.text += text

        def flush(self):
            pass

    now = [100.0]
    progress = Progress("categorised", Terminal(), clock=lambda: now[0])
    progress.measure(1000, "header on line 4; ")
    now[0] = 110.0
    progress.update(5000, 250)
    assert progress.stream.text == "\rlorvane: header on line 4; categorised 5,000 rows, 25%, 0:30 left\x1b[K"
    shown = summary_on_a_terminal(tmp_path, "Account 7\nDate,Narration\n1,mart\n")
    assert shown == "lorvane: header on line 2; 1 row: 1 labelled, 0 kept, 0 left empty\x1b[K\n"


@pytest.mark.parametrize("text, value", [
    ("2500000", 2500000), ("2,500,000", 2500000), ("25,00,000", 2500000), ("1,00,000.50", 100000.5),
    ("2,500,000.25", 2500000.25), ("250000.50", 250000.5), ("2.5e6", 2500000), ("25_00_000", 2500000),
    ("999", 999), ("1,000", 1000), ("1e15", 10**15),
])
def test_amounts_as_people_write_them(text, value):
    assert amount(text) == value


@pytest.mark.parametrize("options, problem", [
    (["--amount", "250000,50"], "argument --amount: not an amount: '250000,50'"),
    (["--amount", "2,5"], "argument --amount: not an amount: '2,5'"),
    (["--amount", "2,50,00"], "argument --amount: not an amount: '2,50,00'"),
    (["--amount", "1,000,00"], "argument --amount: not an amount: '1,000,00'"),
    (["--amount", "1.000,50"], "argument --amount: not an amount: '1.000,50'"),
    (["--amount", "1,000_000"], "argument --amount: not an amount: '1,000_000'"),
    (["--amount", "nan"], "argument --amount: not an amount: 'nan'"),
    (["--amount", "1000", "--rate", "8,5"], "argument --rate: not a percentage: '8,5'"),
    (["--emi", "1,0000", "--rate", "8"], "argument --emi: not an amount: '1,0000'"),
    (["--amount", "1,000,000,000,000,001"], "argument --amount: 1,000,000,000,000,001 is more than "
     "1,000,000,000,000,000, the largest amount lorvane keeps exact"),
    (["--amount", "1e15", "--months", "1", "--rate", "80"], "the instalment comes to 1,066,666,666,666,667, "
     "more than 1,000,000,000,000,000, the largest amount lorvane keeps exact"),
])
def test_amounts_misread_are_rejected_naming_the_option(tmp_path, options, problem):
    given = dict(zip(options[::2], options[1::2]))
    given.setdefault("--rate", "8")
    if len({"--amount", "--emi", "--months"} & set(given)) < 2:
        given.setdefault("--months", "12")
    args = [part for pair in given.items() for part in pair]
    assert rejected(run("emi", *args, cwd=tmp_path)).startswith(problem)


def test_largest_amount_keeps_the_schedule_exact(tmp_path):
    process = run("emi", "--amount", "1,000,000,000,000,000", "--months", "600", "--rate", "12", "--json",
                  cwd=tmp_path)
    assert process.returncode == 0, process.stderr
    result = json.loads(process.stdout)
    assert all(row["emi"] == row["principal"] + row["interest"] for row in result["schedule"])
    assert result["schedule"][-1]["outstanding"] == 0
    assert result["totals"]["nominalPaid"] == sum(row["emi"] for row in result["schedule"]) < 2**63 - 1


# ---- rules derived ------------------------------------------------------------------------

def derive(tmp_path, text, *options):
    (tmp_path / "labelled.csv").write_text(text)
    process = run("derive", "labelled.csv", *options, cwd=tmp_path)
    assert process.returncode == 0, process.stderr
    return process.stdout.decode()


def rules_of(output):
    return [(rule["pattern"], rule["category"], rule["merchant"]) for rule in json.loads(output)["rules"]]


DERIVED = [
    # unlabelled rows count against "india": it is no longer specific to Uber
    ("Narration,Category,Merchant\n" + "UBER INDIA CAB,Travel,Uber\n" * 3 + "AMAZON PAY INDIA,,\n" * 4, [],
     [("uber", "Travel", "Uber")]),
    # a reference number seen once is not a pattern; the merchant's name is
    ("Narration,Category,Merchant\nUPI/158414678793/PAGEWORTH,Books,Pageworth\n"
     "NEFT ICIC0DC0099 SALARY,Income,Acme\n", [],
     [("salary", "Income", "Acme"), ("pageworth", "Books", "Pageworth")]),
    ("Narration,Category,Merchant\nUPI/158414678793/PAGEWORTH,Books,Pageworth\n", ["--keep-numbers"],
     [("158414678793", "Books", "Pageworth")]),
    # only digits: no rule rather than a reference number
    ("Narration,Category,Merchant\n12345 678,X,Y\n", [], []),
]


@pytest.mark.parametrize("text, options, expected", DERIVED)
def test_derive_counts_unlabelled_rows_and_masks_numbers(tmp_path, text, options, expected):
    assert sorted(rules_of(derive(tmp_path, text, *options))) == sorted(expected)


CHECKED = ("Narration,Category,Merchant\n"
           "MART 1,Shops,Mart\nMART 2,Shops,Mart\nMART 3,Shops,Mart\nMART 4,Shops,Mart\n"
           "ZESTO A,Food,Zesto\nZESTO B,Food,Zesto\nMART ZESTO,Food,Zesto\nmisc,,\nother,Misc,\n")


def test_derive_check_report(tmp_path):
    report = derive(tmp_path, CHECKED, "--check", "--folds", "3", "-o", "rules.json")
    assert report == (
        "3 rules derived from labelled.csv: 9 rows, 8 labelled\n\n"
        "rule  pattern  category  merchant  decides  agree\n"
        "----  -------  --------  --------  -------  -----\n"
        "   1  zesto    Food      Zesto           3      3\n"
        "   2  other    Misc                      1      1\n"
        "   3  mart     Shops     Mart            4      4\n\n"
        "on the file itself: coverage 100.0% (8 of 8 labelled rows decided), accuracy 100.0% "
        "(8 of 8 given their own label)\n"
        "3-fold estimate (derived on 2 parts, tried on the part left out): coverage 62.5% "
        "(5 of 8 labelled rows decided), accuracy 100.0% (5 of 5 given their own label)\n")
    assert rules_of((tmp_path / "rules.json").read_text()) == [
        ("zesto", "Food", "Zesto"), ("other", "Misc", ""), ("mart", "Shops", "Mart")]


# ---- rules files --------------------------------------------------------------------------

def rule(pattern, category="C", merchant="M"):
    return {"pattern": pattern, "category": category, "merchant": merchant}


RULE_CHECKS = [
    ([rule("mart"), rule("FreshMart", "D")], 1,
     ["rule 2 ('FreshMart') never decides: the pattern of rule 1 ('mart') occurs in it, and rule 1 comes first"]),
    ([rule("zesto"), rule("ZESTO", "D")], 1, ["rule 2 ('ZESTO') repeats the pattern of rule 1: it never decides"]),
    ([rule("a", "A"), rule("", "Other"), rule("b", "B"), rule("c", "B2")], 1,
     ["rules 3 and 4 never decide: rule 2 has an empty pattern, which matches every narration"]),
    ([rule("freshmart", "Eating out"), rule("zesto", "eating  Out "), rule("kfc", "X", "fresh mart"),
      rule("skytel", "Y", "Fresh Mart")], 0,
     ["category written 2 ways: 'Eating out' (rule 1), 'eating  Out ' (rule 2)",
      "merchant written 2 ways: 'fresh mart' (rule 3), 'Fresh Mart' (rule 4)"]),
    ([rule("freshmart"), rule("mart")], 0, ["every rule can decide, and no label is written two ways"]),
]


@pytest.mark.parametrize("rules, strict_status, lines", RULE_CHECKS)
def test_rules_check(tmp_path, rules, strict_status, lines):
    (tmp_path / "rules.json").write_text(json.dumps(rules))
    process = run("rules", "check", "rules.json", cwd=tmp_path)
    assert process.returncode == 0, process.stderr
    report = process.stdout.decode().splitlines()
    assert report[0] == f"rules.json: {len(rules)} rules"
    assert [line.strip() for line in report[1:]] == lines
    strict = run("rules", "check", "rules.json", "--strict", cwd=tmp_path)
    assert (strict.returncode, strict.stdout) == (strict_status, process.stdout)


def test_rules_check_against_a_statement(tmp_path):
    (tmp_path / "rules.json").write_text(json.dumps([rule("mart"), rule("zesto"), rule("skytel")]))
    (tmp_path / "s.csv").write_text("Date,Narration\n1,MART\n2,Zesto mart\n3,none\n4,ZESTO\n")
    process = run("rules", "check", "rules.json", "--against", "s.csv", cwd=tmp_path)
    assert process.returncode == 0, process.stderr
    assert process.stdout.decode().split("\n\n", 1)[1] == (
        "against s.csv: 4 rows\n\n"
        "rule  pattern  category  merchant  decides\n"
        "----  -------  --------  --------  -------\n"
        "   1  mart     C         M               2\n"
        "   2  zesto    C         M               1\n"
        "   3  skytel   C         M               0\n\n"
        "1 row decided by no rule\n"
        "rule that decides no row: 3\n")


@pytest.mark.parametrize("text, problem", [
    ("[" * 100_000 + "]" * 100_000, "rules.json: not a rules file: its JSON is nested too deeply"),
    ('[{"pattern": "a\\ud800", "category": "b", "merchant": "c"}]',
     'rules.json: rule 1: "pattern" holds a lone surrogate (\\ud800), which is not text'),
], ids=["nested-too-deeply", "lone-surrogate"])  # short: pytest puts the id in the environment
def test_rules_files_that_are_not_rules(tmp_path, text, problem):
    (tmp_path / "rules.json").write_text(text)
    (tmp_path / "in.csv").write_text("Narration\nmart\n")
    for args in (["categorize", "in.csv", "--rules", "rules.json"], ["rules", "check", "rules.json"]):
        assert rejected(run(*args, cwd=tmp_path)) == problem
