"""Type information for the native module lorvane.

The record types below exist only for type checkers: import them under
`typing.TYPE_CHECKING`. At run time every request is a plain mapping and every
result a plain dict, with the keys written here (lower camel case, matched
exactly). Keys that name no field are ignored in requests.
"""

import sys
from typing import Literal, Optional, Sequence, TypedDict, type_check_only

if sys.version_info >= (3, 11):
    from typing import NotRequired
else:
    from typing_extensions import NotRequired

__all__ = [
    "__version__",
    "compute_emi",
    "compute_emi_json",
    "categorize_transactions",
    "categorize_transactions_json",
    "derive_rules",
    "derive_rules_json",
]

__version__: str

# --- loans -------------------------------------------------------------------------------

@type_check_only
class EmiRequest(TypedDict):
    """A loan: the interest rate and two of loanAmount, emi and months; mode names the third."""

    mode: Literal["emi", "tenure", "loanAmount"]
    loanAmount: NotRequired[Optional[float]]
    emi: NotRequired[Optional[float]]
    months: NotRequired[Optional[int]]
    interestRate: float
    inflationRate: NotRequired[float]
    start: NotRequired[Optional[str]]

@type_check_only
class EmiTotals(TypedDict):
    nominalPaid: int
    realPaid: int
    nominalPrincipal: int
    nominalInterest: int
    realPrincipal: int
    realInterest: int

@type_check_only
class ScheduleRow(TypedDict):
    index: int
    year: NotRequired[int]
    month: NotRequired[int]
    emi: int
    principal: int
    interest: int
    outstanding: int
    realEmi: int
    realPrincipal: int
    realInterest: int
    remainingEmi: int
    realRemainingEmi: int

@type_check_only
class MonthAmounts(TypedDict):
    nominal: int
    real: int

@type_check_only
class YearSummary(TypedDict):
    year: int
    months: list[Optional[MonthAmounts]]
    nominalTotal: int
    realTotal: int
    closingOutstanding: int

@type_check_only
class EmiResponse(TypedDict):
    mode: Literal["emi", "tenure", "loanAmount"]
    loanAmount: int
    emi: int
    months: int
    interestRate: float
    inflationRate: float
    start: NotRequired[str]
    totals: EmiTotals
    schedule: list[ScheduleRow]
    years: list[YearSummary]

# --- categorisation ----------------------------------------------------------------------

@type_check_only
class CategoryRule(TypedDict):
    pattern: str
    category: str
    merchant: str

@type_check_only
class MapInput(TypedDict):
    narration: str

@type_check_only
class CategorizeRequest(TypedDict):
    data: Sequence[MapInput]
    rules: Sequence[CategoryRule]

@type_check_only
class CategoryMatch(TypedDict):
    category: str
    merchant: str

@type_check_only
class CategorizeResponse(TypedDict):
    data: list[Optional[CategoryMatch]]

# --- rule derivation ---------------------------------------------------------------------

@type_check_only
class DeriveInput(TypedDict):
    narration: str
    category: str
    merchant: str

@type_check_only
class DeriveRulesRequest(TypedDict):
    data: Sequence[DeriveInput]

@type_check_only
class DeriveRulesResponse(TypedDict):
    rules: list[CategoryRule]

# --- functions ---------------------------------------------------------------------------

def compute_emi(request: EmiRequest) -> EmiResponse: ...
def compute_emi_json(request_json: str) -> str: ...
def categorize_transactions(request: CategorizeRequest) -> CategorizeResponse: ...
def categorize_transactions_json(request_json: str) -> str: ...
def derive_rules(request: DeriveRulesRequest) -> DeriveRulesResponse: ...
def derive_rules_json(request_json: str) -> str: ...
