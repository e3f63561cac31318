"""The processor time a process and its descendants use over a few seconds.

usage: cpu_use.py PID SECONDS [--max PERCENT]

Reads utime + stime of PID and of every process below it from /proc at the
start and at the end, and prints each one's share of a core and the total,
e.g. "kivo 1.2 % + WebKitWebProces 0.4 % = 1.6 % of a core over 3.0 s".
Processes that come or go meanwhile count for the part they were seen. With
--max, exits 1 when the total is above PERCENT.
"""
import os
import sys
import time

TICKS = os.sysconf("SC_CLK_TCK")


def stat(pid):
    """(name, parent, ticks used) of pid, or None once it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            text = f.read()
    except OSError:
        return None
    # The name is in parentheses and may hold anything, spaces included.
    name = text[text.index("(") + 1:text.rindex(")")]
    fields = text[text.rindex(")") + 2:].split()
    return name, int(fields[1]), int(fields[11]) + int(fields[12])


def tree(root):
    """{pid: (name, ticks)} of root and everything below it."""
    stats = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            s = stat(int(entry))
            if s:
                stats[int(entry)] = s
    found, todo = {}, [root]
    while todo:
        pid = todo.pop()
        if pid in stats:
            found[pid] = (stats[pid][0], stats[pid][2])
            todo += [p for p, s in stats.items() if s[1] == pid]
    return found


def main():
    root, seconds = int(sys.argv[1]), float(sys.argv[2])
    limit = float(sys.argv[4]) if len(sys.argv) > 4 and sys.argv[3] == "--max" else None
    before = tree(root)
    if root not in before:
        print("process %d is not running" % root)
        return 1
    start = time.monotonic()
    time.sleep(seconds)
    after = tree(root)
    elapsed = time.monotonic() - start
    parts, total = [], 0.0
    for pid in sorted(set(before) | set(after)):
        name = (after.get(pid) or before[pid])[0]
        used = (after[pid][1] if pid in after else before[pid][1]) - (
            before[pid][1] if pid in before else 0)
        share = 100.0 * used / TICKS / elapsed
        total += share
        if share >= 0.05 or pid == root:
            parts.append("%s %.1f %%" % (name, share))
    print("%s = %.1f %% of a core over %.1f s" % (" + ".join(parts), total, elapsed))
    return 1 if limit is not None and total > limit else 0


sys.exit(main())
