#!/usr/bin/env python3
"""Writes bench/README.md from the Google Benchmark JSON of one run (and the command
baselines measured beside it), each figure next to its baseline from the same run."""
import json
import os
import platform
import re
import statistics
import sys
from datetime import datetime, timezone

UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1000.0}

# Figures with a target set when they were built: (name pattern, "ms" ceiling or "rate" floor, limit, text).
TARGETS = [
    (r"^BM_GetJobs_ThreeWords/listings:50000/.*/plain:0$", "ms", 50.0,
     "getJobs with a three-word query under 50 ms median at 50,000 listings"),
    (r"^BM_FullSync$", "rate", 15000.0, "a full sync stores at least 15,000 listings/s"),
    (r"^BM_GetJobs_SortByMatch/listings:100000/", "ms", 50.0,
     "a page of 200 sorted by match under 50 ms median at 100,000 listings"),
    (r"^BM_GroundedBuild", "ms", 100.0, "the grounded build under 100 ms"),
    (r"^BM_RecalculateAts", "ms", 5.0, "recalculateAts under 5 ms median"),
    (r"^BM_Export(Pdf|Docx)$", "ms", 50.0, "PDF and DOCX export each under 50 ms median"),
]


FAILED = []  # programs whose JSON could not be read (crashed or killed half-way)


def load_runs(results_dir):
    """name -> {"program", "ms": [...], "ips": [...], "counters": {...}, "label"}"""
    runs = {}
    for file in sorted(os.listdir(results_dir)):
        if not file.endswith(".json") or file == "commands.json":
            continue
        try:
            with open(os.path.join(results_dir, file)) as f:
                text = f.read()
            # Google Benchmark writes nan and inf bare (a zero-time counter's cv, for one).
            text = re.sub(r":\s*-?nan\b", ": NaN", text, flags=re.IGNORECASE)
            text = re.sub(r":\s*(-?)inf\b", r": \1Infinity", text, flags=re.IGNORECASE)
            doc = json.loads(text)
        except (OSError, ValueError):
            FAILED.append(file[: -len(".json")])
            continue
        program = file[: -len(".json")]
        aggregates = {}
        for b in doc.get("benchmarks", []):
            name = b.get("run_name") or re.sub(r"_(mean|median|stddev|cv)$", "", b["name"])
            name = re.sub(r"/repeats:\d+$", "", name)
            # Fixed iteration counts and real-time timing are how a figure is taken, not what it is.
            name = re.sub(r"/(iterations:\d+|real_time)(?=/|$)", "", name)
            if b.get("error_occurred"):
                runs.setdefault(name, {"program": program, "ms": [], "ips": [], "counters": {}, "label": "",
                                       "error": b.get("error_message", "error")})
                continue
            ms = b.get("real_time", 0.0) * UNIT_MS.get(b.get("time_unit", "ns"), 1e-6)
            if b.get("run_type") == "aggregate":
                if b.get("aggregate_name") == "median":
                    aggregates[name] = (program, ms, b)
                continue
            r = runs.setdefault(name, {"program": program, "ms": [], "ips": [], "counters": {}, "label": ""})
            r["ms"].append(ms)
            if "items_per_second" in b:
                r["ips"].append(b["items_per_second"])
            for key in ("rows", "listings", "pages", "words", "bytes"):
                if key in b:
                    r["counters"][key] = b[key]
            r["label"] = b.get("label", "")
        # A run kept only its aggregates: the median without a range.
        for name, (program, ms, b) in aggregates.items():
            if name not in runs:
                runs[name] = {"program": program, "ms": [ms], "ips": [b["items_per_second"]] if "items_per_second" in b else [],
                              "counters": {}, "label": b.get("label", ""), "aggregateOnly": True}
    return runs


def load_commands(results_dir):
    path = os.path.join(results_dir, "commands.json")
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return json.load(f)


def fmt_ms(v):
    if v >= 100:
        return f"{v:,.0f} ms"
    if v >= 1:
        return f"{v:.2f} ms"
    if v >= 0.001:
        return f"{v * 1000:.1f} µs"
    return f"{v * 1e6:.0f} ns"


def fmt_rate(v):
    return f"{v:,.0f}/s"


def spread(values, fmt):
    if not values:
        return "—"
    med = statistics.median(values)
    if len(values) < 2:
        return f"{fmt(med)}"
    return f"{fmt(med)} ({fmt(min(values))}–{fmt(max(values))})"


def baseline_for(name, runs):
    """(baseline name, what is compared) for a figure, or None."""
    m = re.match(r"^(BM_\w+)/listings:(\d+)/mode:(\d+)/plain:0$", name)
    if m:
        return (f"{m.group(1)}/listings:{m.group(2)}/mode:{m.group(3)}/plain:1", "time", "plain LIKE scan, same query")
    if name == "BM_FullSync":
        # A sync commits in batches, so its fair baseline commits in batches too.
        return ("BM_RawSqliteInsertPerPage", "rate", "raw SQLite inserts of the same listings, 100 per transaction")
    if name == "BM_UpsertJob":
        return ("BM_RawSqliteInsert", "rate", "raw SQLite inserts of the same listings, one per transaction")
    if name == "BM_ExtractPdfTwoPages":
        return ("BM_PdftotextTwoPages", "time", "pdftotext on the same PDF")
    if name in ("BM_ExportPdf", "BM_ExportDocx"):
        return ("BM_LibreOfficeDocxToPdf", "time", "libreoffice --headless --convert-to pdf")
    if name == "BM_HeadlessHostGetSettings":
        return ("BM_InProcessGetSettings", "time", "the same request in-process")
    return None


def is_baseline(name, runs):
    if re.search(r"/plain:1$", name):
        return True
    return name in ("BM_RawSqliteInsert", "BM_RawSqliteInsertPerPage", "BM_PdftotextTwoPages", "BM_LibreOfficeDocxToPdf")


def target_note(name, run):
    for pattern, kind, limit, what in TARGETS:
        if re.search(pattern, name):
            if kind == "rate":
                if not run["ips"]:
                    return "", what
                ok = statistics.median(run["ips"]) >= limit
            else:
                ok = statistics.median(run["ms"]) <= limit
            return ("met" if ok else "**missed**"), what
    return "", ""


def kept_sections(previous, programs):
    """Sections of an earlier report for the programs not run this time: {heading: lines}, and
    its date. Lets a change that touches two programs refresh their figures without the rest."""
    if not previous or not os.path.exists(previous):
        return {}, ""
    with open(previous) as f:
        text = f.read()
    date = re.search(r"Generated by .*? on (\d{4}-\d\d-\d\d \d\d:\d\d UTC)", text)
    date = date.group(1) if date else "an earlier run"
    sections, heading = {}, None
    for line in text.splitlines():
        if line.startswith("## "):
            name = line[3:].strip()
            heading = name if (name.startswith("bench_") and name not in programs) or \
                name == "Whole programs and command-line baselines" else None
            if heading:
                sections[heading] = [f"*kept* from {date}."]
            continue
        if heading:
            # A section kept before keeps the date of the run that measured it.
            if re.match(r"^\*kept\* from .+\.$", line):
                sections[heading] = [line]
                continue
            sections[heading].append(line)
    return sections, date


def main():
    results_dir, out = sys.argv[1], sys.argv[2]
    runs = load_runs(results_dir)
    commands = load_commands(results_dir)
    kept, kept_date = kept_sections(os.environ.get("VELMORA_BENCH_KEEP"), {r["program"] for r in runs.values()})
    if commands:
        kept.pop("Whole programs and command-line baselines", None)
    lines = []
    now = datetime.now(timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    cpu = ""
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next((l.split(":", 1)[1].strip() for l in f if l.startswith("model name")), "")
    except OSError:
        pass
    lines += [
        "# Velmora benchmarks",
        "",
        (f"Generated by `bench/run.sh` for {', '.join(sorted({r['program'] for r in runs.values()}))} on {now}"
         if kept else f"Generated by `make bench` on {now}")
        + f": Release build, {os.cpu_count()} cores ({cpu or platform.machine()}).",
        "Each figure is the median of its repetitions, with the fastest and slowest in brackets; its baseline",
        "ran in the same run on the same machine. **Ratio** is the figure's time over the baseline's time",
        "(below 1: faster than the baseline); for throughput pairs it is the baseline's rate over the figure's,",
        "so below 1 always means Velmora is ahead.",
        "",
    ]
    if kept:
        lines += ["Sections marked *kept* are copied from an earlier report, with the date of the run that measured",
                  "them; only the other programs ran again.", ""]
    missed = []
    programs = sorted({r["program"] for r in runs.values()} | {k for k in kept if k.startswith("bench_")})
    for program in programs:
        if program in kept:
            body = kept[program]
            lines += [f"## {program}", ""] + body
            for row in body:
                if "**missed**" in row:
                    missed.append((row.split("|")[1].strip(), row.split("|")[2].strip(), f"see its row ({body[0]})"))
            continue
        names = [n for n, r in runs.items() if r["program"] == program and not is_baseline(n, runs)]
        if not names:
            continue
        lines += [f"## {program}", "", "| Figure | Median (min–max) | Throughput | Baseline | Baseline median (min–max) | Ratio | Target |",
                  "| --- | --- | --- | --- | --- | --- | --- |"]
        for name in names:
            r = runs[name]
            shown = name + (f" ({r['label']})" if r["label"] else "")
            extras = ", ".join(f"{k} {v:,.0f}" for k, v in r["counters"].items())
            if extras:
                shown += f"; {extras}"
            if "error" in r:
                lines.append(f"| {shown} | error: {r['error']} | | | | | |")
                continue
            med = statistics.median(r["ms"])
            base = baseline_for(name, runs)
            base_cell, base_val, ratio = "—", "", ""
            if base and base[0] in runs and runs[base[0]]["ms"] and "error" not in runs[base[0]]:
                b = runs[base[0]]
                base_cell = base[2]
                if base[1] == "rate" and r["ips"] and b["ips"]:
                    base_val = spread(b["ips"], fmt_rate)
                    ratio = f"{statistics.median(b['ips']) / statistics.median(r['ips']):.2f}"
                else:
                    base_val = spread(b["ms"], fmt_ms)
                    ratio = f"{med / statistics.median(b['ms']):.2f}"
            elif base:
                base_cell = base[2] + " (not run)"
            verdict, what = target_note(name, r)
            if verdict == "**missed**":
                missed.append((name, spread(r["ips"], fmt_rate) if "rate" in what or "/s" in what else fmt_ms(med), what))
            timing = spread(r["ms"], fmt_ms) + (" (median only: the program keeps aggregates)" if r.get("aggregateOnly") else "")
            lines.append(f"| {shown} | {timing} | {spread(r['ips'], fmt_rate)} | {base_cell} | "
                         f"{base_val} | {ratio} | {verdict} |")
        lines.append("")

    if commands:
        lines += ["## Whole programs and command-line baselines", "",
                  "Measured by `bench/commands.py` in the same run, from outside the process (start-up included).", "",
                  "| Figure | Median (min–max) | Compared with | Its median | Ratio | Note |", "| --- | --- | --- | --- | --- | --- |"]
        for c in commands:
            unit = c.get("unit", "ms")
            fmt = fmt_ms if unit == "ms" else (lambda v, u=unit: f"{v:,.1f} {u}")
            value = spread(c.get("samples", []), fmt) if c.get("samples") else c.get("error", "—")
            other, other_val, ratio = "", "", ""
            if c.get("baseline") and c["baseline"].get("samples") and c.get("samples"):
                other = c["baseline"]["name"]
                other_val = spread([v for v in c["baseline"]["samples"] if v is not None], fmt)
                bm = statistics.median([v for v in c["baseline"]["samples"] if v is not None])
                ratio = f"{statistics.median(c['samples']) / bm:.2f}" if bm else ""
            elif c.get("compare") and c["compare"] in runs and runs[c["compare"]]["ms"]:
                other = c["compare"]
                om = statistics.median(runs[c["compare"]]["ms"])
                other_val = fmt_ms(om)
                if c.get("samples"):
                    ratio = f"{om / statistics.median(c['samples']):.2f}"
            lines.append(f"| {c['name']} | {value} | {other} | {other_val} | {ratio} | {c.get('note', '')} |")
        lines += ["", "Ratio: the row's median over its baseline's; against a benchmark (a `BM_` name) it is the",
                  "benchmark's median over the command's, so below 1 means Velmora is ahead there too.", ""]

    if "Whole programs and command-line baselines" in kept:
        lines += ["## Whole programs and command-line baselines", ""] + kept["Whole programs and command-line baselines"]

    if FAILED:
        lines += ["## Programs without figures", "",
                  "These programs stopped before writing complete results (see their .txt output beside the JSON): "
                  + ", ".join(f"`{p}`" for p in FAILED) + ".", ""]

    lines += ["## Targets", ""]
    if missed:
        lines += ["Figures that missed their target:", ""]
        for name, value, what in missed:
            lines.append(f"- `{name}`: {value}; target: {what}.")
    else:
        lines.append("Every figure with a target met it." if runs else "No benchmark results were found.")
    lines += ["", "Targets checked: " + "; ".join(t[3] for t in TARGETS) + ".", ""]
    # Why a figure missed its target is a judgement, kept by hand beside this script.
    notes = os.path.join(os.path.dirname(os.path.abspath(__file__)), "NOTES.md")
    if os.path.exists(notes):
        with open(notes) as f:
            lines += ["## Notes", "", f.read().strip(), ""]
    with open(out, "w") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
