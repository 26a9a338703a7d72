"""An interpreter that runs out of memory while a result is built raises its own
MemoryError: nothing is printed, what was built is released, and the process goes on."""
import os
import subprocess
import sys

import pytest

pytestmark = pytest.mark.skipif(
    "asan" in os.environ.get("LD_PRELOAD", "") or not sys.platform.startswith("linux"),
    reason="needs an address-space limit, which the sanitizers' shadow memory does not fit in",
)

CHILD = """
import resource, sys, lorvane

def address_space():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmSize:"):
                return int(line.split()[1]) * 1024

function = getattr(lorvane, sys.argv[1])
rules = [{"pattern": "swiggy", "category": "Food and drink", "merchant": "Swiggy Bangalore"}]
item = {"narration": "UPI swiggy order 4411"}
request = {"data": [item] * 3_000_000, "rules": rules}
if function.__name__.endswith("_json"):
    import json
    request = json.dumps(request)
soft, hard = resource.getrlimit(resource.RLIMIT_AS)
# Room for the request's working memory, not for three million result entries.
resource.setrlimit(resource.RLIMIT_AS, (address_space() + (200 << 20), hard))
try:
    function(request)
    print("built")
except MemoryError:
    print("MemoryError")
resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
del request
print(lorvane.categorize_transactions({"data": [item], "rules": rules})["data"][0]["merchant"])
"""


@pytest.mark.parametrize("function", ["categorize_transactions", "categorize_transactions_json"])
def test_memory_exhausted_while_building_a_result_is_memory_error(function):
    done = subprocess.run([sys.executable, "-c", CHILD, function], capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split("\n")[:2] == ["MemoryError", "Swiggy Bangalore"]
    assert done.stderr == ""
