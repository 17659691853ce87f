#!/usr/bin/env python3
"""Writes docs/performance.md from the outputs of one scripts/bench run.

    report.py RESULTS_DIR PAGE

RESULTS_DIR holds link.json, controls.json, controls-2x.json and report.json (Google Benchmark), throughput.txt,
wire.txt and log.txt (bench/run_bench), report-open.txt (bench/report_open.sh), startup.txt (bench/startup.sh),
idle.txt (bench/idle_bench), rig.txt (bench/rig_bench),
machine.txt and, after a fuzzing run, fuzz.tsv. Without fuzz.tsv the fuzzing section of the page
as it was is kept.
"""
import json
import os
import re
import sys


def read(results, name):
    with open(os.path.join(results, name), encoding="utf-8") as f:
        return f.read()


def medians(results, name):
    """Benchmark name -> its median aggregate (or its only run)."""
    found = {}
    for bench in json.loads(read(results, name))["benchmarks"]:
        base = bench.get("run_name", bench["name"])
        if bench.get("aggregate_name") in (None, "median"):
            found[base] = bench
    return found


def number(pattern, text):
    match = re.search(pattern, text)
    if not match:
        raise SystemExit(f"report.py: no match for {pattern!r} in:\n{text}")
    return [float(group) for group in match.groups()]


def row(what, measured, goal, met):
    return f"| {what} | {measured} | {goal} | {'yes' if met else '**no**'} |"


def rig_row(results):
    """The run through a real kernel's driver: a figure without a goal, or why it was not run."""
    text = read(results, "rig.txt")
    what = ("Whole 4 MiB EMERGENCY run through the kernel's `ftdi_sio` and QEMU's emulated FTDI device, in the "
            "kernel rig's guest (`rig_bench`): the emulated device has no line rate, so this is no handset's pace")
    match = re.search(r"rig run \((\w+)\): \d+ MiB in ([\d.]+) s on the line, (\d+) KiB/s", text)
    if not match:
        return f"| {what} | not run: {text.strip()} | none | — |"
    accelerator, seconds, rate = match.groups()
    return f"| {what} | {rate} KiB/s, {seconds} s from the first frame to the last ({accelerator}) | none | — |"


def fuzz_section(results, page):
    path = os.path.join(results, "fuzz.tsv")
    if not os.path.exists(path):
        if os.path.exists(page):
            with open(page, encoding="utf-8") as f:
                old = f.read()
            start = old.find("## Fuzzing")
            if start >= 0:
                return old[start:].rstrip("\n")
        return "## Fuzzing\n\nNot run yet: `scripts/bench --fuzz` runs each target for 10 million executions."
    lines = [
        "## Fuzzing",
        "",
        "libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer, each target from its kept inputs",
        "(`tests/fuzz/regressions/`), by `scripts/bench --fuzz`. Goal: at least 10 million executions",
        "each, without a fault.",
        "",
        "| Target | What it feeds | Executions | Time | Executions/s | Faults |",
        "|---|---|---|---|---|---|",
    ]
    feeds = {
        "feed_received": "random bytes in random chunks to the frame receiver",
        "image_file": "arbitrary files to the image reader",
        "settings_hive": "arbitrary text to the settings hive reader",
    }
    date = "?"
    for line in read(results, "fuzz.tsv").splitlines():
        target, runs, seconds, faults, date = line.split("\t")
        rate = int(runs) / max(float(seconds), 1)
        lines.append(f"| `{target}` | {feeds.get(target, '')} | {int(runs):,} | {float(seconds) / 60:.0f} min | "
                     f"{rate:,.0f} | {faults} |")
    lines.append("")
    lines.append(f"Run on {date}.")
    return "\n".join(lines)


def main():
    results, page = sys.argv[1], sys.argv[2]
    link = medians(results, "link.json")
    controls = medians(results, "controls.json")
    framing = link["BM_SendPacketWriteRequest"]["bytes_per_second"] / 1e6
    escaped = link["BM_SendPacketWriteRequestAllEscaped"]["bytes_per_second"] / 1e6
    ack = link["BM_FeedReceivedAck"]["real_time"]
    response = link["BM_FeedReceivedLongResponse/0"]["bytes_per_second"] / 1e6
    run, bare, ratio = number(r"through the dialog ([\d.]+) MB/s.*bare stop-and-wait loop ([\d.]+) MB/s.*ratio (\d+) %",
                              read(results, "throughput.txt"))
    payload, share, cpu = number(r"payload (\d+) B/s, ([\d.]+) % of the wire.*CPU [\d.]+ s, ([\d.]+) %",
                                 read(results, "wire.txt"))
    first, last, growth = number(r"first \d+: ([\d.]+) us, last \d+: ([\d.]+) us, ratio ([\d.]+)",
                                 read(results, "log.txt"))
    flashgate, qt = number(r"Flashgate main dialog ([\d.]+) us, bare Qt dialog ([\d.]+) us", read(results, "startup.txt"))
    idle_seconds, idle_cpu, idle_run, idle_wakes = number(
        r"idle (\d+) s with two handsets: CPU ([\d.]+) ms \(([\d.]+) ms run time\), (\d+) wake-ups",
        read(results, "idle.txt"))
    bar = controls["BM_PaintPercentBar"]["real_time"]
    balloon = controls["BM_PaintBalloon"]["real_time"]
    scaled = medians(results, "controls-2x.json")
    bar2x = scaled["BM_PaintPercentBar"]["real_time"]
    balloon2x = scaled["BM_PaintBalloon"]["real_time"]

    page_write = medians(results, "report.json")["FormatPage"]
    opened, = number(r"opened_ms (\d+)", read(results, "report-open.txt"))
    shown, = number(r"shown_ms (-?\d+)", read(results, "report-open.txt"))

    rows = [
        row("Framing and FCS of an 8199-byte write request (`link_bench`)", f"{framing:.0f} MB/s "
            f"({escaped:.0f} MB/s with every byte escaped)", "≥ 500 MB/s", framing >= 500),
        row("Receiver: a 400-byte response decoded (`link_bench`)", f"{response:.0f} MB/s; an ACK frame in "
            f"{ack:.0f} ns", "≥ 10 MB/s, ten times a USB serial line", response >= 10),
        row("Whole 16 MiB EMERGENCY run through the dialog, thread, pty and handset stand-in, against a bare "
            "stop-and-wait loop over the same line (`run_bench throughput`)", f"{run:.1f} MB/s against "
            f"{bare:.1f} MB/s: {ratio:.0f} %", "≥ 50 % of the bare loop", ratio >= 50),
        row("256 KiB at 57600 baud: payload as a share of the wire (`run_bench wire`)", f"{payload:.0f} B/s: "
            f"{share:.1f} %", "≥ 98 %", share >= 98),
        row("Same run: processor time as a share of the run", f"{cpu:.2f} %", "≤ 5 %", cpu <= 5),
        row("Log of 100 000 lines: time per line, last thousand against first (`run_bench log`)",
            f"{first:.1f} µs → {last:.1f} µs: {growth:.2f}×", "flat, < 2×", growth < 2),
        row("Start-up to first paint, median of alternating runs (`bench/startup.sh`)", f"{flashgate / 1000:.1f} ms "
            f"against a bare Qt dialog's {qt / 1000:.1f} ms ({flashgate / qt:.2f}×)", "≤ 2× a bare Qt dialog",
            flashgate <= 2 * qt),
        row(f"The program idle for {idle_seconds:.0f} s with two handsets attached, once their ports have settled "
            "(`idle_bench`)", f"{idle_cpu:.0f} ms of CPU ({idle_run:.3f} ms run time), {idle_wakes:.0f} wake-ups",
            "≤ 10 ms in 10 s, no wake-up", idle_cpu * 10 / idle_seconds <= 10 and idle_wakes == 0),
        row("One paint of the percentage bar: 460 px, 255 bands, text (`controls_bench`)", f"{bar:.0f} µs",
            "≤ 1 ms", bar <= 1000),
        row("One paint of the balloon (`controls_bench`)", f"{balloon:.0f} µs", "≤ 1 ms", balloon <= 1000),
        row("The same two on a screen at 2× (`QT_SCALE_FACTOR=2 controls_bench`): the bar, the balloon",
            f"{bar2x:.0f} µs, {balloon2x:.0f} µs", "≤ 1 ms each", max(bar2x, balloon2x) <= 1000),
        row("The run report of a 64 MiB image (8192 blocks, a NAK every 97th, a silence every 1000th) written at "
            "the run's end (`report_bench`)", f"{page_write['real_time']:.0f} ms, {page_write['page_bytes'] / 1e6:.1f} MB;"
            f" the run's account keeps {page_write['account_bytes_per_block']:.0f} bytes a block",
            "≤ 100 ms, a few bytes a block", page_write["real_time"] <= 100 and page_write["account_bytes_per_block"] <= 16),
        row("The same page opened in headless Chromium, median of 5 (`bench/report_open.sh`): loaded, styled and "
            "laid out; painted, as a screenshot's time beyond an empty page's", f"{opened:.0f} ms; {shown:.0f} ms",
            "< 1 s", max(opened, shown) < 1000),
        rig_row(results),
    ]
    text = "\n".join([
        "# Performance and reliability",
        "",
        "Written by `scripts/bench` from one run of every benchmark on the normal (RelWithDebInfo)",
        "build, windows on the off-screen display. Do not edit by hand: run `scripts/bench` again.",
        "",
        read(results, "machine.txt").strip(),
        "",
        "| What | Measured | Goal | Met |",
        "|---|---|---|---|",
        *rows,
        "",
        fuzz_section(results, page),
        "",
    ])
    with open(page, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
