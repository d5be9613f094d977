#!/usr/bin/env python3
"""Tables of a fan-out benchmark run: reads the load generator's result lines (one
"result key=value ..." line per run), takes the median of each figure over the runs
of one point on one server, and prints markdown tables with our daemon's ratios
against each peer.

    bench/summarize.py results.txt
"""
import statistics
import sys
from collections import defaultdict

OURS = "tavo"
PEERS = ["ngircd", "inspircd"]
FAULT_KEYS = ["lost", "duplicated", "reordered", "garbled", "disconnected"]


def read_results(path):
    """Result lines as dicts, in the order of the file."""
    runs = []
    with open(path, encoding="utf-8") as lines:
        for line in lines:
            words = line.split()
            if words and words[0] == "result":
                runs.append(dict(word.split("=", 1) for word in words[1:] if "=" in word))
    return runs


def number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


def medians(runs):
    """{(server, point): {key: median}} over the runs that completed."""
    grouped = defaultdict(list)
    for run in runs:
        grouped[(run.get("server"), run.get("point"))].append(run)
    table = {}
    for key, group in grouped.items():
        figures = {}
        for name in group[0]:
            values = [number(run.get(name)) for run in group]
            values = [value for value in values if value is not None]
            if values:
                figures[name] = statistics.median(values)
        figures["runs"] = len(group)
        figures["faults"] = sum(
            sum(number(run.get(name)) or 0 for name in FAULT_KEYS) for run in group)
        figures["failed"] = sum(run.get("status") != "ok" for run in group)
        table[key] = figures
    return table


def show(value, scale=1.0, digits=0):
    if value is None:
        return "–"
    return f"{value * scale:,.{digits}f}"


def ratio(ours, peer):
    if ours is None or not peer:
        return "–"
    return f"{ours / peer:.2f}"


def fan_out_table(table, points, servers):
    peers = [peer for peer in PEERS if peer in servers]
    ours_present = OURS in servers
    header = ["point"]
    header += [f"{server} deliveries/s" for server in servers]
    if ours_present:
        header += [f"{OURS} ÷ {peer}" for peer in peers]
    header += [f"{server} p99 ms" for server in servers]
    if ours_present:
        header += [f"p99 {OURS} ÷ {peer}" for peer in peers]
    header += [f"{server} CPU µs/delivery" for server in servers]
    if ours_present:
        header += [f"CPU {OURS} ÷ {peer}" for peer in peers]
    header += ["faults", "failed runs"]
    rows = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for point in points:
        cells = [table.get((server, point), {}) for server in servers]
        ours = table.get((OURS, point), {})
        row = [point]
        row += [show(cell.get("deliveries_per_s"), 1e-3, 0) + "k" if cell else "–" for cell in cells]
        if ours_present:
            row += [ratio(ours.get("deliveries_per_s"),
                          table.get((peer, point), {}).get("deliveries_per_s")) for peer in peers]
        row += [show(cell.get("p99_ms"), 1, 2) for cell in cells]
        if ours_present:
            row += [ratio(ours.get("p99_ms"), table.get((peer, point), {}).get("p99_ms"))
                    for peer in peers]
        row += [show(cell.get("server_cpu_us_per_delivery"), 1, 2) for cell in cells]
        if ours_present:
            row += [ratio(ours.get("server_cpu_us_per_delivery"),
                          table.get((peer, point), {}).get("server_cpu_us_per_delivery"))
                    for peer in peers]
        row += [show(sum(cell.get("faults", 0) for cell in cells)),
                show(sum(cell.get("failed", 0) for cell in cells))]
        rows.append("| " + " | ".join(row) + " |")
    return "\n".join(rows)


def setup_table(table, points, servers):
    header = ["point", "server", "registrations/s", "registration p50 ms", "RSS idle KiB",
              "RSS registered KiB", "KiB per registered client", "RSS in channel KiB",
              "KiB per client in channel"]
    rows = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for point in points:
        for server in servers:
            cell = table.get((server, point))
            if not cell:
                continue
            rows.append("| " + " | ".join([
                point, server, show(cell.get("register_per_s"), 1, 1),
                show(cell.get("register_p50_ms"), 1, 1),
                show(cell.get("server_rss_idle_kib")),
                show(cell.get("server_rss_registered_kib")),
                show(cell.get("server_kib_per_registered_client"), 1, 1),
                show(cell.get("server_rss_clients_kib")),
                show(cell.get("server_kib_per_client"), 1, 1)]) + " |")
    return "\n".join(rows)


def one_point_per_size(points):
    """For each number of clients, its N/reg point if there is one, else its first point."""
    chosen = {}
    for point in points:
        clients = point.split("/")[0]
        if clients not in chosen or point.endswith("/reg"):
            chosen[clients] = point
    return list(chosen.values())


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    runs = read_results(sys.argv[1])
    table = medians(runs)
    points = list(dict.fromkeys(run.get("point") for run in runs))
    servers = list(dict.fromkeys(run.get("server") for run in runs))
    send_points = [point for point in points if not point.endswith("/reg")]
    main_servers = [server for server in servers if not server.endswith("-dns")]
    repeats = max((cell["runs"] for cell in table.values()), default=0)
    print(f"\nMedians of up to {repeats} run(s) per point. Point N/S/wW: N clients in one "
          "channel, S senders, closed loop with W messages in flight per sender, each until "
          "every receiver has it; N/S/fW: the same until its first receiver has it; N/S/rR: "
          "paced at R messages/s in all; /nick: PRIVMSG to a nick. Ratios are ours ÷ peer "
          "(above 1 is faster for deliveries/s, slower for p99 and CPU per delivery).\n")
    if send_points:
        print(fan_out_table(table, send_points, main_servers))
        print()
    print("Registration (from connect to the end of the MOTD, a few clients at a time) and "
          "resident memory, for each N from its N/reg point or else its first point; -dns: "
          "the peer with its reverse lookups on.\n")
    print(setup_table(table, one_point_per_size(points), servers))


if __name__ == "__main__":
    main()
