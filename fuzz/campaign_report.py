#!/usr/bin/env python3
"""Turns the logs of fuzz/campaign.sh into fuzz/REPORT.md: one row per target and run.
    campaign_report.py LOG_DIR [LOG_DIR ...] OUT"""
import pathlib
import re
import sys
from datetime import datetime

log_dirs = [pathlib.Path(p) for p in sys.argv[1:-1]]
out = pathlib.Path(sys.argv[-1])

rows = []
for status in sorted(s for d in log_dirs for s in d.glob("*.status")):
    log_dir = status.parent
    target = status.stem
    fields = status.read_text().split()
    code, start = fields[0], fields[1]
    commit = fields[3] if len(fields) > 3 else "?"
    log = (log_dir / f"{target}.log").read_text(errors="replace")
    stat = dict(re.findall(r"^stat::(\w+):\s+(\d+)", log, re.M))
    # The last progress line carries the final edge coverage (cov), features (ft) and corpus size.
    progress = re.findall(r"#(\d+)\s+\w+\s+cov: (\d+) ft: (\d+) corp: (\d+)/(\S+)", log)
    cov, ft, corp = (progress[-1][1], progress[-1][2], progress[-1][3]) if progress else ("?", "?", "?")
    execs = int(stat.get("number_of_executed_units", 0))
    seconds = int((datetime.fromisoformat(fields[2].replace("Z", "+00:00")) -
                   datetime.fromisoformat(start.replace("Z", "+00:00"))).total_seconds())
    artifacts = sorted(p.name for p in (log_dir / f"{target}-artifacts").glob("*"))
    if code == "0" and not artifacts:
        outcome = "no finding"
    else:
        outcome = "exit %s; %s" % (code, ", ".join(artifacts) or "see log")
    rows.append((target, start, commit, seconds, execs, cov, ft, corp,
                 stat.get("peak_rss_mb", "?"), outcome))
rows.sort(key=lambda r: (r[0], r[1]))

lines = [
    "# Fuzzing campaign",
    "",
    "Written by `fuzz/campaign_report.py` from the logs of `fuzz/campaign.sh` (`make fuzz-campaign`",
    "runs both): libFuzzer, clang, ASan + UBSan, one target after another, on a 2-core machine where",
    "a second campaign or a build sometimes shared the cores. `commit` is the code the target was",
    "built from; `cov` counts covered edges, `ft` coverage features, `corpus` the inputs kept.",
    "Executions per second are over wall-clock time. The kept corpora are not committed;",
    "`fuzz/corpus/` holds the seeds and the regression inputs that CI replays.",
    "",
    "| target | started (UTC) | commit | seconds | executions | exec/s | cov | ft | corpus | peak RSS MB | outcome |",
    "|---|---|---|---:|---:|---:|---:|---:|---:|---:|---|",
]
for t, start, commit, s, e, cov, ft, corp, rss, outcome in rows:
    rate = e // s if s else 0  # wall-clock seconds, so start-up and corpus loading count too
    lines.append(f"| {t} | {start} | {commit} | {s} | {e:,} | {rate:,} | {cov} | {ft} | {corp} | {rss} | {outcome} |")
# What each finding was and how it was fixed is a judgement, kept by hand beside this script.
findings = pathlib.Path(__file__).with_name("FINDINGS.md")
if findings.exists():
    lines += ["", "## Findings", "", findings.read_text().strip()]
out.write_text("\n".join(lines) + "\n")
print(f"wrote {out}")
