"""Timing and the description of the machine a run happened on."""

import gc
import math
import os
import platform
import statistics
import time
from importlib import metadata

CLOCKS = {
    # CPU time of this process (user + system): steadier than wall time on a machine
    # that other work shares, and the same for single-threaded code.
    "cpu": time.process_time,
    "wall": time.perf_counter,
}


class Timer:
    def __init__(self, clock="cpu", repeat=5, budget=20.0):
        self.clock = CLOCKS[clock]
        self.clock_name = clock
        self.repeat = repeat
        self.budget = budget  # seconds per implementation: slow ones get fewer runs

    def median(self, function, argument, calls=1):
        """Median seconds per call over up to `repeat` samples of `calls` calls each;
        stops early once the samples have used the budget (at least one sample)."""
        return self.medians([(function, argument, calls)])[0]

    def medians(self, runs):
        """median() of each (function, argument, calls) of `runs`, their samples taken in
        turns, a sample of each per turn: a change in the machine's load while they are
        timed touches them all alike. Returns (median, samples) of each."""
        samples = [[] for _ in runs]
        spent = [0.0] * len(runs)
        gc.collect()
        for _ in range(self.repeat):
            for i, (function, argument, calls) in enumerate(runs):
                if spent[i] > self.budget:
                    continue
                start = self.clock()
                for _ in range(calls):
                    function(argument)
                elapsed = self.clock() - start
                samples[i].append(elapsed / calls)
                spent[i] += elapsed
        return [(statistics.median(taken), len(taken)) for taken in samples]

    def calls_for(self, function, argument, target=0.05):
        """How many calls make one sample last about `target` seconds."""
        start = self.clock()
        function(argument)
        once = max(self.clock() - start, 1e-7)
        return max(1, int(target / once))

    def calls_lasting(self, function, argument, seconds):
        """How many calls make one sample last at least `seconds`, from batches of calls
        that double until one lasts a tenth of that (a single call is too short to time
        when it takes microseconds)."""
        calls = 1
        while True:
            start = self.clock()
            for _ in range(calls):
                function(argument)
            elapsed = self.clock() - start
            if elapsed >= seconds / 10 or calls >= 1 << 20:
                return max(1, math.ceil(calls * seconds / max(elapsed, 1e-9)))
            calls *= 2


def cpu_model():
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine()


def load_average():
    try:
        return "%.2f %.2f %.2f" % os.getloadavg()
    except OSError:
        return "unknown"


def version_of(distribution):
    try:
        return metadata.version(distribution)
    except metadata.PackageNotFoundError:
        return None


def machine():
    """The facts a reader needs to compare a run with another."""
    return {
        "cpu": cpu_model(),
        "cores": os.cpu_count(),
        "system": "%s %s" % (platform.system(), platform.release()),
        "python": "%s %s" % (platform.python_implementation(), platform.python_version()),
    }


LIBRARIES = ["orjson", "msgspec", "pyahocorasick", "ahocorasick-rs", "hyperscan",
             "numpy-financial", "numpy"]


def versions(module):
    found = {"lorvane": getattr(module, "__version__", "?")}
    for name in LIBRARIES:
        found[name] = version_of(name) or "not installed"
    return found
