#!/usr/bin/env python3
"""Baselines measured from outside a process, in the same run as the benchmark programs:
the sqlite3 command line on the same search, the peak memory of velmora-bridge after it has
served 100,000 listings, and the desktop program's start-up to its first bridge reply under
Xvfb. Writes <results>/commands.json for report.py; a tool that is missing gives a row that
says so instead of a figure."""
import json
from datetime import datetime, timezone
import os
import random
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

REPEATS = 5
LISTINGS = int(os.environ.get("VELMORA_BENCH_LISTINGS", "100000"))  # smaller only to try the script
WORDS = ("kubernetes terraform postgres python golang react typescript rust java kotlin swift aws gcp azure docker "
         "linux security data analytics machine learning platform backend frontend mobile design product support "
         "sales marketing finance remote team customer growth senior staff engineer developer manager lead").split()
TITLES = ["Senior Backend Engineer", "Staff Platform Engineer", "Product Designer", "Data Analyst",
          "Customer Support Lead", "Frontend Developer", "Site Reliability Engineer", "Marketing Manager"]
CATEGORIES = ["Software Development", "Design", "Data", "Customer Support", "Marketing", "DevOps / Sysadmin"]
LOCATIONS = ["Worldwide", "USA", "Germany", "Europe", "Remote", "United Kingdom", "Canada"]
# The plain scan of one search word, as the core runs it without its trigram pre-filter.
SEARCH_WORD = "kubernetes"
# The statement getJobs would run without its search index, as the sqlite3 CLI runs it.
PLAIN_SEARCH = ("SELECT id,external_id,source,title,company,category,location,description,url,published_at,added_at,"
                "expires_at,security_score,security_label,tags FROM jobs WHERE expires_at >= '{now}' AND "
                "(title LIKE '%{w}%' OR company LIKE '%{w}%' OR description LIKE '%{w}%' OR tags LIKE '%{w}%' "
                "OR location LIKE '%{w}%') ORDER BY COALESCE(published_at,added_at) DESC,id DESC LIMIT 200;")
GETJOBS_REQUEST = json.dumps({"action": "getJobs", "id": "1",
                              "payload": {"category": "All", "query": SEARCH_WORD, "limit": 200}})


def median_row(name, samples, unit="ms", note="", compare=None, baseline=None):
    row = {"name": name, "unit": unit, "samples": samples, "note": note}
    if compare:
        row["compare"] = compare
    if baseline:
        row["baseline"] = baseline
    return row


def missing(name, why):
    return {"name": name, "error": why}


def bridge_exchange(bridge, data_dir, requests, timed=False):
    """Runs velmora-bridge on the requests; (seconds to the first reply, replies, peak RSS in MB)."""
    cmd = [bridge, "--data-dir", data_dir]
    time_bin = shutil.which("time") or "/usr/bin/time"
    use_time = os.path.exists(time_bin)
    if use_time:
        cmd = [time_bin, "-v"] + cmd
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    proc.stdin.write(requests[0] + "\n")
    proc.stdin.flush()
    first = proc.stdout.readline()
    first_reply = time.perf_counter() - start
    for r in requests[1:]:
        proc.stdin.write(r + "\n")
    proc.stdin.close()
    rest = proc.stdout.read()
    err = proc.stderr.read()
    proc.wait()
    peak = None
    m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", err)
    if m:
        peak = int(m.group(1)) / 1024.0
    return first_reply, [first] + rest.splitlines(), peak


def fill_database(bridge, data_dir):
    # The program creates its own schema (search index and its triggers included) first.
    bridge_exchange(bridge, data_dir, ['{"action":"getSettings","id":"1"}'])
    db = sqlite3.connect(os.path.join(data_dir, "velmora.db"))
    rnd = random.Random(7)
    now = "2026-12-06T12:00:00.000Z"
    rows = []
    for i in range(LISTINGS):
        words = " ".join(rnd.choice(WORDS) for _ in range(rnd.randint(150, 600)))
        rows.append((f"bench-{i}", "Remotive", rnd.choice(TITLES), f"Company {i % 5000}", rnd.choice(CATEGORIES),
                     rnd.choice(LOCATIONS), words, f"https://jobs.example.com/{i}", now,
                     f"2026-{1 + i % 11:02d}-{1 + i % 27:02d}T00:00:00.000Z", now, "2027-03-01T00:00:00.000Z"))
    db.executemany("INSERT INTO jobs(external_id,source,title,company,category,location,description,url,published_at,"
                   "added_at,last_seen_at,expires_at) VALUES(?,?,?,?,?,?,?,?,?,?,?,?)", rows)
    db.commit()
    db.close()


def sqlite_cli(bridge, data_dir):
    name = f"velmora-bridge, one-word search at {LISTINGS:,} listings"
    cli = shutil.which("sqlite3")
    if not cli:
        return missing(name, "sqlite3 is not installed")
    db = os.path.join(data_dir, "velmora.db")
    now = datetime.now(timezone.utc).strftime("%Y-%m-%dT%H:%M:%S.000Z")
    statement = PLAIN_SEARCH.format(now=now, w=SEARCH_WORD)
    cli_samples, bridge_samples = [], []
    for _ in range(REPEATS):
        start = time.perf_counter()
        subprocess.run([cli, db, statement], check=True, stdout=subprocess.DEVNULL)
        cli_samples.append((time.perf_counter() - start) * 1000)
        first, replies, _ = bridge_exchange(bridge, data_dir, [GETJOBS_REQUEST])
        if '"ok":true' not in replies[0]:
            return missing(name, "the search failed: " + replies[0][:200])
        bridge_samples.append(first * 1000)
    return median_row(name, bridge_samples, note="process start to the reply; the CLI runs the same search as a plain LIKE statement on the same file",
                      baseline={"name": "sqlite3 CLI, same search", "samples": cli_samples})


def bridge_memory(bridge, data_dir, empty_dir):
    requests = ['{"action":"getInitialState","id":"1"}',
                '{"action":"getJobs","id":"2","payload":{"category":"All","query":"","limit":200}}',
                '{"action":"getJobs","id":"3","payload":{"category":"All","query":"kubernetes terraform postgres","limit":200}}',
                '{"action":"getDashboard","id":"4"}', '{"action":"getCategories","id":"5"}']
    loaded, empty = [], []
    for _ in range(REPEATS):
        _, replies, peak = bridge_exchange(bridge, data_dir, requests)
        if peak is None or not all('"ok":true' in r for r in replies if r.strip()):
            return missing(f"velmora-bridge peak RSS, {LISTINGS:,} listings", "no peak figure or a failed reply")
        loaded.append(peak)
        _, _, peak_empty = bridge_exchange(bridge, empty_dir, requests)
        empty.append(peak_empty)
    return median_row(f"velmora-bridge peak RSS, {LISTINGS:,} listings", loaded, unit="MB",
                      note="start-up, dashboard, categories, two pages of 200", baseline={"name": "empty database", "samples": empty})


def desktop_startup(desktop, bridge, empty_root):
    xvfb = shutil.which("xvfb-run")
    if not desktop or not os.path.exists(desktop):
        return missing("desktop start-up to first reply (Xvfb)", "the velmora desktop binary was not built")
    if not xvfb:
        return missing("desktop start-up to first reply (Xvfb)", "xvfb-run is not installed")
    samples, headless = [], []
    for i in range(3):
        data = os.path.join(empty_root, f"desktop-{i}")
        os.makedirs(data)
        env = dict(os.environ, VELMORA_DATA_DIR=data, WEBKIT_DISABLE_COMPOSITING_MODE="1")
        start = time.perf_counter()
        proc = subprocess.Popen([xvfb, "-a", desktop, "--smoke-test"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                text=True, env=env)
        passed = False
        for line in proc.stdout:
            if "smoke test passed" in line:
                passed = True
                samples.append((time.perf_counter() - start) * 1000)
                break
        proc.stdout.close()
        try:
            proc.wait(timeout=120)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        if not passed:
            return missing("desktop start-up to first reply (Xvfb)", "the smoke test did not pass")
        first, _, _ = bridge_exchange(bridge, os.path.join(empty_root, f"bridge-{i}"), ['{"action":"getInitialState","id":"1"}'])
        headless.append(first * 1000)
    return median_row("desktop start-up to first reply (Xvfb)", samples,
                      note="window, WebKit page, getInitialState through the page; Xvfb start included",
                      baseline={"name": "velmora-bridge start-up to first reply", "samples": headless})


def main():
    build_dir, out_dir = sys.argv[1], sys.argv[2]
    bridge = os.path.join(build_dir, "velmora-bridge")
    desktop = os.path.join(build_dir, "velmora")
    rows = []
    if not os.path.exists(bridge):
        rows.append(missing("velmora-bridge figures", "velmora-bridge was not built"))
    else:
        with tempfile.TemporaryDirectory(prefix="velmora-bench-") as tmp:
            data, empty = os.path.join(tmp, "full"), os.path.join(tmp, "empty")
            os.makedirs(data)
            os.makedirs(empty)
            fill_database(bridge, data)
            rows.append(sqlite_cli(bridge, data))
            rows.append(bridge_memory(bridge, data, empty))
            rows.append(desktop_startup(desktop, bridge, tmp))
    with open(os.path.join(out_dir, "commands.json"), "w") as f:
        json.dump(rows, f, indent=1)
    for r in rows:
        print(r["name"], r.get("samples", r.get("error")))


if __name__ == "__main__":
    main()
