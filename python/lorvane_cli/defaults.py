"""Defaults and limits of the command-line tool, each written once."""

# Rows categorised per module call; with a cluster, lines of the file per task.
BATCH_ROWS = 50_000
# Seconds to wait for a Dask scheduler to answer, and for a worker when none is connected.
CONNECT_TIMEOUT = 10.0
# Runs in flight for each worker thread: one being worked on, one waiting to start.
RUNS_PER_THREAD = 2
# How far down a statement the header row is looked for.
HEADER_SEARCH_LINES = 50
# Header names that hold the narration, in order of preference.
NARRATION_HEADERS = ("narration", "description", "details", "particulars")
# The largest loan amount or instalment the tool takes or prints. Up to 10**15 a double
# holds every amount to an eighth of a unit, so each whole-unit figure of a schedule is
# exact and rounded correctly, and 600 instalments sum to far below 2**63.
LARGEST_AMOUNT = 10**15
# Parts of the k-fold estimate of `lorvane derive --check`.
FOLDS = 5
