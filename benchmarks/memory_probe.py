"""Peak memory of one call, measured in a process of its own.

    python benchmarks/memory_probe.py FUNCTION REQUEST_FILE

Reads the request text (UTF-8) from the file (for a function of the object form, one
whose name does not end in `_json`, also the request it holds, with json.loads), notes
the resident set size, resets the kernel's high-water mark (Linux: /proc/self/clear_refs),
makes one call of FUNCTION (`lorvane.NAME`, or `plain.NAME` for the plain-Python
baselines) and prints one JSON line: the text's size in bytes, the resident size before
the call, the peak during it, the peak above the resident size before the call, and the
resident size that the call leaves behind with its result. Sizes in bytes. Without
clear_refs the peak comes from ru_maxrss, which then also counts reading the file.
"""

import json
import resource
import sys


def status_kib(key):
    with open("/proc/self/status", encoding="ascii") as status:
        for line in status:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    raise KeyError(key)


def reset_peak():
    try:
        with open("/proc/self/clear_refs", "w", encoding="ascii") as refs:
            refs.write("5")
        return True
    except OSError:
        return False


def main():
    name, path = sys.argv[1], sys.argv[2]
    owner, function = name.split(".", 1)
    if owner == "lorvane":
        import lorvane
        run = getattr(lorvane, function)
    else:
        sys.path.insert(0, __file__.rsplit("/", 1)[0])
        from baselines import plain
        run = getattr(plain, function)
    with open(path, encoding="utf-8") as request:
        text = request.read()
    argument = text if function.endswith("_json") else json.loads(text)
    before = status_kib("VmRSS") * 1024
    exact = reset_peak()
    result = run(argument)
    peak = (status_kib("VmHWM") if exact else
            resource.getrusage(resource.RUSAGE_SELF).ru_maxrss) * 1024
    kept = status_kib("VmRSS") * 1024 - before
    del result
    print(json.dumps({"function": name, "text_bytes": len(text.encode()), "rss_before": before,
                      "peak": peak, "above": peak - before, "result": kept, "exact": exact}))


if __name__ == "__main__":
    main()
