#!/usr/bin/env python3
"""Process-tree figures for the benchmark, read from /proc.

  procstats.py tree PID          PID and all its descendants, one per line
  procstats.py cpu PID SECONDS   processor time over SECONDS of the UI process
                                 and, separately, of all its descendants
  procstats.py mem PID           RSS of the UI process, PSS and USS of the tree

Output is key=value lines for bench/run.sh. Processor time comes from
utime+stime in /proc/<pid>/stat (clock ticks) and, as a finer cross-check,
from the first field of /proc/<pid>/schedstat (nanoseconds on a processor).
PSS shares every shared page among all processes that map it, so it drops
when other programs on the machine map the same libraries; USS (pages of the
process's own) does not depend on what else runs, and is given beside it.
"""
import os
import sys
import time

TICK = os.sysconf("SC_CLK_TCK")


def children_map():
    kids = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        # The command name may hold spaces and parentheses: split after the last ')'.
        fields = stat[stat.rfind(")") + 2:].split()
        kids.setdefault(int(fields[1]), []).append(int(name))
    return kids


def tree(pid):
    kids = children_map()
    order, todo = [], [pid]
    while todo:
        p = todo.pop(0)
        if p in order:
            continue
        order.append(p)
        todo.extend(sorted(kids.get(p, [])))
    return [p for p in order if os.path.exists(f"/proc/{p}")]


def cpu_ticks(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            stat = f.read()
        fields = stat[stat.rfind(")") + 2:].split()
        return int(fields[11]) + int(fields[12])  # utime, stime
    except (OSError, IndexError, ValueError):
        return None


def cpu_ns(pid):
    """Time on a processor of every thread of pid, in nanoseconds."""
    total = 0
    try:
        for tid in os.listdir(f"/proc/{pid}/task"):
            try:
                with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                    total += int(f.read().split()[0])
            except (OSError, ValueError, IndexError):
                pass
    except OSError:
        return None
    return total


def sample(pids):
    return {p: (cpu_ticks(p), cpu_ns(p)) for p in pids}


def cmd_cpu(pid, seconds):
    before_pids = tree(pid)
    before = sample(before_pids)
    start = time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - start
    after_pids = tree(pid)
    after = sample(after_pids)
    ui_ticks = ui_ns = kid_ticks = kid_ns = 0
    for p in set(before_pids) | set(after_pids):
        b_ticks, b_ns = before.get(p, (0, 0))
        a_ticks, a_ns = after.get(p, (None, None))
        if a_ticks is None:  # gone meanwhile: its last figures are lost
            continue
        d_ticks = a_ticks - (b_ticks or 0)
        d_ns = (a_ns or 0) - (b_ns or 0)
        if p == pid:
            ui_ticks, ui_ns = d_ticks, d_ns
        else:
            kid_ticks += d_ticks
            kid_ns += d_ns
    pct = lambda ticks: 100.0 * ticks / TICK / elapsed
    pct_ns = lambda ns: 100.0 * ns / 1e9 / elapsed
    print(f"idle_seconds={elapsed:.1f}")
    print(f"cpu_ui_pct={pct(ui_ticks):.3f}")
    print(f"cpu_children_pct={pct(kid_ticks):.3f}")
    print(f"cpu_ui_pct_ns={pct_ns(ui_ns):.3f}")
    print(f"cpu_children_pct_ns={pct_ns(kid_ns):.3f}")
    print(f"children={len(after_pids) - 1}")


def status_kb(pid, key):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def rollup(pid):
    """Pss and Uss (private pages only) of pid, in kB."""
    pss = uss = 0
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith("Pss:"):
                    pss = int(line.split()[1])
                elif line.startswith(("Private_Clean:", "Private_Dirty:")):
                    uss += int(line.split()[1])
    except OSError:
        pass
    return pss, uss


def comm(pid):
    try:
        with open(f"/proc/{pid}/comm") as f:
            return f.read().strip()
    except OSError:
        return "?"


def cmd_mem(pid):
    pids = tree(pid)
    total_pss = total_uss = 0
    parts = []
    for p in pids:
        pss, uss = rollup(p)
        total_pss += pss
        total_uss += uss
        parts.append(f"{comm(p)}:{pss // 1024}/{uss // 1024}")
    print(f"rss_ui_kb={status_kb(pid, 'VmRSS')}")
    print(f"pss_tree_kb={total_pss}")
    print(f"uss_tree_kb={total_uss}")
    print(f"mem_parts={','.join(parts)}")


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 1
    what, pid = sys.argv[1], int(sys.argv[2])
    if what == "tree":
        print("\n".join(str(p) for p in tree(pid)))
    elif what == "cpu":
        cmd_cpu(pid, float(sys.argv[3]) if len(sys.argv) > 3 else 30.0)
    elif what == "mem":
        cmd_mem(pid)
    else:
        print(__doc__, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
