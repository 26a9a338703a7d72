"""The grid of request shapes in docs/benchmarks.md: a table per form of the ratio to plain
Python with each row's target, the module's own times, the ratio to the fastest automaton
library, and a heat map of both ratios. A run of the grid alone replaces this section of
an existing document and leaves the rest of it as it was."""

import datetime
import math

import grid
import report

HEADING = "## Categorisation at every request shape"
CHART = "benchmarks-grid.png"
FORM_TITLES = {grid.OBJECTS: "Object form: `categorize_transactions`",
               grid.JSON: "JSON form: `categorize_transactions_json`"}
MISS, SCALED = "✗", "†"


def axes(cells):
    narrations = sorted({n for _, n, _ in cells})
    rules = sorted({r for _, _, r in cells})
    return narrations, rules


def ratio_cell(cell, markdown):
    if cell is None or cell["ratio"] is None:
        return "-"
    text = report.format_ratio(cell["ratio"]) + (SCALED if cell["scaled"] else "")
    if cell["holds"] is False:
        text = ("**%s** %s" if markdown else "%s %s") % (text, MISS)
    return text


def targets_of(row, rules):
    """The target column of a table row: one target for the row, or the cells that have one."""
    wanted = [(c["target"], r) for c, r in zip(row, rules) if c and c["target"] is not None]
    if not wanted:
        return "-"
    if len(wanted) == len(rules) and len({w for w, _ in wanted}) == 1:
        return "≥ %g×" % wanted[0][0]
    return ", ".join("≥ %g× at %s rules" % (w, format(r, ",")) for w, r in wanted)


def short_library(name):
    return name.replace(" + orjson", "").replace("per narration", "per narr.") if name else "-"


def tables(cells, function, markdown):
    """(title, header, lines) of the form's three tables."""
    narrations, rules = axes(cells)
    header = ["narrations \\ rules"] + [format(r, ",") for r in rules]
    against_plain, times, against_library = [], [], []
    for n in narrations:
        row = [cells.get((function, n, r)) for r in rules]
        against_plain.append([format(n, ",")] + [ratio_cell(c, markdown) for c in row] +
                             [targets_of(row, rules)])
        times.append([format(n, ",")] + [report.format_seconds(c and c["lorvane"]) for c in row])
        against_library.append([format(n, ",")] + [
            "-" if not c or c["library_ratio"] is None else "%s (%s)" % (
                report.format_ratio(c["library_ratio"]), short_library(c["library"])) for c in row])
    return [("plain Python time / lorvane time", header + ["target"], against_plain),
            ("lorvane, median time per call", header, times),
            ("fastest automaton library time / lorvane time (its automaton built in the call)",
             header, against_library)]


def misses(cells):
    """(cells with a target, cells that miss it) per function."""
    out = {}
    for (function, _, _), cell in cells.items():
        wanted, missed = out.get(function, (0, 0))
        if cell["holds"] is not None:
            out[function] = (wanted + 1, missed + (not cell["holds"]))
    return out


def text(rows):
    cells = grid.figures(rows)
    lines = []
    for function in grid.FUNCTIONS:
        if not any(f == function for f, _, _ in cells):
            continue
        for title, header, table in tables(cells, function, markdown=False):
            lines += ["", "%s: %s" % (function, title), report.table(header, table, right=True)]
    return "\n".join(lines)


def section(rows, settings):
    """The document's section on the grid. `settings`: narrations the scaled plain-Python
    cells were timed on, the longest plain call timed whole, the sample length, the most
    samples, when and on what the grid ran and how long it took."""
    cells = grid.figures(rows)
    counts = misses(cells)
    lines = [
        HEADING,
        "",
        "Narrations per request × rules, both forms. Per cell, the median time per call of "
        "lorvane, of plain Python (the object form: `str.lower()` and `in` over the rules "
        "in order, first rule wins; the JSON form: the same between `json.loads` and "
        "`json.dumps`) and of the fastest of pyahocorasick, ahocorasick-rs and Hyperscan, "
        "each driven per narration and batched (the JSON form with orjson), whose automaton "
        "is built in every call, as a caller with new rules has to. Every implementation's "
        "results are checked equal to the module's before it is timed. Each sample is a "
        "loop of as many calls as last at least %g ms; medians of up to %d samples in %s "
        "time of the process, the implementations of a cell taking turns, a sample each "
        "per turn, so that the load of the shared machine touches them alike." % (settings["sample_ms"], settings["repeat"], settings["clock"]),
        "",
        "Plain Python is timed whole where one call lasts at most %g s. Cells marked %s are "
        "beyond that: plain Python is timed on the request's first %s narrations and on the "
        "request without narrations, and its time scaled linearly in the narrations, "
        "T(n) = T(0) + n / %s × (T(%s) − T(0)); that is exact for its loop, which does the "
        "same work for every narration, as far as the sample stands for the request's "
        "narrations (drawn independently of each other), and the results are checked on the "
        "sample." % (settings["plain_limit"], SCALED, format(settings["sample"], ","),
                     format(settings["sample"], ","), format(settings["sample"], ",")),
        "",
        "Targets (ratio to plain Python): every cell up to 10,000 narrations at least 1×; "
        "10 narrations 3×; 100 narrations 5× objects, 10× JSON; 1,000 and 10,000 "
        "narrations 20× objects, 40× JSON; at 100,000 narrations × 1,000 rules, 100× "
        "objects, 200× JSON. Cells that miss their target are in bold and marked %s." % MISS,
        "",
        "Measured on %s, %s; load average at start and end %s / %s; lorvane %s; the grid "
        "took %s." % (settings["date"], settings["machine"], settings["load"][0],
                      settings["load"][1], settings["version"], duration(settings["seconds"])),
        "",
    ]
    for function in grid.FUNCTIONS:
        if function in counts:
            wanted, missed = counts[function]
            lines.append("- `%s`: %d of %d cells with a target reach it." % (
                function, wanted - missed, wanted))
    lines += ["", "![lorvane against plain Python and the fastest automaton library, per "
              "request shape](%s)" % CHART]
    for function in grid.FUNCTIONS:
        if not any(f == function for f, _, _ in cells):
            continue
        lines += ["", "### " + FORM_TITLES[function]]
        for title, header, table in tables(cells, function, markdown=True):
            lines += ["", "**%s**" % title, "", report.table(header, table, markdown=True)]
    return "\n".join(lines) + "\n"


def splice(document, grid_section, before="## What bounds the figures"):
    """`document` with its grid section replaced by `grid_section`, or, when it has none,
    with `grid_section` put before the heading `before` (at the end without it)."""
    lines = document.splitlines(keepends=True)
    if document and not document.endswith("\n"):
        lines[-1] += "\n"
    heads = [i for i, line in enumerate(lines) if line.startswith("## ")]
    if HEADING + "\n" in lines:
        start = lines.index(HEADING + "\n")
        end = next((i for i in heads if i > start), len(lines))
    else:
        start = end = next((i for i in heads if lines[i].rstrip("\n") == before), len(lines))
    block = grid_section if end == len(lines) else grid_section + "\n"
    if start == len(lines) and lines and lines[-1].strip():
        block = "\n" + block
    return "".join(lines[:start]) + block + "".join(lines[end:])


def chart(rows, path):
    """Heat maps of both ratios, one column per form."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.colors import TwoSlopeNorm
    from matplotlib.patches import Rectangle

    cells = grid.figures(rows)
    narrations, rules = axes(cells)
    functions = [f for f in grid.FUNCTIONS if any(c[0] == f for c in cells)]
    figure, panels = plt.subplots(2, len(functions), figsize=(5.2 * len(functions), 8.6),
                                  squeeze=False, constrained_layout=True)
    norm = TwoSlopeNorm(vmin=-1, vcenter=0, vmax=3)  # log10 of the ratio: 0.1× to 1000×
    image = None
    for column, function in enumerate(functions):
        for line, (key, what) in enumerate([("ratio", "plain Python"),
                                            ("library_ratio", "fastest automaton library")]):
            panel = panels[line][column]
            values = [[math.nan] * len(rules) for _ in narrations]
            for i, n in enumerate(narrations):
                for j, r in enumerate(rules):
                    cell = cells.get((function, n, r))
                    if cell and cell[key]:
                        values[i][j] = math.log10(cell[key])
                        missed = key == "ratio" and cell["holds"] is False
                        panel.text(j, i, report.format_ratio(cell[key]) + (" " + MISS if missed else ""),
                                   ha="center", va="center", fontsize=8,
                                   fontweight="bold" if missed else "normal")
                        if missed:
                            panel.add_patch(Rectangle((j - 0.47, i - 0.47), 0.94, 0.94, fill=False,
                                                      edgecolor="black", linewidth=1.5))
            image = panel.imshow(values, cmap="RdYlGn", norm=norm, origin="lower", aspect="auto")
            panel.set_xticks(range(len(rules)), [format(r, ",") for r in rules])
            panel.set_yticks(range(len(narrations)), [format(n, ",") for n in narrations])
            panel.set_xlabel("rules")
            panel.set_ylabel("narrations")
            panel.set_title("%s time / lorvane time\n%s" % (
                what, "JSON form" if function == grid.JSON else "object form"), fontsize=10)
    figure.suptitle("Categorisation at every request shape (framed: below its target)")
    bar = figure.colorbar(image, ax=panels, shrink=0.6, ticks=[-1, 0, 1, 2, 3])
    bar.ax.set_yticklabels(["0.1×", "1×", "10×", "100×", "1000×"])
    bar.set_label("times faster than the alternative (red: slower)")
    figure.savefig(path, dpi=100, bbox_inches="tight")
    plt.close(figure)


def duration(seconds):
    return "%.0f s" % seconds if seconds < 120 else "%.1f minutes" % (seconds / 60)


def settings_of(args, timer, seconds, load, machine, version):
    return {"sample": args.grid_sample, "plain_limit": args.grid_plain_limit,
            "sample_ms": args.grid_sample_ms, "repeat": timer.repeat,
            "clock": "CPU" if args.clock == "cpu" else "wall-clock",
            "date": datetime.date.today().isoformat(), "seconds": seconds, "load": load,
            "machine": "%s, %s cores, %s" % (machine["cpu"], machine["cores"], machine["python"]),
            "version": version}
