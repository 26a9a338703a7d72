"""Categorising statements held in Dask collections, one bulk module call per partition.

    import dask.dataframe as dd
    from lorvane_cli.dask_categorize import categorize_dataframe

    frame = dd.read_parquet("statements/")
    labelled = categorize_dataframe(frame, rules, column="narration")
    labelled.to_parquet("labelled/")

The rules are checked once, on the calling process, by the module itself, so a malformed
rule raises the module's own ValueError here and never reaches a worker. They then enter
the task graph as a single key that every partition's task depends on: each worker receives
them once, however many partitions it handles.

Missing narrations (None, NaN, NA) are categorised as the empty narration: only a rule with
an empty pattern matches them, and otherwise they get no category, like a narration that no
rule matches.

Needs the `dask` extra: pip install 'lorvane[dask]'.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, Dict, Iterable, List, Mapping, Optional, Sequence

from lorvane_cli.worker_tasks import categorize_narrations, checked_rules

try:
    # The collections' own modules, so that a missing piece fails here and not mid-graph.
    import dask.bag  # noqa: F401
    import dask.dataframe  # noqa: F401
    import pandas  # type: ignore[import-untyped,unused-ignore]
    from dask.delayed import delayed
except ImportError as error:  # pragma: no cover - depends on the environment
    raise ImportError(
        f"categorising on Dask needs dask, pandas and distributed ({error}); "
        "install them with: pip install 'lorvane[dask]'"
    ) from error

if TYPE_CHECKING:
    from lorvane import CategoryRule

__all__ = ["categorize_dataframe", "categorize_bag", "categorize_narrations", "checked_rules"]

# The dtype of the added columns: text, with NA where no rule matched.
RESULT_DTYPE = pandas.StringDtype()


def _text(values: Any) -> List[Optional[str]]:
    """A partition's narration column as a list of str, missing values as None."""
    present = values.notna()
    if bool(present.all()):
        listed: List[Optional[str]] = values.tolist()
        return listed
    return [value if keep else None for value, keep in zip(values.tolist(), present.tolist())]


def _categorize_partition(part: Any, rules: Sequence[CategoryRule], column: str) -> Any:
    matches = categorize_narrations(_text(part[column]), rules)
    categories = pandas.array([match and match["category"] for match in matches], dtype=RESULT_DTYPE)
    merchants = pandas.array([match and match["merchant"] for match in matches], dtype=RESULT_DTYPE)
    return part.assign(category=categories, merchant=merchants)


def _is_text(dtype: Any) -> bool:
    types = pandas.api.types
    return bool(types.is_object_dtype(dtype) or types.is_string_dtype(dtype))


def categorize_dataframe(frame: Any, rules: Iterable[Mapping[str, object]],
                         column: str = "narration") -> Any:
    """`frame` with text columns `category` and `merchant` added (replaced if present).

    `frame` is a dask.dataframe.DataFrame whose column `column` holds the narrations.
    Partitions, their divisions and the order of rows within them are kept; rows that no
    rule matches get NA in both columns. Raises ValueError for a missing or non-text
    column and the module's ValueError for a malformed rule, before any task runs.
    """
    if column not in frame.columns:
        names = ", ".join(repr(name) for name in list(frame.columns)[:8]) or "no columns"
        raise ValueError(f"no column named {column!r} to categorise (columns: {names})")
    dtype = frame.dtypes[column]
    if not _is_text(dtype):
        raise ValueError(f"column {column!r} holds {dtype} values; narrations must be text")
    checked = delayed(checked_rules(rules), pure=True, traverse=False)
    meta = frame._meta.assign(category=pandas.array([], dtype=RESULT_DTYPE),
                              merchant=pandas.array([], dtype=RESULT_DTYPE))
    return frame.map_partitions(_categorize_partition, checked, column, meta=meta,
                                align_dataframes=False)


def _categorize_records(records: Iterable[Any], rules: Sequence[CategoryRule],
                        field: Optional[str]) -> List[Any]:
    items = list(records)
    if field is None:
        return categorize_narrations(items, rules)
    narrations = []
    for item in items:
        if field not in item:
            raise ValueError(f"a record has no {field!r} to categorise: {str(item)[:200]}")
        narrations.append(item[field])
    labelled: List[Dict[str, Any]] = []
    for item, match in zip(items, categorize_narrations(narrations, rules)):
        record = dict(item)
        record["category"] = match and match["category"]
        record["merchant"] = match and match["merchant"]
        labelled.append(record)
    return labelled


def categorize_bag(bag: Any, rules: Iterable[Mapping[str, object]],
                   field: Optional[str] = "narration") -> Any:
    """A dask.bag.Bag of the categorised items of `bag`, in the same order.

    With `field` given, the items are mappings holding the narration under `field`; each
    becomes a new dict with "category" and "merchant" added (None where no rule matched).
    A record without `field` fails its partition with a ValueError. With `field=None`, the
    items are the narrations themselves and become the module's matches: a
    {"category", "merchant"} dict, or None.
    """
    checked = delayed(checked_rules(rules), pure=True, traverse=False)
    return bag.map_partitions(_categorize_records, checked, field)
