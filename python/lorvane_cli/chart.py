"""The loan chart of `lorvane emi --plot`: per year, the principal and interest paid as
stacked bars, the payments in real terms as a line, and the balance left as a line on a
second axis. Needs matplotlib (the `plot` extra); the image format follows the file name."""

from __future__ import annotations

from typing import TYPE_CHECKING, Any

from lorvane_cli.errors import CliError
from lorvane_cli.loan_report import SOLVED_FOR
from lorvane_cli.loan_years import year_totals
from lorvane_cli.output import replaced_file, refuse_existing
from lorvane_cli.table import grouped

if TYPE_CHECKING:
    from lorvane import EmiResponse

INSTALL_HINT = "--plot needs matplotlib: python -m pip install 'lorvane[plot]'"
PRINCIPAL, INTEREST, REAL, BALANCE = "#2f6f9f", "#e39b3c", "#2c8c5a", "#8a3b5c"


def check_plot_target(path: str, force: bool) -> None:
    """Fails early, before any work, when the chart could not be written."""
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        raise CliError(INSTALL_HINT) from None
    refuse_existing(path, force)


def thousands(value: float, _position: Any) -> str:
    return f"{value:,.0f}"


def plot_loan(result: EmiResponse, path: str, force: bool) -> None:
    try:
        from matplotlib.figure import Figure
        from matplotlib.ticker import FuncFormatter, MaxNLocator
    except ImportError:
        raise CliError(INSTALL_HINT) from None

    years = year_totals(result)
    places = list(range(len(years)))
    principal = [y.principal for y in years]
    interest = [y.interest for y in years]

    figure = Figure(figsize=(11, 6), dpi=100, layout="constrained")
    axes = figure.add_subplot()
    axes.bar(places, principal, color=PRINCIPAL, label="principal paid")
    axes.bar(places, interest, bottom=principal, color=INTEREST, label="interest paid")
    axes.plot(places, [y.real_paid for y in years], color=REAL, marker="o", markersize=3,
              linewidth=2, label="payments in real terms")
    axes.set_ylabel("paid in the year")
    axes.yaxis.set_major_formatter(FuncFormatter(thousands))
    axes.set_xlabel("year" if "start" in result else "year of the loan")
    axes.set_xticks(places)
    axes.set_xticklabels([y.label for y in years], rotation=90 if len(years) > 25 else 0)
    axes.margins(x=0.01)

    balance_axes = axes.twinx()
    balance_axes.plot(places, [y.balance for y in years], color=BALANCE, linewidth=2,
                      linestyle="--", label="balance at the year's end")
    balance_axes.set_ylabel("balance")
    balance_axes.set_ylim(bottom=0)
    balance_axes.yaxis.set_major_locator(MaxNLocator(nbins=8))
    balance_axes.yaxis.set_major_formatter(FuncFormatter(thousands))

    handles, labels = axes.get_legend_handles_labels()
    more_handles, more_labels = balance_axes.get_legend_handles_labels()
    axes.legend(handles + more_handles, labels + more_labels, loc="lower center",
                bbox_to_anchor=(0.5, 1.0), ncol=4, frameon=False, fontsize="small")
    inflation = f", inflation {result['inflationRate']:.10g}%" if result["inflationRate"] else ""
    figure.suptitle(
        f"Loan of {grouped(result['loanAmount'])} at {result['interestRate']:.10g}%{inflation} "
        f"over {result['months']} months: instalment {grouped(result['emi'])}, total interest "
        f"{grouped(result['totals']['nominalInterest'])} (solved for {SOLVED_FOR[result['mode']]})",
        fontsize="medium",
    )

    with replaced_file(path, force) as temporary:
        try:
            figure.savefig(temporary, format=format_of(path))
        except ValueError as error:
            raise CliError(f"{path}: {error}") from None


def format_of(path: str) -> str:
    """The image format named by the file's extension (png when it has none)."""
    dot = path.rfind(".")
    slash = max(path.rfind("/"), path.rfind("\\"))
    return path[dot + 1:].lower() if dot > slash + 1 else "png"
