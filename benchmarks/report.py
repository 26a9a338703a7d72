"""Tables of a benchmark run, for the terminal and for docs/benchmarks.md, and the chart of
categorisation time against the number of rules."""

LORVANE = "lorvane"


def format_seconds(seconds):
    if seconds is None:
        return "-"
    if seconds >= 1:
        return "%.2f s" % seconds
    if seconds >= 1e-3:
        return "%.2f ms" % (seconds * 1e3)
    return "%.1f µs" % (seconds * 1e6)


def group_key(row):
    return (row["suite"], row["function"], row.get("rules"), row.get("case"))


def with_ratios(rows):
    """Each row gains `ratio`: its median over the module's median in the same group
    (how many times longer it takes), and `mbps` where the request text's size is known."""
    lorvane_time = {group_key(r): r["seconds"] for r in rows
                    if r["implementation"] == LORVANE and r["seconds"]}
    for row in rows:
        base = lorvane_time.get(group_key(row))
        row["ratio"] = row["seconds"] / base if row["seconds"] and base else None
        text = row.get("text_bytes")
        row["mbps"] = text / row["seconds"] / 1e6 if text and row["seconds"] else None
    return rows


def title(row):
    parts = [row["function"]]
    if row.get("case"):
        parts.append(row["case"])
    if row.get("narrations"):
        parts.append("%s narrations" % format(row["narrations"], ","))
    if row.get("rules"):
        parts.append("%s rules" % format(row["rules"], ","))
    if row.get("text_bytes"):
        parts.append("request text %.1f MB" % (row["text_bytes"] / 1e6))
    return ", ".join(parts)


def groups(rows):
    ordered = {}
    for row in rows:
        ordered.setdefault(group_key(row), []).append(row)
    return list(ordered.values())


def format_ratio(ratio):
    if ratio is None:
        return "-"
    return "%.2f×" % ratio if ratio < 10 else "%.0f×" % ratio


def table(header, lines, markdown=False, right=False):
    """Rows of cells as a markdown table, or aligned for the terminal (right-aligned when
    `right`)."""
    if markdown:
        return "\n".join(["| " + " | ".join(header) + " |", "|" + "---|" * len(header)] +
                         ["| " + " | ".join(line) + " |" for line in lines])
    widths = [max(len(x[i]) for x in [header] + lines) for i in range(len(header))]
    align = str.rjust if right else str.ljust
    return "\n".join("  " + "  ".join(align(c, w) for c, w in zip(line, widths))
                     for line in [header] + lines)


def cells(row):
    ratio = format_ratio(row["ratio"])
    mbps = "-" if row["mbps"] is None else "%.0f" % row["mbps"]
    status = "" if row["status"] in ("ok", "floor") else row["status"]
    runs = str(row["runs"]) if row["runs"] else "-"
    return [row["implementation"], format_seconds(row["seconds"]), ratio, mbps, runs, status]


HEADER = ["implementation", "median", "time / lorvane", "MB/s", "runs", "note"]


def text_table(rows):
    lines = []
    for group in groups(rows):
        lines.append("")
        lines.append(title(group[0]))
        table = [HEADER] + [cells(r) for r in group]
        widths = [max(len(line[i]) for line in table) for i in range(len(HEADER))]
        for line in table:
            lines.append("  " + "  ".join(c.ljust(w) for c, w in zip(line, widths)).rstrip())
    return "\n".join(lines)


def markdown_table(rows):
    lines = []
    for group in groups(rows):
        lines += ["", "**%s**" % title(group[0]), "",
                  "| " + " | ".join(HEADER) + " |", "|" + "---|" * len(HEADER)]
        for row in group:
            lines.append("| " + " | ".join(c.replace("|", "\\|") for c in cells(row)) + " |")
    return "\n".join(lines)


def chart(rows, path):
    """Log-log chart of the scaling suite: median time against the number of rules."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    series = {}
    for row in rows:
        if row["suite"] != "scaling" or row["seconds"] is None:
            continue
        label = "%s (%s)" % (row["implementation"], "JSON" if row["function"].endswith("_json")
                             else "objects")
        series.setdefault(label, []).append((row["rules"], row["seconds"]))
    figure, axes = plt.subplots(figsize=(8, 5.5))
    for label, points in series.items():
        points.sort()
        style = "-" if label.startswith(LORVANE) else ("--" if "floor" in label else ":")
        width = 2.5 if label.startswith(LORVANE) else 1.5
        axes.plot([p[0] for p in points], [p[1] for p in points], style, marker="o",
                  linewidth=width, label=label)
    narrations = next((r["narrations"] for r in rows if r["suite"] == "scaling"), 0)
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xlabel("number of rules")
    axes.set_ylabel("median time per call (s)")
    axes.set_title("Categorising %s narrations" % format(narrations, ","))
    axes.grid(True, which="both", alpha=0.3)
    axes.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    plt.close(figure)
