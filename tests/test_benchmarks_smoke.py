"""The benchmark runner at a tiny size: every alternative implementation that is installed
gives the module's results, and the report and charts are written. No timing is checked."""

import importlib.util
import json
import os
import sys

import pytest

BENCHMARKS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "benchmarks")
sys.path.insert(0, BENCHMARKS)

import data  # noqa: E402
import grid  # noqa: E402
import grid_floor  # noqa: E402
import grid_report  # noqa: E402
import run  # noqa: E402
import timing  # noqa: E402
from baselines import automata, plain  # noqa: E402

TINY = ["--narrations", "300", "--rules", "40", "--rule-counts", "5,40", "--labelled", "600",
        "--repeat", "1", "--budget", "1", "--hard-megabytes", "0.05", "--long-rules", "20"]
# A grid whose plain-Python cells beyond 10 narrations are all scaled from a sample.
TINY_GRID = ["--grid-narrations", "1,10,40", "--grid-rules", "5,30", "--grid-sample", "10",
             "--grid-plain-limit", "0", "--grid-budget", "0.5", "--grid-sample-ms", "0.5", "--grid-repeat", "1"]


@pytest.fixture(scope="module")
def rows(tmp_path_factory):
    out = tmp_path_factory.mktemp("bench")
    code = run.main(TINY + TINY_GRID + ["--output", str(out), "--write", "--json",
                                        str(out / "rows.json")])
    with open(out / "rows.json", encoding="utf-8") as f:
        found = json.load(f)
    found["code"], found["out"] = code, out
    return found


def test_every_installed_implementation_agrees_with_the_module(rows):
    assert rows["code"] == 0
    bad = [(r["function"], r["implementation"], r["status"]) for r in rows["rows"]
           if not (r["status"] in ("ok", "floor") or r["status"].startswith("not installed"))]
    assert bad == []
    timed = {(r["function"], r["implementation"]) for r in rows["rows"] if r["seconds"]}
    for function in ("categorize_transactions", "categorize_transactions_json", "compute_emi",
                     "compute_emi_json", "derive_rules", "derive_rules_json"):
        assert (function, "lorvane") in timed
    assert ("categorize_transactions", "plain Python") in timed
    assert ("derive_rules_json", "plain Python + json + Counter") in timed


def test_report_and_memory_are_written(rows):
    text = (rows["out"] / "benchmarks.md").read_text(encoding="utf-8")
    assert "## Targets" in text and "categorize_transactions_json" in text
    assert all("above" in m for m in rows["memory"]), rows["memory"]
    hard = {(m["function"], m["case"]) for m in rows["memory"] if m.get("hard")}
    cases = [case for case, _ in data.derive_worst_cases(1000)]
    assert hard == {("lorvane." + f, c) for f in ("derive_rules_json", "derive_rules") for c in cases} | {
        ("lorvane.categorize_transactions_json", "20 rules of 1,000 bytes")}
    assert "per pattern byte" in text
    pytest.importorskip("matplotlib")
    assert (rows["out"] / "benchmarks.png").stat().st_size > 0


def test_every_grid_cell_is_measured_in_both_forms(rows):
    cells = grid.figures(rows["rows"])
    shapes = [(f, n, r) for f in grid.FUNCTIONS for n in (1, 10, 40) for r in (5, 30)]
    assert sorted(cells) == sorted(shapes)
    libraries = any(importlib.util.find_spec(module) for module, _ in automata.LIBRARIES.values())
    for (function, narrations, rules), cell in cells.items():
        assert cell["ratio"] > 0 and cell["scaled"] == (narrations > 10)
        assert (cell["library_ratio"] is not None) == libraries
        assert cell["target"] == grid.target(function, narrations, rules)
    text = (rows["out"] / "benchmarks.md").read_text(encoding="utf-8")
    section = text[text.index(grid_report.HEADING):text.index("## What bounds the figures")]
    assert section.count("| narrations \\ rules | 5 | 30 |") == 6
    assert "](%s)" % grid_report.CHART in section
    assert (rows["out"] / grid_report.CHART).stat().st_size > 0


def test_the_grid_alone_rewrites_only_its_own_section(tmp_path):
    before = "# Benchmarks\n\n## Targets\n\nkept\n\n## What bounds the figures\n\nkept too\n"
    (tmp_path / "benchmarks.md").write_text(before, encoding="utf-8")
    arguments = ["--sections", "grid", "--grid-narrations", "1", "--grid-rules", "5",
                 "--grid-repeat", "1", "--grid-sample-ms", "0.5", "--output", str(tmp_path),
                 "--write"]
    for _ in range(2):  # the second run replaces the first run's section
        assert run.main(arguments) == 0
        text = (tmp_path / "benchmarks.md").read_text(encoding="utf-8")
        assert text.count(grid_report.HEADING) == 1
        assert text.replace(text[text.index(grid_report.HEADING):text.index("## What bounds")],
                            "") == before


SECTION = grid_report.HEADING + "\n\nnew\n"


@pytest.mark.parametrize("document, expected", [
    ("# B\n\n## Results\n\nr\n", "# B\n\n## Results\n\nr\n\n" + SECTION),
    ("# B\n\n## Results\n\nr", "# B\n\n## Results\n\nr\n\n" + SECTION),
    ("", SECTION),
    ("# B\n\n## What bounds the figures\n\nb\n",
     "# B\n\n" + SECTION + "\n## What bounds the figures\n\nb\n"),
    ("# B\n\n%s\n\nold\n\n### Object form\n\nold\n\n## Results\n" % grid_report.HEADING,
     "# B\n\n" + SECTION + "\n## Results\n"),
    ("# B\n\n%s\n\nold\n" % grid_report.HEADING, "# B\n\n" + SECTION),
], ids=["appended", "appended after an unended line", "empty", "before the bounds",
        "replaced up to the next section", "replaced at the end"])
def test_splicing_the_grid_section(document, expected):
    assert grid_report.splice(document, SECTION) == expected


# The library categorisers on the cases where driving them is delicate: repeated and
# empty patterns, a pattern with the batch separator, narrations with many matches, and
# non-ASCII text whose UTF-8 offsets differ from its character offsets.
RULES = [
    {"pattern": "ÉCOLE", "category": "Education", "merchant": "École"},
    {"pattern": "mart", "category": "Groceries", "merchant": "Mart"},
    {"pattern": "MART", "category": "Dup", "merchant": "never decides"},
    {"pattern": "a\nb", "category": "Odd", "merchant": "separator inside"},
    {"pattern": "咖啡", "category": "Cafe", "merchant": "咖啡店"},
    {"pattern": "ar", "category": "Short", "merchant": "two letters"},
]
NARRATIONS = ["POS ÉCOLE MART", "咖啡店 MART", "a\nb", "MARTMARTMART", "nothing here", "",
              "ΣΑΣ ar", "école"]


@pytest.mark.parametrize("library", sorted(automata.LIBRARIES))
@pytest.mark.parametrize("batched", [True, False])
@pytest.mark.parametrize("rules", [RULES, RULES + [{"pattern": "", "category": "Other",
                                                    "merchant": "floor"}], RULES[3:4], []])
def test_library_categorisers_on_awkward_rules(library, batched, rules):
    try:
        categorize = automata.make_categorizer(library, batched)
    except ImportError:
        pytest.skip("%s is not installed" % library)
    request = {"data": [{"narration": n} for n in NARRATIONS], "rules": rules}
    assert categorize(request) == plain.categorize(request)


def test_the_floor_is_measured_beside_the_module(capsys):
    grid_floor.main(["--narrations", "3", "--rules", "5"])
    line = capsys.readouterr().out.splitlines()[-1]
    assert line.startswith("3 × 5 ") and line.count("µs") == 3
    request = data.categorize_case(3, 5)
    assert len(grid_floor.floor(request)["data"]) == 3


def test_generated_data_is_the_same_on_every_call():
    assert data.categorize_case(50, 20) == data.categorize_case(50, 20)
    case = data.categorize_case(2000, 100)
    texts = [d["narration"] for d in case["data"]]
    assert any(not t.isascii() for t in texts) and sum(t.isascii() for t in texts) > 1500
    assert len(case["rules"]) == 100 + len(data.GENERIC_RULES)


# ---- timing and the grid's arithmetic, on a clock that the timed functions advance ----

class FakeClock:
    def __init__(self):
        self.now = 0.0

    def __call__(self):
        return self.now


def fake_timer(repeat=5, budget=100.0):
    timer = timing.Timer("cpu", repeat, budget)
    timer.clock = FakeClock()
    return timer


@pytest.mark.parametrize("costs, repeat, budget, runs", [
    ([1e-3, 1e-3], 5, 1.0, [5, 5]),
    ([1e-3, 2.0], 5, 3.0, [5, 2]),  # the slow one stops once it has spent its budget
    ([2.0, 1e-3], 5, 1.0, [1, 5]),  # at least one sample each
    ([5.0], 3, 0.0, [1]),
], ids=["both in full", "the slow one cut short", "the first one cut short", "no budget"])
def test_samples_taken_in_turns_each_within_its_budget(costs, repeat, budget, runs):
    timer = fake_timer(repeat, budget)
    order = []

    def costing(index, cost):
        def run(argument):
            timer.clock.now += cost
            order.append(index)
        return run

    found = timer.medians([(costing(i, c), None, 1) for i, c in enumerate(costs)])
    assert [n for _, n in found] == runs
    assert [m for m, _ in found] == pytest.approx(costs)
    assert order[:len(costs)] == list(range(len(costs)))  # a sample of each before any second


@pytest.mark.parametrize("cost, seconds", [(1e-6, 5e-3), (3e-3, 5e-3), (1e-2, 5e-3), (2e-7, 0.5)])
def test_a_loop_of_calls_lasts_at_least_the_time_asked(cost, seconds):
    timer = fake_timer()

    def run(argument):
        timer.clock.now += cost

    calls = timer.calls_lasting(run, None, seconds)
    assert calls * cost >= seconds * (1 - 1e-9)
    assert calls == 1 or (calls - 2) * cost < seconds


@pytest.mark.parametrize("function", grid.FUNCTIONS)
@pytest.mark.parametrize("narrations, limit, scaled", [(40, 0.0, True), (40, 10.0, False),
                                                       (8, 0.0, False)])
def test_plain_python_scaled_from_a_sample_is_exact_for_its_linear_cost(
        monkeypatch, function, narrations, limit, scaled):
    timer = fake_timer(repeat=3)
    fixed, per_narration = 2e-3, 5e-4
    model = plain.categorize

    def categorize(request):
        timer.clock.now += fixed + per_narration * len(request["data"])
        return model(request)

    monkeypatch.setattr(plain, "categorize", categorize)
    measured = grid.Grid(timer, sample_seconds=1e-3, sample=10, plain_limit=limit)
    request = data.categorize_case(narrations, 5)
    extra = {"narrations": narrations, "rules": 5, "text_bytes": 0}
    row = measured.plain(measured.suite(function, request, extra), function, request, extra)
    assert row["status"] == "ok" and row["implementation"] == grid.PLAIN[function]
    assert row["seconds"] == pytest.approx(fixed + per_narration * narrations)
    assert ("scaled_from" in row) == scaled


def grid_row(implementation, seconds, status="ok", **more):
    return dict(suite="grid", function=grid.OBJECTS, narrations=100, rules=10, status=status,
                implementation=implementation, seconds=seconds, **more)


@pytest.mark.parametrize("rows, ratio, library, library_ratio, cell", [
    ([grid_row("lorvane", 1.0), grid_row("plain Python", 6.0),
      grid_row("hyperscan batched", 0.5, "differs: results do not match the module's"),
      grid_row("pyahocorasick batched", 3.0), grid_row("ahocorasick-rs per narration", 2.0),
      grid_row("pyahocorasick per narration", None, "not installed: ahocorasick")],
     6.0, "ahocorasick-rs per narration", 2.0, "6.00×"),
    ([grid_row("lorvane", 2.0), grid_row("plain Python", 8.0, scaled_from=10)],
     4.0, None, None, "**4.00×†** ✗"),
], ids=["the fastest library that agrees", "below target, scaled"])
def test_a_cell_compares_the_module_with_the_fastest_that_agrees(rows, ratio, library,
                                                                  library_ratio, cell):
    cells = grid.figures(rows)
    found = cells[grid.OBJECTS, 100, 10]
    assert found["ratio"] == pytest.approx(ratio) and found["target"] == 5
    assert found["holds"] == (ratio >= 5)
    assert found["library"] == library
    assert found["library_ratio"] == (library_ratio and pytest.approx(library_ratio))
    (_, _, against_plain), _, _ = grid_report.tables(cells, grid.OBJECTS, markdown=True)
    assert against_plain == [["100", cell, "≥ 5×"]]
